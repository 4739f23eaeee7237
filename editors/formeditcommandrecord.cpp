#include "editors/formeditcommandrecord.h"

#include "editors/fieldtypecombobox.h"
#include "gui/bytetext.h"
#include "gui/hint.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

using tallyhost::TCommandBox;
using tallyhost::TCommandRecordModel;

namespace {

QString MemoTextOf(const std::vector<std::string>& lines)
{
    return FromBytes(tallyhost::MemoText(lines));
}

} // namespace

TFormEditCommandRecord::TFormEditCommandRecord(QWidget* parent, bool first)
    : TFormEditCommandRecord(parent, TCommandRecordModel::ForAdd(first))
{
}

TFormEditCommandRecord::TFormEditCommandRecord(QWidget* parent, const tallyhost::TCommandRow& cells,
                                               const std::vector<std::string>& comboLines,
                                               const std::vector<std::string>& noteLines)
    : TFormEditCommandRecord(parent, TCommandRecordModel::ForModify(cells, comboLines, noteLines))
{
}

TFormEditCommandRecord::TFormEditCommandRecord(QWidget* parent, TCommandRecordModel model)
    : QDialog(parent), m_model(std::move(model))
{
    FormCreate();
    ShowModel();
}

void TFormEditCommandRecord::FormCreate()
{
    setModal(true);
    setWindowTitle(FromBytes(m_model.WindowCaption()));

    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](QWidget* box, const QString& label, const QString& hint) {
        auto* l = new QLabel(label, this);
        l->setBuddy(box);
        SetHint(box, hint);
        // Labels of the multi-line boxes stay at their first line.
        const bool tall = qobject_cast<QPlainTextEdit*>(box) || qobject_cast<QListWidget*>(box);
        grid->addWidget(l, row, 0, Qt::AlignLeft | (tall ? Qt::AlignTop : Qt::AlignVCenter));
        grid->addWidget(box, row, 1);
        ++row;
    };
    auto typed = [this](const char* name, TFieldTypeComboBox::TComboStyle style) {
        auto* box = new TFieldTypeComboBox(this);
        box->setObjectName(QLatin1String(name));
        box->SetStyle(style);
        return box;
    };

    FieldTypeComboBoxMode = typed("FieldTypeComboBoxMode", TFieldTypeComboBox::csDropDownList);
    FieldTypeComboBoxMode->addItems({tr("Host"), tr("Fiscal")});
    addRow(FieldTypeComboBoxMode, tr("&Mode"), tr("Select mode"));

    FieldTypeComboBoxCaption = typed("FieldTypeComboBoxCaption", TFieldTypeComboBox::csSimple);
    addRow(FieldTypeComboBoxCaption, tr("C&aption"), tr("Enter caption text"));
    FieldTypeComboBoxHint = typed("FieldTypeComboBoxHint", TFieldTypeComboBox::csSimple);
    addRow(FieldTypeComboBoxHint, tr("&Hint"), tr("Enter hint text"));

    FieldTypeComboBoxTextType =
        typed("FieldTypeComboBoxTextType", TFieldTypeComboBox::csDropDownList);
    FieldTypeComboBoxTextType->addItems({"asAlphaNumeric", "asAlpha", "asCurrency", "asNumeric",
                                         "asDecimal", "asHexa", "asBinary", "asBoolean", "asDate",
                                         "asTime"});
    addRow(FieldTypeComboBoxTextType, tr("&Text type"), tr("Select text type"));

    FieldTypeComboBoxDefaultText =
        typed("FieldTypeComboBoxDefaultText", TFieldTypeComboBox::csSimple);
    addRow(FieldTypeComboBoxDefaultText, tr("&Default Text"), tr("Enter default text"));

    FieldTypeComboBoxControlType =
        typed("FieldTypeComboBoxControlType", TFieldTypeComboBox::csDropDownList);
    FieldTypeComboBoxControlType->addItems({"Simple", "DropDown", "DropDownList", "Date", "Time"});
    addRow(FieldTypeComboBoxControlType, tr("Co&ntrol type"), tr("Select type of control"));

    FieldTypeComboBoxMaxLength = typed("FieldTypeComboBoxMaxLength", TFieldTypeComboBox::csSimple);
    addRow(FieldTypeComboBoxMaxLength, tr("Ma&x length"), tr("Enter maximum user text"));
    FieldTypeComboBoxMinLength = typed("FieldTypeComboBoxMinLength", TFieldTypeComboBox::csSimple);
    addRow(FieldTypeComboBoxMinLength, tr("M&in length"), tr("Enter minimum length "));
    FieldTypeComboBoxDecimal = typed("FieldTypeComboBoxDecimal", TFieldTypeComboBox::csSimple);
    addRow(FieldTypeComboBoxDecimal, tr("D&ecimal digits"), tr("Enter decimal digits"));
    for (TFieldTypeComboBox* number :
         {FieldTypeComboBoxMaxLength, FieldTypeComboBoxMinLength, FieldTypeComboBoxDecimal})
        number->SetFieldType(tallyhost::ftdNumerical);

    MemoComboLines = new QPlainTextEdit(this);
    MemoComboLines->setObjectName(QStringLiteral("MemoComboLines"));
    MemoComboLines->setTabChangesFocus(true);
    MemoComboLines->setEnabled(false);
    addRow(MemoComboLines, tr("Com&bo box lines"), tr("Enter combo box lines"));

    CheckListBoxOther = new QListWidget(this);
    CheckListBoxOther->setObjectName(QStringLiteral("CheckListBoxOther"));
    for (const QString& text : {tr("Required"), tr("Read Only"), tr("Autoincrement")}) {
        auto* item = new QListWidgetItem(text, CheckListBoxOther);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    CheckListBoxOther->setMaximumHeight(CheckListBoxOther->sizeHintForRow(0) * 3 +
                                        2 * CheckListBoxOther->frameWidth() + 4);
    addRow(CheckListBoxOther, tr("Othe&r"), tr("Select other parameter"));

    MemoNotes = new QPlainTextEdit(this);
    MemoNotes->setObjectName(QStringLiteral("MemoNotes"));
    MemoNotes->setTabChangesFocus(true);
    addRow(MemoNotes, tr("Note&s"), tr("Enter command notes"));

    ButtonOk = new QPushButton(tr("&Ok"), this);
    SetHint(ButtonOk, tr("Accept"));
    ButtonOk->setEnabled(false);
    ButtonCancel = new QPushButton(tr("&Cancel"), this);
    SetHint(ButtonCancel, tr("Cancel"));
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

    connect(FieldTypeComboBoxMode, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_showing)
            m_model.SetMode(index);
    });
    connect(FieldTypeComboBoxTextType, &QComboBox::currentIndexChanged, this,
            &TFormEditCommandRecord::FieldTypeComboBoxTextTypeChange);
    connect(FieldTypeComboBoxControlType, &QComboBox::currentIndexChanged, this,
            &TFormEditCommandRecord::FieldTypeComboBoxControlTypeChange);
    for (TCommandBox box :
         {TCommandBox::Caption, TCommandBox::Hint, TCommandBox::DefaultText, TCommandBox::MaxLength,
          TCommandBox::MinLength, TCommandBox::DecimalDigits}) {
        connect(BoxWidget(box), &TFieldTypeComboBox::Change, this,
                [this, box](const QString& text) { BoxChange(box, text); });
    }
    connect(MemoComboLines, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_showing)
            m_model.SetComboLines(tallyhost::MemoLines(ToBytes(MemoComboLines->toPlainText())));
    });
    connect(MemoNotes, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_showing)
            m_model.SetNoteLines(tallyhost::MemoLines(ToBytes(MemoNotes->toPlainText())));
    });
    connect(CheckListBoxOther, &QListWidget::itemChanged, this,
            &TFormEditCommandRecord::CheckListBoxOtherChange);
}

TFieldTypeComboBox* TFormEditCommandRecord::BoxWidget(TCommandBox box) const
{
    switch (box) {
    case TCommandBox::Caption:
        return FieldTypeComboBoxCaption;
    case TCommandBox::Hint:
        return FieldTypeComboBoxHint;
    case TCommandBox::DefaultText:
        return FieldTypeComboBoxDefaultText;
    case TCommandBox::MaxLength:
        return FieldTypeComboBoxMaxLength;
    case TCommandBox::MinLength:
        return FieldTypeComboBoxMinLength;
    case TCommandBox::DecimalDigits:
        return FieldTypeComboBoxDecimal;
    }
    return nullptr;
}

void TFormEditCommandRecord::FieldTypeComboBoxTextTypeChange()
{
    if (m_showing)
        return;
    m_model.SetTextType(FieldTypeComboBoxTextType->currentIndex());
    ShowModel();
}

void TFormEditCommandRecord::FieldTypeComboBoxControlTypeChange()
{
    if (m_showing)
        return;
    m_model.SetControlType(FieldTypeComboBoxControlType->currentIndex());
    ShowModel();
}

void TFormEditCommandRecord::BoxChange(TCommandBox box, const QString& text)
{
    if (m_showing)
        return;
    m_model.SetText(box, ToBytes(text));
    ShowModel();
}

void TFormEditCommandRecord::ValidateComboData()
{
    ButtonOk->setEnabled(m_model.OkEnabled());
}

void TFormEditCommandRecord::CheckListBoxOtherChange(QListWidgetItem* item)
{
    if (m_showing)
        return;
    const bool on = item->checkState() == Qt::Checked;
    switch (CheckListBoxOther->row(item)) {
    case oiRequired:
        m_model.SetRequired(on);
        break;
    case oiReadOnly:
        m_model.SetReadOnly(on);
        break;
    case oiAutoIncrement:
        m_model.SetAutoIncrement(on);
        break;
    default:
        break;
    }
}

void TFormEditCommandRecord::ShowModel()
{
    if (m_showing)
        return;
    m_showing = true;
    FieldTypeComboBoxMode->setCurrentIndex(m_model.Mode());
    FieldTypeComboBoxMode->setEnabled(m_model.ModeEnabled());
    FieldTypeComboBoxTextType->setCurrentIndex(m_model.TextType());
    FieldTypeComboBoxTextType->setEnabled(m_model.TextTypeEnabled());
    FieldTypeComboBoxControlType->setCurrentIndex(m_model.ControlType());

    for (TCommandBox box :
         {TCommandBox::Caption, TCommandBox::Hint, TCommandBox::DefaultText, TCommandBox::MaxLength,
          TCommandBox::MinLength, TCommandBox::DecimalDigits}) {
        const tallyhost::TRecordBox& state = m_model.Box(box);
        TFieldTypeComboBox* widget = BoxWidget(box);
        if (widget->FldTypeCode() != state.Filter)
            widget->SetFieldType(state.Filter);
        widget->setMaxLength(state.MaxLength);
        const QString text = FromBytes(state.Text);
        if (widget->text() != text)
            widget->setText(text);
        widget->setEnabled(state.Enabled);
    }

    const QString combo = MemoTextOf(m_model.ComboLines());
    if (tallyhost::MemoLines(ToBytes(MemoComboLines->toPlainText())) != m_model.ComboLines())
        MemoComboLines->setPlainText(combo);
    MemoComboLines->setEnabled(m_model.ComboLinesEnabled());
    if (tallyhost::MemoLines(ToBytes(MemoNotes->toPlainText())) != m_model.NoteLines())
        MemoNotes->setPlainText(MemoTextOf(m_model.NoteLines()));
    MemoNotes->setEnabled(m_model.NotesEnabled());

    const bool checks[] = {m_model.Required(), m_model.ReadOnly(), m_model.AutoIncrement()};
    for (int i = 0; i < 3; ++i)
        CheckListBoxOther->item(i)->setCheckState(checks[i] ? Qt::Checked : Qt::Unchecked);
    m_showing = false;
    ValidateComboData();
}
