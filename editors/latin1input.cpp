#include "editors/latin1input.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>

#include <algorithm>

bool FitsLatin1(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

QValidator::State TLatin1Validator::validate(QString& input, int&) const
{
    return FitsLatin1(input) ? Acceptable : Invalid;
}

void AcceptLatin1Only(QLineEdit* edit)
{
    edit->setValidator(new TLatin1Validator(edit));
}

void TLatin1PlainTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (!FitsLatin1(event->text())) {
        QApplication::beep();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TLatin1PlainTextEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (!FitsLatin1(event->commitString())) {
        QApplication::beep();
        QInputMethodEvent refused(event->preeditString(), event->attributes());
        QPlainTextEdit::inputMethodEvent(&refused);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

bool TLatin1PlainTextEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return QPlainTextEdit::canInsertFromMimeData(source) &&
           (!source->hasText() || FitsLatin1(source->text()));
}

void TLatin1PlainTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (source->hasText() && !FitsLatin1(source->text())) {
        QApplication::beep();
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}
