#pragma once

#include "core/profile.h"
#include "core/returncodeedit.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;
class QTableWidget;
class TFieldTypeComboBox;

// One return code: its number (digits, at most five) and its description. Without a row it
// adds a code, with one it modifies it. Cancel is the default button: Enter cancels.
class TFormRcRecord : public QDialog
{
    Q_OBJECT

public:
    explicit TFormRcRecord(QWidget* parent = nullptr);
    TFormRcRecord(const QString& number, const QString& text, QWidget* parent = nullptr);

    QString NumberText() const;
    QString DescriptionText() const;

    TFieldTypeComboBox* FieldTypeComboBoxRcNumber = nullptr;
    QLineEdit* EditText = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    void FieldTypeComboBoxRcNumberChange();

private:
    void CreateLayout();
};

// The return code descriptions of the open terminal file (section "Return codes"). Every
// change is written at once (one atomic replacement), sorted by number after an add or
// modify. Keys that are no return codes are listed greyed after the codes and kept as they
// are. A refused write is shown and the list reloaded from the file.
class TFormEditReturnCode : public QDialog
{
    Q_OBJECT

public:
    explicit TFormEditReturnCode(const QString& fileName, QWidget* parent = nullptr);
    ~TFormEditReturnCode() override;

    QTableWidget* StringGridRc = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonModify = nullptr;
    QPushButton* ButtonRemove = nullptr;
    QPushButton* ButtonClose = nullptr;

    const tallyhost::TReturnCodeList& List() const { return m_list; }

    void ButtonAddClick();
    void ButtonModifyClick();
    void ButtonRemoveClick();
    void ButtonCloseClick();
    // `row` is the row double-clicked; the greyed rows of kept keys do nothing.
    void StringGridRcDblClick(int row);

private:
    void FormCreate();
    void LoadReturnCodeGrid();
    // Shows the outcome of an add or modify; false when the number was refused.
    bool Report(tallyhost::TReturnCodeList::TResult result);
    template <typename F> void Change(F&& change, const std::string& selectNumber, int selectRow);

    tallyhost::TExtIniFile m_ini;
    tallyhost::TReturnCodeList m_list;
};
