#pragma once

#include <QDialog>

#include <cstdint>

class QPushButton;
class TFieldTypeComboBox;

// Two status words typed in hexadecimal, to be shown in the terminal window's answer display
// as if an answer had carried them. "&Test" closes with OK once both boxes hold a value; the
// caller reads the boxes (FiscalWord and PrinterWord read them as numbers).
class TFormTestFixedAnswer : public QDialog
{
    Q_OBJECT

public:
    explicit TFormTestFixedAnswer(QWidget* parent = nullptr);

    // The boxes' texts read as hexadecimal numbers (the boxes hold at most four hex digits).
    std::uint16_t FiscalWord() const;
    std::uint16_t PrinterWord() const;

    TFieldTypeComboBox* FieldTypeComboBoxFiscal = nullptr;
    TFieldTypeComboBox* FieldTypeComboBoxPrinter = nullptr;
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonCancel = nullptr;

    void FieldTypeComboBoxFiscalChange();
    void ButtonCancelClick();
};
