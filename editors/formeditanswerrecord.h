#pragma once

#include "core/fieldrecord.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TFieldTypeComboBox;

// The modal dialog that enters or changes one answer field definition (caption, text type,
// decimal digits). It writes nothing: the field list editor reads Model().Record() after OK.
// The rules are the core's TAnswerRecordModel.
class TFormEditAnswerRecord : public QDialog
{
    Q_OBJECT

public:
    // Add mode.
    explicit TFormEditAnswerRecord(QWidget* parent);
    // Modify mode with the 4 grid cells of the field.
    TFormEditAnswerRecord(QWidget* parent, const tallyhost::TAnswerRow& cells);
    TFormEditAnswerRecord(QWidget* parent, tallyhost::TAnswerRecordModel model);

    const tallyhost::TAnswerRecordModel& Model() const { return m_model; }

    QLineEdit* EditCaption = nullptr;
    QComboBox* ComboBoxFormat = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxDecimal = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;
    // What looks unintended about the caption (empty, another field's too); OK stays allowed.
    QLabel* LabelWarning = nullptr;

private:
    void ShowWarning();
    void FormCreate();
    void ComboBoxFormatChange();
    void ShowModel();

    tallyhost::TAnswerRecordModel m_model;
    bool m_showing = false;
};
