#include "editors/formeditfixanswer.h"

#include "core/colors.h"
#include "core/errors.h"
#include "core/fieldedit.h"
#include "core/termdefs.h"
#include "core/termfile.h"
#include "editors/editorboxes.h"
#include "editors/fieldtypecombobox.h"
#include "editors/listeditorframe.h"
#include "gui/bytetext.h"
#include "gui/hint.h"
#include "gui/messagebox.h"
#include "gui/qtcolor.h"

#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace tallyhost;

namespace {

// A swatch of the colour, drawn in the picker before its name.
QIcon Swatch(TColor color)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(ToQColor(color));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
    return QIcon(pixmap);
}

QLabel* BuddyLabel(const QString& caption, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

const QStringList& GridHeaders()
{
    static const QStringList headers{QStringLiteral("Panel"), QStringLiteral("Mask"),
                                     QStringLiteral("Result"), QStringLiteral("Text on true"),
                                     QStringLiteral("Text color")};
    return headers;
}

QTableWidget* MakeGrid(QWidget* parent, const QString& name)
{
    auto* grid = new QTableWidget(1, 5, parent);
    grid->setObjectName(name);
    grid->setHorizontalHeaderLabels(GridHeaders());
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setVisible(false);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setColumnWidth(3, 190);
    return grid;
}

} // namespace

// ---- TFormEditFixAnswerRecord -----------------------------------------------------------------

TFormEditFixAnswerRecord::TFormEditFixAnswerRecord(const TStatusGridRow& row, QWidget* parent)
    : QDialog(parent), m_addMode(row.Panel == "0")
{
    setObjectName(QStringLiteral("FormEditFixAnswerRecord"));
    setWindowTitle(m_addMode ? QStringLiteral("Add answer record")
                             : QStringLiteral("Modify answer record"));

    FieldTypeComboBoxPanelNumber = new TFieldTypeComboBox(this);
    FieldTypeComboBoxPanelNumber->setObjectName(QStringLiteral("FieldTypeComboBoxPanelNumber"));
    FieldTypeComboBoxPanelNumber->SetStyle(TFieldTypeComboBox::csDropDownList);
    for (int panel = MinPickerPanel; panel <= MaxPickerPanel; ++panel)
        FieldTypeComboBoxPanelNumber->addItem(QString::number(panel));
    SetHint(FieldTypeComboBoxPanelNumber, QStringLiteral("Input panel number"));

    FieldTypeComboBoxMask = new TFieldTypeComboBox(this);
    FieldTypeComboBoxMask->setObjectName(QStringLiteral("FieldTypeComboBoxMask"));
    FieldTypeComboBoxMask->SetFieldType(ftdHexadecimal);
    FieldTypeComboBoxMask->setMaxLength(MaxStatusHexDigits);
    SetHint(FieldTypeComboBoxMask, QStringLiteral("Input hexadecimal mask value"));

    FieldTypeComboBoxResult = new TFieldTypeComboBox(this);
    FieldTypeComboBoxResult->setObjectName(QStringLiteral("FieldTypeComboBoxResult"));
    FieldTypeComboBoxResult->SetFieldType(ftdHexadecimal);
    FieldTypeComboBoxResult->setMaxLength(MaxStatusHexDigits);
    SetHint(FieldTypeComboBoxResult, QStringLiteral("Input hexadecimal result value"));

    FieldTypeComboBoxText = new TFieldTypeComboBox(this);
    FieldTypeComboBoxText->setObjectName(QStringLiteral("FieldTypeComboBoxText"));
    FieldTypeComboBoxText->setMaxLength(MaxStatusTextLength);
    SetHint(FieldTypeComboBoxText, QStringLiteral("Input message"));

    ComboColorColor = new QComboBox(this);
    ComboColorColor->setObjectName(QStringLiteral("ComboColorColor"));
    for (const auto& [name, value] : PickerColors())
        ComboColorColor->addItem(Swatch(value), FromBytes(name), FromBytes(name));
    SetHint(ComboColorColor, QStringLiteral("Select color"));

    ButtonOk = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    SetHint(ButtonOk, QStringLiteral("Accept options"));
    ButtonOk->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    SetHint(ButtonCancel, QStringLiteral("Cancel options"));
    ButtonCancel->setAutoDefault(false);

    auto* form = new QGridLayout;
    form->addWidget(BuddyLabel(QStringLiteral("&Panel number"), FieldTypeComboBoxPanelNumber, this),
                    0, 0);
    form->addWidget(FieldTypeComboBoxPanelNumber, 1, 0);
    form->addWidget(BuddyLabel(QStringLiteral("&Mask"), FieldTypeComboBoxMask, this), 0, 1);
    form->addWidget(FieldTypeComboBoxMask, 1, 1);
    form->addWidget(BuddyLabel(QStringLiteral("&Result"), FieldTypeComboBoxResult, this), 0, 2);
    form->addWidget(FieldTypeComboBoxResult, 1, 2);
    form->addWidget(BuddyLabel(QStringLiteral("&Text on true"), FieldTypeComboBoxText, this), 2, 0,
                    1, 2);
    form->addWidget(FieldTypeComboBoxText, 3, 0, 1, 2);
    form->addWidget(BuddyLabel(QStringLiteral("Text Co&lor"), ComboColorColor, this), 2, 2);
    form->addWidget(ComboColorColor, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    if (m_addMode) {
        FieldTypeComboBoxPanelNumber->setCurrentIndex(-1);
        ComboColorColor->setCurrentIndex(0); // clBlack
    } else {
        // A hand-edited panel outside the list is offered as it is, so Modify keeps it.
        int panelIndex = FieldTypeComboBoxPanelNumber->findText(FromBytes(row.Panel));
        if (panelIndex < 0) {
            FieldTypeComboBoxPanelNumber->addItem(FromBytes(row.Panel));
            panelIndex = FieldTypeComboBoxPanelNumber->count() - 1;
        }
        FieldTypeComboBoxPanelNumber->setCurrentIndex(panelIndex);
        FieldTypeComboBoxMask->setText(FromBytes(row.Mask));
        FieldTypeComboBoxResult->setText(FromBytes(row.Result));
        FieldTypeComboBoxText->setText(FromBytes(row.Text));
        // The picker selects the row's colour by its value; a colour outside the sixteen is
        // added under the file's own text and kept unless another one is picked.
        const TColor color = StatusRowColor(row.Color);
        int colorIndex = -1;
        TColor known = 0;
        if (IdentToColor(row.Color, known)) {
            for (int i = 0; i < ComboColorColor->count() && colorIndex < 0; ++i) {
                if (PickerColors()[static_cast<std::size_t>(i)].second == color)
                    colorIndex = i;
            }
        }
        if (colorIndex < 0) {
            ComboColorColor->addItem(Swatch(color), FromBytes(row.Color), FromBytes(row.Color));
            colorIndex = ComboColorColor->count() - 1;
        }
        ComboColorColor->setCurrentIndex(colorIndex);
    }

    connect(FieldTypeComboBoxPanelNumber, &TFieldTypeComboBox::Change, this,
            &TFormEditFixAnswerRecord::EnableDisableOkButton);
    connect(FieldTypeComboBoxMask, &TFieldTypeComboBox::Change, this,
            &TFormEditFixAnswerRecord::EnableDisableOkButton);
    connect(FieldTypeComboBoxResult, &TFieldTypeComboBox::Change, this,
            &TFormEditFixAnswerRecord::EnableDisableOkButton);
    connect(FieldTypeComboBoxText, &TFieldTypeComboBox::Change, this,
            &TFormEditFixAnswerRecord::EnableDisableOkButton);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormEditFixAnswerRecord::ButtonOkClick);
    // The boxes are combo boxes whose edit fields keep Enter for themselves: Enter in them
    // presses the default button, as in any other box of the dialog.
    for (TFieldTypeComboBox* box :
         {FieldTypeComboBoxMask, FieldTypeComboBoxResult, FieldTypeComboBoxText}) {
        connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this] {
            if (ButtonOk->isEnabled())
                ButtonOk->click();
        });
    }
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    ButtonOk->setEnabled(!m_addMode);
    // The window has one size: it refuses every resize.
    setFixedSize(sizeHint());
}

QString TFormEditFixAnswerRecord::PanelText() const
{
    return FieldTypeComboBoxPanelNumber->text();
}

QString TFormEditFixAnswerRecord::MaskText() const
{
    return FieldTypeComboBoxMask->text();
}

QString TFormEditFixAnswerRecord::ResultText() const
{
    return FieldTypeComboBoxResult->text();
}

QString TFormEditFixAnswerRecord::TextOnTrue() const
{
    return FieldTypeComboBoxText->text();
}

QString TFormEditFixAnswerRecord::ColorName() const
{
    return ComboColorColor->currentData().toString();
}

TStatusGridRow TFormEditFixAnswerRecord::Row() const
{
    return TStatusGridRow{ToBytes(PanelText()), ToBytes(MaskText()), ToBytes(ResultText()),
                          ToBytes(TextOnTrue()), ToBytes(ColorName())};
}

void TFormEditFixAnswerRecord::EnableDisableOkButton()
{
    ButtonOk->setEnabled(StatusRecordOk(ToBytes(PanelText()), ToBytes(MaskText()),
                                        ToBytes(ResultText()), ToBytes(TextOnTrue())));
}

void TFormEditFixAnswerRecord::ButtonOkClick()
{
    FieldTypeComboBoxMask->setText(FromBytes(PadHex4(ToBytes(MaskText()))));
    FieldTypeComboBoxResult->setText(FromBytes(PadHex4(ToBytes(ResultText()))));
    accept();
}

// ---- TFormEditFixAnswer -----------------------------------------------------------------------

TFormEditFixAnswer::TFormEditFixAnswer(const QString& fileName, QWidget* parent)
    : QDialog(parent), m_fileName(fileName), m_ini(QFile::encodeName(fileName).toStdString()),
      m_fiscal(m_ini, std::string(SectionFiscalAnswer)),
      m_printer(m_ini, std::string(SectionPrinterAnswer))
{
    setObjectName(QStringLiteral("FormEditFixAnswer"));
    setWindowTitle(QStringLiteral("Fix answer fields"));

    PageControl = new QTabWidget(this);
    TabSheetFiscalAnswer = new QWidget(PageControl);
    TabSheetFiscalAnswer->setObjectName(QStringLiteral("TabSheetFiscalAnswer"));
    TabSheetPrinterAnswer = new QWidget(PageControl);
    TabSheetPrinterAnswer->setObjectName(QStringLiteral("TabSheetPrinterAnswer"));
    StringGridFiscal = MakeGrid(TabSheetFiscalAnswer, QStringLiteral("StringGridFiscal"));
    SetHint(StringGridFiscal, QStringLiteral("Fiscal answer fields definitions"));
    StringGridPrinter = MakeGrid(TabSheetPrinterAnswer, QStringLiteral("StringGridPrinter"));
    SetHint(StringGridPrinter, QStringLiteral("Printer answer fields definitions"));
    (new QVBoxLayout(TabSheetFiscalAnswer))->addWidget(StringGridFiscal);
    (new QVBoxLayout(TabSheetPrinterAnswer))->addWidget(StringGridPrinter);
    PageControl->addTab(TabSheetFiscalAnswer, QStringLiteral("&Fiscal"));
    PageControl->addTab(TabSheetPrinterAnswer, QStringLiteral("&Printer"));

    BuildListEditorFrame(this, PageControl,
                         {QStringLiteral("Add new answer record"),
                          QStringLiteral("Modify selected answer record "),
                          QStringLiteral("Remove selected answer record")});
    resize(640, 360);

    connect(StringGridFiscal, &QTableWidget::cellDoubleClicked, this,
            &TFormEditFixAnswer::StringGridFiscalDblClick);
    connect(StringGridPrinter, &QTableWidget::cellDoubleClicked, this,
            &TFormEditFixAnswer::StringGridPrinterDblClick);
    connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0)
            TabSheetFiscalAnswerShow();
        else
            TabSheetPrinterAnswerShow();
    });

    FormCreate();
}

TFormEditFixAnswer::~TFormEditFixAnswer() = default;

void TFormEditFixAnswer::FormCreate()
{
    PageControl->setCurrentIndex(0);
    TabSheetFiscalAnswerShow();
}

QTableWidget* TFormEditFixAnswer::ActiveGrid() const
{
    return PageControl->currentIndex() == 1 ? StringGridPrinter : StringGridFiscal;
}

const TStatusRecordList& TFormEditFixAnswer::ActiveList() const
{
    return PageControl->currentIndex() == 1 ? m_printer : m_fiscal;
}

TStatusRecordList& TFormEditFixAnswer::ActiveListRef()
{
    return PageControl->currentIndex() == 1 ? m_printer : m_fiscal;
}

void TFormEditFixAnswer::TabSheetFiscalAnswerShow()
{
    m_fiscal.Load();
    LoadStatusGrid();
}

void TFormEditFixAnswer::TabSheetPrinterAnswerShow()
{
    m_printer.Load();
    LoadStatusGrid();
}

void TFormEditFixAnswer::FillGrid(QTableWidget* grid, const TStatusRecordList& list)
{
    const auto& rows = list.Rows();
    grid->setUpdatesEnabled(false);
    grid->clearContents();
    // An empty list keeps one empty row (the empty-list state of the editors' grids).
    grid->setRowCount(std::max<int>(static_cast<int>(rows.size()), 1));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const TStatusGridRow& row = rows[static_cast<std::size_t>(r)];
        const std::string* cells[] = {&row.Panel, &row.Mask, &row.Result, &row.Text, &row.Color};
        for (int c = 0; c < 5; ++c)
            grid->setItem(r, c, new QTableWidgetItem(FromBytes(*cells[c])));
        // The colour column shows its colour.
        grid->item(r, 4)->setForeground(ToQColor(StatusRowColor(row.Color)));
    }
    grid->setUpdatesEnabled(true);
}

void TFormEditFixAnswer::LoadStatusGrid()
{
    const TStatusRecordList& list = ActiveList();
    QTableWidget* grid = ActiveGrid();
    const int keep = std::max(grid->currentRow(), 0);
    FillGrid(grid, list);
    ButtonModify->setEnabled(list.HasRecords());
    ButtonRemove->setEnabled(list.HasRecords());
    if (list.HasRecords())
        grid->setCurrentCell(std::min(keep, static_cast<int>(list.Count()) - 1), 0);
}

int TFormEditFixAnswer::SelectedRow() const
{
    const int row = ActiveGrid()->currentRow();
    return row < 0 ? 0 : row;
}

template <typename F> void TFormEditFixAnswer::Change(F&& change, int selectRow)
{
    try {
        change(ActiveListRef());
    } catch (const Error& e) {
        // The list has reloaded itself from the file; the grid shows that, then the reason.
        LoadStatusGrid();
        ShowErrorBox(this, FromBytes(e.what()));
        ActiveGrid()->setFocus();
        return;
    }
    LoadStatusGrid();
    if (ActiveList().HasRecords())
        ActiveGrid()->setCurrentCell(
            std::clamp(selectRow, 0, static_cast<int>(ActiveList().Count()) - 1), 0);
    ActiveGrid()->setFocus();
}

void TFormEditFixAnswer::ButtonAddClick()
{
    TStatusGridRow blank;
    blank.Panel = "0";
    TFormEditFixAnswerRecord dialog(blank, this);
    if (ExecModal(dialog) != QDialog::Accepted)
        return;
    const TStatusGridRow row = dialog.Row();
    Change([&](TStatusRecordList& list) { list.Add(row); }, static_cast<int>(ActiveList().Count()));
}

void TFormEditFixAnswer::ButtonModifyClick()
{
    if (!ActiveList().HasRecords())
        return;
    const int index = SelectedRow();
    if (index >= static_cast<int>(ActiveList().Count()))
        return;
    TFormEditFixAnswerRecord dialog(ActiveList().Rows()[static_cast<std::size_t>(index)], this);
    if (ExecModal(dialog) != QDialog::Accepted)
        return;
    const TStatusGridRow row = dialog.Row();
    Change([&](TStatusRecordList& list) { list.Modify(static_cast<std::size_t>(index), row); },
           index);
}

void TFormEditFixAnswer::ButtonRemoveClick()
{
    if (!ActiveList().HasRecords())
        return;
    const int index = SelectedRow();
    if (index >= static_cast<int>(ActiveList().Count()))
        return;
    if (!AskEditorWarning(this,
                          QString::fromLatin1(RemoveFieldQuestion.data(),
                                              static_cast<qsizetype>(RemoveFieldQuestion.size())) +
                              QLatin1Char(' ') + QString::number(index + 1))) {
        ActiveGrid()->setFocus();
        return;
    }
    Change([&](TStatusRecordList& list) { list.Remove(static_cast<std::size_t>(index)); }, index);
}

void TFormEditFixAnswer::ButtonCloseClick()
{
    accept();
}

void TFormEditFixAnswer::StringGridFiscalDblClick()
{
    if (m_fiscal.HasRecords())
        ButtonModifyClick();
    else
        ButtonAddClick();
}

void TFormEditFixAnswer::StringGridPrinterDblClick()
{
    if (m_printer.HasRecords())
        ButtonModifyClick();
    else
        ButtonAddClick();
}
