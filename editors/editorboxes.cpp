#include "editors/editorboxes.h"

#include "core/errors.h"
#include "core/fieldedit.h"
#include "gui/bytetext.h"
#include "gui/messagebox.h"

#include <QFile>
#include <QWidget>

#include <algorithm>

QString EditorErrorText(const tallyhost::Error& error)
{
    if (const auto* write = dynamic_cast<const tallyhost::IniWriteError*>(&error))
        return QStringLiteral("Unable to write to %1")
            .arg(QFile::decodeName(write->path().c_str()));
    return FromBytes(error.what());
}

void WidenForTitle(QWidget* dialog)
{
    // Room for the frame's buttons beside the title text.
    constexpr int FrameButtons = 140;
    const int title = dialog->fontMetrics().horizontalAdvance(dialog->windowTitle());
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), title + FrameButtons));
}

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
