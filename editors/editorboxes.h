#pragma once

#include <QString>

class QWidget;

namespace tallyhost {
class Error;
}

// The two message boxes of the definition editors, with the captions the editors use
// (" W A R N I N G ", " E R R O R "). They go through TUserDialogs, so tests script them.

// Warning icon, OK and Cancel; true for OK.
bool AskEditorWarning(QWidget* parent, const QString& text);
// Error icon and OK.
void ShowEditorError(QWidget* parent, const QString& text);

// Makes a dialog at least wide enough to show its whole title (window managers cut a title
// that does not fit, and a narrow record dialog squeezes its labels).
void WidenForTitle(QWidget* dialog);

// The text of a core error for the operator. A write error names the file: its path is in the
// file system's encoding, not Latin-1 like the file's contents the other errors quote.
QString EditorErrorText(const tallyhost::Error& error);
