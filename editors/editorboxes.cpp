#include "editors/editorboxes.h"

#include "core/fieldedit.h"
#include "gui/messagebox.h"

namespace {

QString Caption(std::string_view caption)
{
    return QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()));
}

} // namespace

bool AskEditorWarning(QWidget* parent, const QString& text)
{
    return ShowMessageBox(parent, QMessageBox::Warning, Caption(tallyhost::WarningCaption), text,
                          QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Ok) == QMessageBox::Ok;
}

void ShowEditorError(QWidget* parent, const QString& text)
{
    ShowMessageBox(parent, QMessageBox::Critical, Caption(tallyhost::ErrorCaption), text,
                   QMessageBox::Ok);
}
