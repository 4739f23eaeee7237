#pragma once

#include <QPlainTextEdit>
#include <QValidator>

class QLineEdit;

// Terminal files hold 8-bit text, shown and written as Latin-1. A character outside Latin-1
// has no byte to be stored as, so the boxes of the editors do not take it where it is typed or
// pasted: the text stays as it was (it would otherwise be written as "?" without a word).

// True when every character of the text has a Latin-1 byte.
bool FitsLatin1(const QString& text);

// Refuses a typed or pasted text that holds a character outside Latin-1 (texts set by the
// program are not checked: they come from the file's own bytes).
class TLatin1Validator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Gives the edit field a TLatin1Validator it owns.
void AcceptLatin1Only(QLineEdit* edit);

// A multi-line box (combo lines, notes) that refuses typed keys, pastes, drops and input-method
// commits holding a character outside Latin-1.
class TLatin1PlainTextEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};
