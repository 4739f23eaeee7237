#include "app/formaboutbox.h"

#include "app/artwork.h"
#include "core/version.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QLabel* VersionLabel(const char* name, bool italic, const QColor& color = QColor())
{
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setBold(true);
    font.setItalic(italic);
    label->setFont(font);
    if (color.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    }
    return label;
}

} // namespace

TFormAboutBox::TFormAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAboutBox"));
    setWindowTitle(QStringLiteral("About ..."));
    setModal(true);

    PanelMain = new QFrame(this);
    PanelMain->setObjectName(QStringLiteral("PanelMain"));
    PanelMain->setFrameShape(QFrame::Panel);
    PanelMain->setFrameShadow(QFrame::Sunken);

    ImageProgramIcon = new QLabel;
    ImageProgramIcon->setObjectName(QStringLiteral("ImageProgramIcon"));
    ImageProgramIcon->setPixmap(artwork::Logo(96));
    ImageProgramIcon->setAlignment(Qt::AlignCenter);

    RxLabelProductName = VersionLabel("RxLabelProductName", false);
    RxLabelFileVersion = VersionLabel("RxLabelFileVersion", false, QColor(0, 0, 0x80)); // navy
    RxLabelCompanyName = VersionLabel("RxLabelCompanyName", true);
    RxLabelCopyRigths = VersionLabel("RxLabelCopyRigths", true);

    auto* panelLayout = new QVBoxLayout(PanelMain);
    panelLayout->setContentsMargins(24, 16, 24, 16);
    PanelMain->setMinimumWidth(300);
    panelLayout->addWidget(ImageProgramIcon);
    panelLayout->addWidget(RxLabelProductName);
    panelLayout->addWidget(RxLabelFileVersion);
    panelLayout->addWidget(RxLabelCompanyName);
    panelLayout->addWidget(RxLabelCopyRigths);

    BitBtnOk = new QPushButton(QStringLiteral("OK"), this);
    BitBtnOk->setObjectName(QStringLiteral("BitBtnOk"));
    BitBtnOk->setDefault(true);
    connect(BitBtnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PanelMain);
    layout->addWidget(BitBtnOk, 0, Qt::AlignHCenter);

    FormCreate();

    // A fixed-size box, centred on the screen.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = sizeHint();
        move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
    }
}

QString TFormAboutBox::VersionText(const char* key)
{
    return QString::fromStdString(tallyhost::VersionString(key));
}

void TFormAboutBox::FormCreate()
{
    RxLabelProductName->setText(VersionText("ProductName"));
    RxLabelFileVersion->setText(VersionText("FileVersion"));
    RxLabelCompanyName->setText(VersionText("CompanyName"));
    RxLabelCopyRigths->setText(VersionText("LegalCopyright"));
}
