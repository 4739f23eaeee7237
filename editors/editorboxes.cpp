#include "editors/editorboxes.h"

#include "core/fieldedit.h"
#include "gui/bytetext.h"
#include "gui/messagebox.h"

bool AskEditorWarning(QWidget* parent, const QString& text)
{
    return ShowMessageBox(parent, QMessageBox::Warning, FromBytes(tallyhost::WarningCaption), text,
                          QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Ok) == QMessageBox::Ok;
}

void ShowEditorError(QWidget* parent, const QString& text)
{
    ShowMessageBox(parent, QMessageBox::Critical, FromBytes(tallyhost::ErrorCaption), text,
                   QMessageBox::Ok);
}
