#include "gui/messagebox.h"

#include <QDialog>
#include <QFileDialog>

namespace {

TUserDialogs g_realDialogs;
TUserDialogs* g_dialogs = &g_realDialogs;

QString DefaultCaption(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Critical:
        return QStringLiteral("Error");
    case QMessageBox::Warning:
        return QStringLiteral("Warning");
    case QMessageBox::Question:
        return QStringLiteral("Confirm");
    default:
        return QStringLiteral("Information");
    }
}

} // namespace

QMessageBox::StandardButton TUserDialogs::MessageBox(QWidget* parent, QMessageBox::Icon icon,
                                                     const QString& caption, const QString& text,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, caption.isEmpty() ? DefaultCaption(icon) : caption, text, buttons,
                    parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString TUserDialogs::OpenFileName(QWidget* parent, const QString& caption,
                                   const QString& directory, const QString& filter)
{
    QFileDialog dialog(parent, caption, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString TUserDialogs::SaveFileName(QWidget* parent, const QString& caption,
                                   const QString& directory, const QString& filter,
                                   const QString& defaultSuffix)
{
    QFileDialog dialog(parent, caption, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

int TUserDialogs::ExecDialog(QDialog& dialog)
{
    return dialog.exec();
}

TUserDialogs& UserDialogs()
{
    return *g_dialogs;
}

TUserDialogs* SetUserDialogs(TUserDialogs* dialogs)
{
    TUserDialogs* previous = g_dialogs == &g_realDialogs ? nullptr : g_dialogs;
    g_dialogs = dialogs ? dialogs : &g_realDialogs;
    return previous;
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton)
{
    return UserDialogs().MessageBox(parent, icon, caption, text, buttons, defaultButton);
}

void ShowErrorBox(QWidget* parent, const QString& text, const QString& caption)
{
    ShowMessageBox(parent, QMessageBox::Critical, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

int ExecModal(QDialog& dialog)
{
    return UserDialogs().ExecDialog(dialog);
}

QMessageBox::StandardButton TRecordedDialogs::MessageBox(QWidget*, QMessageBox::Icon icon,
                                                         const QString& caption,
                                                         const QString& text,
                                                         QMessageBox::StandardButtons buttons,
                                                         QMessageBox::StandardButton defaultButton)
{
    Boxes.push_back({icon, caption, text, buttons});
    if (!Answers.empty()) {
        const auto answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    return defaultButton != QMessageBox::NoButton ? defaultButton : QMessageBox::Ok;
}

QString TRecordedDialogs::OpenFileName(QWidget*, const QString& caption, const QString& directory,
                                       const QString& filter)
{
    OpenRequests.push_back({caption, directory, filter, QString()});
    if (OpenAnswers.empty())
        return QString();
    QString answer = OpenAnswers.front();
    OpenAnswers.pop_front();
    return answer;
}

QString TRecordedDialogs::SaveFileName(QWidget*, const QString& caption, const QString& directory,
                                       const QString& filter, const QString& defaultSuffix)
{
    SaveRequests.push_back({caption, directory, filter, defaultSuffix});
    if (SaveAnswers.empty())
        return QString();
    QString answer = SaveAnswers.front();
    SaveAnswers.pop_front();
    return answer;
}

int TRecordedDialogs::ExecDialog(QDialog& dialog)
{
    ++DialogCount;
    return OnDialog ? OnDialog(dialog) : int(QDialog::Rejected);
}

QStringList TRecordedDialogs::Texts() const
{
    QStringList texts;
    for (const Box& box : Boxes)
        texts << box.text;
    return texts;
}
