#pragma once

#include "core/termdefs.h"

#include <QComboBox>

// The typed input box: an edit field with an optional drop-down list that lets in only the
// characters its field type allows. Typed keys are filtered (and upper-cased for hexadecimal
// and boolean boxes); after every change, typed, pasted or set by program, a text holding a
// character the type does not allow is emptied; a required box keeps the focus while empty.
//
// The rules themselves are the core's (core/inputrules.h); this class only applies them to the
// widget. Styles: csSimple is a plain edit field (no list button), csDropDown an editable
// combo box, csDropDownList a choice from the list only.
class TFieldTypeComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(int FldType READ FldTypeCode WRITE SetFieldTypeCode)
    Q_PROPERTY(bool Required READ Required WRITE SetRequired)

public:
    enum TComboStyle
    {
        csSimple,
        csDropDown,
        csDropDownList
    };

    explicit TFieldTypeComboBox(QWidget* parent = nullptr);

    // Field type: a text type code. Codes beyond ftdBool (date, time) filter nothing.
    tallyhost::TFldType FldType() const { return static_cast<tallyhost::TFldType>(m_fldType); }
    void SetFieldType(std::uint8_t fieldType);
    int FldTypeCode() const { return m_fldType; }
    void SetFieldTypeCode(int code) { SetFieldType(static_cast<std::uint8_t>(code)); }

    bool Required() const { return m_required; }
    void SetRequired(bool required) { m_required = required; }

    TComboStyle Style() const { return m_style; }
    void SetStyle(TComboStyle style);

    // The text of the box (the edit field, or the chosen item of a drop-down list).
    QString text() const;
    void setText(const QString& text);
    // Maximum number of characters that can be typed; 0 or less means no limit.
    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length);

    // A simple box has no list to show.
    void showPopup() override;

signals:
    // The text changed (after the type check, which may have emptied it).
    void Change(const QString& text);
    // The focus left the box (not raised while a required box keeps the focus).
    void Exit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Applies the key filter; returns false when the key is dropped. May replace the event's
    // text (upper case) by sending a new event to `receiver`.
    bool FilterKeyEvent(QObject* receiver, QKeyEvent* event);
    void TextChanged(const QString& text);
    void ApplyMaxLength();
    // A simple box's edit field takes the whole box, the room of the (undrawn) list button too.
    void FitEditField();

    std::uint8_t m_fldType = tallyhost::ftdAlphaNumeric;
    bool m_required = false;
    int m_maxLength = 0;
    TComboStyle m_style = csSimple;
    bool m_inFilter = false;
};
