#pragma once

#include "core/fieldedit.h"

#include <QDialog>

class QPushButton;
class QTabWidget;
class QTableWidget;
class QWidget;

// The modal dialog that maintains the command fields and answer fields of one command. Every
// accepted change is written to the terminal file at once (one atomic replacement each); the
// caller reloads the file after the dialog closes.
//
// The lists, the keys written and the numbering are the core's TFieldListEditor; this class
// shows its rows in two grids and opens the record dialogs.
class TFormEditCmdAns : public QDialog
{
    Q_OBJECT

public:
    TFormEditCmdAns(QWidget* parent, const QString& fileName, const QString& section);

    const tallyhost::TFieldListEditor& Editor() const { return m_editor; }

    QTabWidget* PageControl = nullptr;
    QWidget* TabSheetCommands = nullptr;
    QWidget* TabSheetAnswers = nullptr;
    QTableWidget* StringGridCommands = nullptr;
    QTableWidget* StringGridAnswers = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonModify = nullptr;
    QPushButton* ButtonRemove = nullptr;
    QPushButton* ButtonClose = nullptr;

    void ButtonAddClick();
    void ButtonModifyClick();
    void ButtonRemoveClick();
    void ButtonCloseClick();
    void StringGridCommandsDblClick();
    void StringGridAnswersDblClick();

private:
    void FormCreate();
    void TabSheetCommandsShow();
    void TabSheetAnswersShow();
    bool CommandsPageActive() const;
    // The 1-based field number of the grid's selected row (1 when nothing is selected).
    int SelectedField(QTableWidget* grid) const;
    // Fills a grid from the editor's rows; the empty list is one blank row.
    void ShowCommandGrid(int selectRow);
    void ShowAnswerGrid(int selectRow);
    void SetRowButtons(bool hasFields);
    // After an edit: the error boxes, the grid as the file holds it, the selection, the focus.
    void Finish(const tallyhost::TFieldEditResult& result, bool commands, int selectRow);

    tallyhost::TFieldListEditor m_editor;
};
