#include "editors/formeditreturncode.h"

#include "core/errors.h"
#include "core/termdefs.h"
#include "editors/editorboxes.h"
#include "editors/fieldtypecombobox.h"
#include "editors/listeditorframe.h"
#include "gui/bytetext.h"
#include "gui/hint.h"
#include "gui/messagebox.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace tallyhost;

// ---- TFormRcRecord ----------------------------------------------------------------------------

TFormRcRecord::TFormRcRecord(QWidget* parent) : QDialog(parent)
{
    CreateLayout();
    setWindowTitle(QStringLiteral("Add new return code"));
    ButtonOk->setEnabled(false);
}

TFormRcRecord::TFormRcRecord(const QString& number, const QString& text, QWidget* parent)
    : QDialog(parent)
{
    CreateLayout();
    setWindowTitle(QStringLiteral("Modify return code"));
    FieldTypeComboBoxRcNumber->setText(number);
    EditText->setText(text);
    FieldTypeComboBoxRcNumberChange();
}

void TFormRcRecord::CreateLayout()
{
    setObjectName(QStringLiteral("FormRcRecord"));
    FieldTypeComboBoxRcNumber = new TFieldTypeComboBox(this);
    FieldTypeComboBoxRcNumber->setObjectName(QStringLiteral("FieldTypeComboBoxRcNumber"));
    FieldTypeComboBoxRcNumber->SetFieldType(ftdNumerical);
    FieldTypeComboBoxRcNumber->setMaxLength(MaxReturnCodeDigits);
    SetHint(FieldTypeComboBoxRcNumber, QStringLiteral("Enter return code number"));
    EditText = new QLineEdit(this);
    EditText->setObjectName(QStringLiteral("EditText"));
    ButtonOk = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    SetHint(ButtonOk, QStringLiteral("Accept data"));
    ButtonOk->setAutoDefault(false);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    // Enter cancels: the operator confirms with the button or Alt+O only.
    ButtonCancel->setDefault(true);

    auto* numberLabel = new QLabel(QStringLiteral("&Return code number"), this);
    numberLabel->setBuddy(FieldTypeComboBoxRcNumber);
    auto* textLabel = new QLabel(QStringLiteral("&Description text"), this);
    textLabel->setBuddy(EditText);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(numberLabel);
    layout->addWidget(FieldTypeComboBoxRcNumber);
    layout->addWidget(textLabel);
    layout->addWidget(EditText);
    layout->addLayout(buttons);
    resize(360, sizeHint().height());

    connect(FieldTypeComboBoxRcNumber, &TFieldTypeComboBox::Change, this,
            &TFormRcRecord::FieldTypeComboBoxRcNumberChange);
    connect(EditText, &QLineEdit::textChanged, this,
            &TFormRcRecord::FieldTypeComboBoxRcNumberChange);
    // The number box is a combo box whose edit field would take Enter for itself.
    connect(FieldTypeComboBoxRcNumber->lineEdit(), &QLineEdit::returnPressed, this,
            &QDialog::reject);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TFormRcRecord::NumberText() const
{
    return FieldTypeComboBoxRcNumber->text();
}

QString TFormRcRecord::DescriptionText() const
{
    return EditText->text();
}

void TFormRcRecord::FieldTypeComboBoxRcNumberChange()
{
    ButtonOk->setEnabled(ReturnCodeRecordOk(ToBytes(NumberText()), ToBytes(DescriptionText())));
}

// ---- TFormEditReturnCode ----------------------------------------------------------------------

TFormEditReturnCode::TFormEditReturnCode(const QString& fileName, QWidget* parent)
    : QDialog(parent), m_ini(QFile::encodeName(fileName).toStdString()), m_list(m_ini)
{
    setObjectName(QStringLiteral("FormEditReturnCode"));
    setWindowTitle(QStringLiteral("Edit return codes"));

    StringGridRc = new QTableWidget(1, 2, this);
    StringGridRc->setObjectName(QStringLiteral("StringGridRc"));
    SetHint(StringGridRc, QStringLiteral("Return code text descriptions"));
    StringGridRc->setHorizontalHeaderLabels(
        {QStringLiteral("R.C. number"), QStringLiteral("Description text")});
    StringGridRc->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGridRc->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGridRc->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGridRc->verticalHeader()->setVisible(false);
    StringGridRc->horizontalHeader()->setStretchLastSection(true);

    BuildListEditorFrame(this, StringGridRc,
                         {QStringLiteral("Add new return code"),
                          QStringLiteral("Modify return code"),
                          QStringLiteral("Remove return code")});
    resize(480, 360);

    connect(StringGridRc, &QTableWidget::cellDoubleClicked, this,
            &TFormEditReturnCode::StringGridRcDblClick);

    FormCreate();
}

TFormEditReturnCode::~TFormEditReturnCode() = default;

void TFormEditReturnCode::FormCreate()
{
    m_list.Load();
    LoadReturnCodeGrid();
}

void TFormEditReturnCode::LoadReturnCodeGrid()
{
    const auto& rows = m_list.Rows();
    const auto& kept = m_list.Kept();
    const int count = static_cast<int>(rows.size() + kept.size());
    StringGridRc->setUpdatesEnabled(false);
    StringGridRc->clearContents();
    StringGridRc->setRowCount(std::max(count, 1));
    int r = 0;
    for (const TReturnCodeRow& row : rows) {
        StringGridRc->setItem(r, 0, new QTableWidgetItem(FromBytes(row.Number)));
        StringGridRc->setItem(r, 1, new QTableWidgetItem(FromBytes(row.Text)));
        ++r;
    }
    // Keys that are no return codes are shown as the file has them, greyed: they cannot be
    // selected, so Modify and Remove never reach them.
    for (const TKeptReturnCodeKey& key : kept) {
        auto* name = new QTableWidgetItem(FromBytes(key.Key));
        auto* value = new QTableWidgetItem(FromBytes(key.RawValue));
        for (QTableWidgetItem* item : {name, value})
            item->setFlags(Qt::NoItemFlags);
        StringGridRc->setItem(r, 0, name);
        StringGridRc->setItem(r, 1, value);
        ++r;
    }
    StringGridRc->setUpdatesEnabled(true);
    ButtonModify->setEnabled(m_list.HasEntries());
    ButtonRemove->setEnabled(m_list.HasEntries());
    if (m_list.HasEntries() && StringGridRc->currentRow() < 0)
        StringGridRc->setCurrentCell(0, 0);
}

bool TFormEditReturnCode::Report(TReturnCodeList::TResult result)
{
    if (result == TReturnCodeList::TResult::Done)
        return true;
    // The box lets in digits only, at most five, so a refused number is one that exists.
    ShowEditorError(this, QStringLiteral("The return codes already exits !!!"));
    return false;
}

template <typename F>
void TFormEditReturnCode::Change(F&& change, const std::string& selectNumber, int selectRow)
{
    TReturnCodeList::TResult result = TReturnCodeList::TResult::Done;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor); // sorting a long list takes a moment
        result = change();
        QApplication::restoreOverrideCursor();
    } catch (const Error& e) {
        QApplication::restoreOverrideCursor();
        // The list has reloaded itself from the file; the grid shows that, then the reason.
        LoadReturnCodeGrid();
        ShowErrorBox(this, FromBytes(e.what()));
        StringGridRc->setFocus();
        return;
    }
    if (Report(result)) {
        LoadReturnCodeGrid();
        const auto found = selectNumber.empty() ? std::nullopt : m_list.Find(selectNumber);
        const int rows = static_cast<int>(m_list.Rows().size());
        if (rows > 0)
            StringGridRc->setCurrentCell(
                found ? static_cast<int>(*found) : std::clamp(selectRow, 0, rows - 1), 0);
    }
    StringGridRc->setFocus();
}

void TFormEditReturnCode::ButtonAddClick()
{
    TFormRcRecord dialog(this);
    if (ExecModal(dialog) != QDialog::Accepted)
        return;
    const std::string number = ToBytes(dialog.NumberText());
    const std::string text = ToBytes(dialog.DescriptionText());
    Change([&] { return m_list.Add(number, text); }, NormalizeReturnCode(number).value_or(""), 0);
}

void TFormEditReturnCode::ButtonModifyClick()
{
    const int index = StringGridRc->currentRow();
    if (!m_list.HasEntries() || index < 0 || index >= static_cast<int>(m_list.Rows().size()))
        return;
    const TReturnCodeRow row = m_list.Rows()[static_cast<std::size_t>(index)];
    TFormRcRecord dialog(FromBytes(row.Number), FromBytes(row.Text), this);
    if (ExecModal(dialog) != QDialog::Accepted)
        return;
    const std::string number = ToBytes(dialog.NumberText());
    const std::string text = ToBytes(dialog.DescriptionText());
    Change([&] { return m_list.Modify(static_cast<std::size_t>(index), number, text); },
           NormalizeReturnCode(number).value_or(""), index);
}

void TFormEditReturnCode::ButtonRemoveClick()
{
    const int index = StringGridRc->currentRow();
    if (!m_list.HasEntries() || index < 0 || index >= static_cast<int>(m_list.Rows().size()))
        return;
    const QString number = FromBytes(m_list.Rows()[static_cast<std::size_t>(index)].Number);
    if (!AskEditorWarning(this, QStringLiteral("Do you wish to delete return code ") + number)) {
        StringGridRc->setFocus();
        return;
    }
    Change(
        [&] {
            m_list.Remove(static_cast<std::size_t>(index));
            return TReturnCodeList::TResult::Done;
        },
        std::string(), index);
}

void TFormEditReturnCode::ButtonCloseClick()
{
    accept();
}

void TFormEditReturnCode::StringGridRcDblClick(int row)
{
    if (!m_list.HasEntries())
        ButtonAddClick();
    else if (row >= 0 && row < static_cast<int>(m_list.Rows().size()))
        ButtonModifyClick();
}
