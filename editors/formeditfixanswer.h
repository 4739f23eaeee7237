#pragma once

#include "core/profile.h"
#include "core/statusedit.h"

#include <QDialog>
#include <QString>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QWidget;
class TFieldTypeComboBox;

// One status record: panel, mask, result, text on true and colour. Constructed with a row
// whose panel is "0" it adds a record (OK stays disabled until panel, mask, result and text
// are given); with a real row it modifies that row. The caller reads the values after OK.
//
// A record from a hand-edited file keeps what the operator does not touch: a panel outside
// 1..16 is offered in the list as it is, and a colour outside the sixteen (clBtnFace,
// $00FF00, a decimal value) is offered in the picker under its own text and written back as
// that text unless another colour is picked.
class TFormEditFixAnswerRecord : public QDialog
{
    Q_OBJECT

public:
    // Add mode: empty boxes, OK waits for them.
    explicit TFormEditFixAnswerRecord(QWidget* parent = nullptr);
    // Modify mode with the record's values, whatever they are (a hand-written panel 0 too).
    // A value longer than its box takes is shown whole and kept unless the operator edits it.
    explicit TFormEditFixAnswerRecord(const tallyhost::TStatusGridRow& row,
                                      QWidget* parent = nullptr);

    bool AddMode() const { return m_addMode; }

    // The values after OK (mask and result padded to four digits by OK).
    QString PanelText() const;
    QString MaskText() const;
    QString ResultText() const;
    QString TextOnTrue() const;
    // The picked colour's name, or the record's own colour text when it was kept.
    QString ColorName() const;
    tallyhost::TStatusGridRow Row() const;

    TFieldTypeComboBox* FieldTypeComboBoxPanelNumber = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxMask = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxResult = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxText = nullptr;
    QComboBox* ComboColorColor = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;
    // Shown while the record can never match (result bits outside the mask); OK stays allowed.
    QLabel* LabelWarning = nullptr;

    void EnableDisableOkButton();
    void ButtonOkClick();

private:
    TFormEditFixAnswerRecord(const tallyhost::TStatusGridRow* stored, QWidget* parent);
    bool m_addMode = true;
};

// The status-decode records of the open terminal file, one page per status word. Every
// change is written to the file at once (one atomic replacement), records renumbered 1..n.
// A refused write is shown and the page reloaded from the file.
class TFormEditFixAnswer : public QDialog
{
    Q_OBJECT

public:
    explicit TFormEditFixAnswer(const QString& fileName, QWidget* parent = nullptr);
    ~TFormEditFixAnswer() override;

    QTabWidget* PageControl = nullptr;
    QWidget* TabSheetFiscalAnswer = nullptr;
    QWidget* TabSheetPrinterAnswer = nullptr;
    QTableWidget* StringGridFiscal = nullptr;
    QTableWidget* StringGridPrinter = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonModify = nullptr;
    QPushButton* ButtonRemove = nullptr;
    QPushButton* ButtonClose = nullptr;

    void TabSheetFiscalAnswerShow();
    void TabSheetPrinterAnswerShow();
    void ButtonAddClick();
    void ButtonModifyClick();
    void ButtonRemoveClick();
    void ButtonCloseClick();
    void StringGridFiscalDblClick();
    void StringGridPrinterDblClick();

    // The list of the active page.
    const tallyhost::TStatusRecordList& ActiveList() const;

private:
    void FormCreate();
    QTableWidget* ActiveGrid() const;
    tallyhost::TStatusRecordList& ActiveListRef();
    // Fills the active page's grid from its list and sets Modify and Remove by it.
    void LoadStatusGrid();
    void FillGrid(QTableWidget* grid, const tallyhost::TStatusRecordList& list);
    int SelectedRow() const;
    // Runs one change of the active list; a refused write is shown, and the page shows the
    // file as it is either way.
    template <typename F> void Change(F&& change, int selectRow);

    QString m_fileName;
    tallyhost::TExtIniFile m_ini;
    tallyhost::TStatusRecordList m_fiscal;
    tallyhost::TStatusRecordList m_printer;
};
