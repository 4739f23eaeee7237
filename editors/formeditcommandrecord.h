#pragma once

#include "core/fieldrecord.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class TFieldTypeComboBox;

// The modal dialog that enters or changes one command field definition. It writes nothing:
// the field list editor reads Model().Record() after OK.
//
// Every rule (enabling, the texts each box is given, filters, lengths, when OK is allowed) is
// the core's TCommandRecordModel; this class passes each change of a control to the model and
// shows the model's state again.
class TFormEditCommandRecord : public QDialog
{
    Q_OBJECT

public:
    // Add mode (`first`: the command has no fields yet).
    TFormEditCommandRecord(QWidget* parent, bool first);
    // Modify mode with the 13 grid cells of the field, its combo lines and the command's notes.
    TFormEditCommandRecord(QWidget* parent, const tallyhost::TCommandRow& cells,
                           const std::vector<std::string>& comboLines,
                           const std::vector<std::string>& noteLines);
    // Either mode, prepared by the caller (the list editor presets field 1's mode).
    TFormEditCommandRecord(QWidget* parent, tallyhost::TCommandRecordModel model);

    const tallyhost::TCommandRecordModel& Model() const { return m_model; }

    TFieldTypeComboBox* FieldTypeComboBoxMode = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxCaption = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxHint = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxTextType = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxDefaultText = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxControlType = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxMaxLength = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxMinLength = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxDecimal = nullptr;
    QPlainTextEdit* MemoComboLines = nullptr;
    QListWidget* CheckListBoxOther = nullptr;
    QPlainTextEdit* MemoNotes = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    // The three checks of CheckListBoxOther, in order.
    enum TOtherItem
    {
        oiRequired = 0,
        oiReadOnly = 1,
        oiAutoIncrement = 2
    };

private:
    void FormCreate();
    void FieldTypeComboBoxTextTypeChange();
    void FieldTypeComboBoxControlTypeChange();
    void BoxChange(tallyhost::TCommandBox box, const QString& text);
    void ValidateComboData();
    void CheckListBoxOtherChange(QListWidgetItem* item);
    // Shows the model's state in the controls (without raising their handlers).
    void ShowModel();

    TFieldTypeComboBox* BoxWidget(tallyhost::TCommandBox box) const;

    tallyhost::TCommandRecordModel m_model;
    bool m_showing = false;
};
