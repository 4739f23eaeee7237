#pragma once

#include <QString>

class QWidget;

// The two message boxes of the definition editors, with the captions the editors use
// (" W A R N I N G ", " E R R O R "). They go through TUserDialogs, so tests script them.

// Warning icon, OK and Cancel; true for OK.
bool AskEditorWarning(QWidget* parent, const QString& text);
// Error icon and OK.
void ShowEditorError(QWidget* parent, const QString& text);
