#include "editors/formeditanswerrecord.h"

#include "editors/fieldtypecombobox.h"
#include "gui/bytetext.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

using tallyhost::TAnswerRecordModel;

TFormEditAnswerRecord::TFormEditAnswerRecord(QWidget* parent)
    : TFormEditAnswerRecord(parent, TAnswerRecordModel::ForAdd())
{
}

TFormEditAnswerRecord::TFormEditAnswerRecord(QWidget* parent, const tallyhost::TAnswerRow& cells)
    : TFormEditAnswerRecord(parent, TAnswerRecordModel::ForModify(cells))
{
}

TFormEditAnswerRecord::TFormEditAnswerRecord(QWidget* parent, TAnswerRecordModel model)
    : QDialog(parent), m_model(std::move(model))
{
    FormCreate();
    ShowModel();
}

void TFormEditAnswerRecord::FormCreate()
{
    setModal(true);
    setWindowTitle(FromBytes(m_model.WindowCaption()));

    EditCaption = new QLineEdit(this);
    EditCaption->setObjectName(QStringLiteral("EditCaption"));
    ComboBoxFormat = new QComboBox(this);
    ComboBoxFormat->setObjectName(QStringLiteral("ComboBoxFormat"));
    // The second item carries three blanks, as the list always showed it.
    ComboBoxFormat->addItems({"asAlphaNumeric", "asAlpha   ", "asCurrency", "asNumeric",
                              "asDecimal", "asHexa", "asBinary", "asBoolean", "asDate", "asTime"});
    ComboBoxFormat->setToolTip(tr("Select text format"));
    ComboBoxFormat->setStatusTip(tr("Select text format"));
    FieldTypeComboBoxDecimal = new TFieldTypeComboBox(this);
    FieldTypeComboBoxDecimal->setObjectName(QStringLiteral("FieldTypeComboBoxDecimal"));
    FieldTypeComboBoxDecimal->SetFieldType(tallyhost::ftdDecimal);
    FieldTypeComboBoxDecimal->setToolTip(tr("Input decimal digits"));
    FieldTypeComboBoxDecimal->setStatusTip(tr("Input decimal digits"));

    auto* grid = new QGridLayout;
    int row = 0;
    for (auto [box, label] : {std::pair<QWidget*, QString>{EditCaption, tr("C&aption")},
                              {ComboBoxFormat, tr("&Text type")},
                              {FieldTypeComboBoxDecimal, tr("D&ecimal digits")}}) {
        auto* l = new QLabel(label, this);
        l->setBuddy(box);
        grid->addWidget(l, row, 0);
        grid->addWidget(box, row, 1);
        ++row;
    }

    ButtonOk = new QPushButton(tr("&Ok"), this);
    ButtonOk->setToolTip(tr("Accept"));
    ButtonOk->setStatusTip(tr("Accept"));
    ButtonCancel = new QPushButton(tr("&Cancel"), this);
    ButtonCancel->setToolTip(tr("Cancel"));
    ButtonCancel->setStatusTip(tr("Cancel"));
    ButtonOk->setDefault(true);
    ButtonCancel->setAutoDefault(false);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(EditCaption, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_showing)
            m_model.SetCaption(ToBytes(text));
    });
    connect(ComboBoxFormat, &QComboBox::currentIndexChanged, this,
            &TFormEditAnswerRecord::ComboBoxFormatChange);
    connect(FieldTypeComboBoxDecimal, &TFieldTypeComboBox::Change, this, [this](const QString& t) {
        if (m_showing)
            return;
        m_model.SetDecimalText(ToBytes(t));
        ShowModel();
    });
}

void TFormEditAnswerRecord::ComboBoxFormatChange()
{
    if (m_showing)
        return;
    m_model.SetTextType(ComboBoxFormat->currentIndex());
    ShowModel();
}

void TFormEditAnswerRecord::ShowModel()
{
    m_showing = true;
    const QString caption = FromBytes(m_model.Caption());
    if (EditCaption->text() != caption)
        EditCaption->setText(caption);
    ComboBoxFormat->setCurrentIndex(m_model.TextType());
    const QString decimals = FromBytes(m_model.Decimal().Text);
    if (FieldTypeComboBoxDecimal->text() != decimals)
        FieldTypeComboBoxDecimal->setText(decimals);
    FieldTypeComboBoxDecimal->setEnabled(m_model.Decimal().Enabled);
    ButtonOk->setEnabled(m_model.OkEnabled());
    m_showing = false;
}
