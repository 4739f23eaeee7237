#include "editors/formeditcmdans.h"

#include "editors/editorboxes.h"
#include "editors/formeditanswerrecord.h"
#include "editors/formeditcommandrecord.h"
#include "editors/listeditorframe.h"
#include "gui/bytetext.h"
#include "gui/messagebox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace tallyhost;

namespace {

template <std::size_t N>
QTableWidget* MakeGrid(QWidget* parent, const char* name,
                       const std::array<std::string_view, N>& headers)
{
    auto* grid = new QTableWidget(1, static_cast<int>(N), parent);
    grid->setObjectName(QLatin1String(name));
    QStringList labels;
    for (std::string_view h : headers)
        labels << QString::fromLatin1(h.data(), static_cast<qsizetype>(h.size()));
    grid->setHorizontalHeaderLabels(labels);
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false);
    return grid;
}

template <typename Row>
void FillGrid(QTableWidget* grid, const std::vector<Row>& rows, int selectRow)
{
    const int columns = grid->columnCount();
    grid->setRowCount(std::max<int>(1, static_cast<int>(rows.size())));
    for (int r = 0; r < grid->rowCount(); ++r) {
        for (int c = 0; c < columns; ++c) {
            const QString text =
                r < static_cast<int>(rows.size())
                    ? FromBytes(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)])
                    : QString();
            if (QTableWidgetItem* item = grid->item(r, c))
                item->setText(text);
            else
                grid->setItem(r, c, new QTableWidgetItem(text));
        }
    }
    grid->selectRow(std::clamp(selectRow, 0, grid->rowCount() - 1));
}

} // namespace

TFormEditCmdAns::TFormEditCmdAns(QWidget* parent, const QString& fileName, const QString& section)
    : QDialog(parent), m_editor(ToBytes(fileName), ToBytes(section))
{
    FormCreate();
}

void TFormEditCmdAns::FormCreate()
{
    setModal(true);
    setSizeGripEnabled(true);
    setWindowTitle(FromBytes(m_editor.WindowCaption()));
    resize(760, 420);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    TabSheetCommands = new QWidget;
    TabSheetCommands->setObjectName(QStringLiteral("TabSheetCommands"));
    TabSheetAnswers = new QWidget;
    TabSheetAnswers->setObjectName(QStringLiteral("TabSheetAnswers"));
    StringGridCommands = MakeGrid(TabSheetCommands, "StringGridCommands", CommandGridHeaders);
    StringGridCommands->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGridAnswers = MakeGrid(TabSheetAnswers, "StringGridAnswers", AnswerGridHeaders);
    StringGridAnswers->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGridAnswers->horizontalHeader()->setStretchLastSection(true);
    (new QVBoxLayout(TabSheetCommands))->addWidget(StringGridCommands);
    (new QVBoxLayout(TabSheetAnswers))->addWidget(StringGridAnswers);
    PageControl->addTab(TabSheetCommands, tr("C&ommands"));
    PageControl->addTab(TabSheetAnswers, tr("A&nswers"));

    BuildListEditorFrame(this, PageControl,
                         {tr("Add record"), tr("Modify record"), tr("Remove record")});

    connect(StringGridCommands, &QTableWidget::cellDoubleClicked, this,
            &TFormEditCmdAns::StringGridCommandsDblClick);
    connect(StringGridAnswers, &QTableWidget::cellDoubleClicked, this,
            &TFormEditCmdAns::StringGridAnswersDblClick);
    // Each time a page is shown its grid is read again from the file.
    connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0)
            TabSheetCommandsShow();
        else
            TabSheetAnswersShow();
    });

    // The editor loaded both lists on construction.
    ShowAnswerGrid(0);
    ShowCommandGrid(0);
    PageControl->setCurrentWidget(TabSheetCommands);
    StringGridCommands->setFocus();
}

void TFormEditCmdAns::TabSheetCommandsShow()
{
    m_editor.LoadCommandGrid();
    ShowCommandGrid(SelectedField(StringGridCommands) - 1);
}

void TFormEditCmdAns::TabSheetAnswersShow()
{
    m_editor.LoadAnswerGrid();
    ShowAnswerGrid(SelectedField(StringGridAnswers) - 1);
}

bool TFormEditCmdAns::CommandsPageActive() const
{
    return PageControl->currentWidget() == TabSheetCommands;
}

int TFormEditCmdAns::SelectedField(QTableWidget* grid) const
{
    const int row = grid->currentRow();
    return row < 0 ? 1 : row + 1;
}

void TFormEditCmdAns::ShowCommandGrid(int selectRow)
{
    FillGrid(StringGridCommands, m_editor.CommandRows(), selectRow);
    SetRowButtons(m_editor.HasCommandFields());
}

void TFormEditCmdAns::ShowAnswerGrid(int selectRow)
{
    FillGrid(StringGridAnswers, m_editor.AnswerRows(), selectRow);
    SetRowButtons(m_editor.HasAnswerFields());
}

void TFormEditCmdAns::SetRowButtons(bool hasFields)
{
    ButtonModify->setEnabled(hasFields);
    ButtonRemove->setEnabled(hasFields);
}

void TFormEditCmdAns::Finish(const TFieldEditResult& result, bool commands, int selectRow)
{
    if (!result.Done())
        ShowEditorError(this, FromBytes(result.Message));
    QTableWidget* grid = commands ? StringGridCommands : StringGridAnswers;
    if (commands)
        ShowCommandGrid(selectRow);
    else
        ShowAnswerGrid(selectRow);
    grid->setFocus();
}

void TFormEditCmdAns::ButtonAddClick()
{
    if (CommandsPageActive()) {
        TFormEditCommandRecord dialog(this, m_editor.NewCommandRecord());
        if (ExecModal(dialog) != QDialog::Accepted)
            return;
        const TFieldEditResult result = m_editor.AddCommandField(dialog.Model().Record());
        Finish(result, true, static_cast<int>(m_editor.CommandRows().size()) - 1);
    } else {
        TFormEditAnswerRecord dialog(this, m_editor.NewAnswerRecord());
        if (ExecModal(dialog) != QDialog::Accepted)
            return;
        const TFieldEditResult result = m_editor.AddAnswerField(dialog.Model().Record());
        Finish(result, false, static_cast<int>(m_editor.AnswerRows().size()) - 1);
    }
}

void TFormEditCmdAns::ButtonModifyClick()
{
    if (CommandsPageActive()) {
        if (!m_editor.HasCommandFields())
            return;
        const int number = SelectedField(StringGridCommands);
        TFormEditCommandRecord dialog(this, m_editor.CommandRecord(number));
        if (ExecModal(dialog) != QDialog::Accepted) {
            StringGridCommands->setFocus();
            return;
        }
        Finish(m_editor.ModifyCommandField(number, dialog.Model().Record()), true, number - 1);
    } else {
        if (!m_editor.HasAnswerFields())
            return;
        const int number = SelectedField(StringGridAnswers);
        TFormEditAnswerRecord dialog(this, m_editor.AnswerRecord(number));
        if (ExecModal(dialog) != QDialog::Accepted) {
            StringGridAnswers->setFocus();
            return;
        }
        Finish(m_editor.ModifyAnswerField(number, dialog.Model().Record()), false, number - 1);
    }
}

void TFormEditCmdAns::ButtonRemoveClick()
{
    const bool commands = CommandsPageActive();
    QTableWidget* grid = commands ? StringGridCommands : StringGridAnswers;
    if (!(commands ? m_editor.HasCommandFields() : m_editor.HasAnswerFields()))
        return;
    const int number = SelectedField(grid);
    if (!AskEditorWarning(this, FromBytes(TFieldListEditor::RemoveQuestionText(number)))) {
        grid->setFocus();
        return;
    }
    const TFieldEditResult result =
        commands ? m_editor.RemoveCommandField(number) : m_editor.RemoveAnswerField(number);
    Finish(result, commands, number - 1);
}

void TFormEditCmdAns::ButtonCloseClick()
{
    reject();
}

void TFormEditCmdAns::StringGridCommandsDblClick()
{
    if (m_editor.HasCommandFields())
        ButtonModifyClick();
    else
        ButtonAddClick();
}

void TFormEditCmdAns::StringGridAnswersDblClick()
{
    if (m_editor.HasAnswerFields())
        ButtonModifyClick();
    else
        ButtonAddClick();
}
