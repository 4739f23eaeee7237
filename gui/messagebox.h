#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

// Every modal interaction of the windows (message boxes, file dialogs, modal dialogs) goes
// through the current TUserDialogs. The program uses the real boxes; a test installs a
// TRecordedDialogs, which records each box and answers from a script, so no test ever blocks
// in a nested event loop.
class TUserDialogs
{
public:
    virtual ~TUserDialogs() = default;

    // A message box. An empty caption gives the icon's usual caption ("Error", "Warning",
    // "Information", "Confirm").
    virtual QMessageBox::StandardButton MessageBox(QWidget* parent, QMessageBox::Icon icon,
                                                   const QString& caption, const QString& text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton);
    // Open dialog for an existing file; an empty result means Cancel.
    virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                 const QString& filter);
    // Save dialog; never asks before replacing a file; adds `defaultSuffix` to a name without
    // one. An empty result means Cancel.
    virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                                 const QString& filter, const QString& defaultSuffix);
    // Runs a modal dialog and returns its result (QDialog::Accepted or QDialog::Rejected).
    virtual int ExecDialog(QDialog& dialog);
};

// The dialogs in use now.
TUserDialogs& UserDialogs();
// Installs `dialogs` (nullptr = the real ones) and returns the previous one.
TUserDialogs* SetUserDialogs(TUserDialogs* dialogs);

// Shorthands for the common boxes.
QMessageBox::StandardButton
ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// Error icon and OK: how failures are told to the operator.
void ShowErrorBox(QWidget* parent, const QString& text, const QString& caption = QString());
int ExecModal(QDialog& dialog);

// Test double: installed for its lifetime, records every box and answers from scripts.
class TRecordedDialogs : public TUserDialogs
{
public:
    struct Box
    {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
        QMessageBox::StandardButtons buttons;
    };
    struct FileRequest
    {
        QString caption;
        QString directory;
        QString filter;
        QString defaultSuffix;
    };

    TRecordedDialogs() : m_previous(SetUserDialogs(this)) {}
    ~TRecordedDialogs() override { SetUserDialogs(m_previous); }
    TRecordedDialogs(const TRecordedDialogs&) = delete;
    TRecordedDialogs& operator=(const TRecordedDialogs&) = delete;

    std::vector<Box> Boxes;
    // Answers of the next message boxes, in order; when empty a box answers with its default
    // button, or OK when it has none.
    std::deque<QMessageBox::StandardButton> Answers;

    std::vector<FileRequest> OpenRequests;
    std::vector<FileRequest> SaveRequests;
    // Names the next open and save dialogs return; when empty they are cancelled.
    std::deque<QString> OpenAnswers;
    std::deque<QString> SaveAnswers;

    // Called for every modal dialog instead of running it (it may fill in the controls);
    // returns the dialog's result. Without it, every dialog is rejected.
    std::function<int(QDialog&)> OnDialog;
    int DialogCount = 0;

    QMessageBox::StandardButton MessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) override;
    QString OpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter) override;
    QString SaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter, const QString& defaultSuffix) override;
    int ExecDialog(QDialog& dialog) override;

    // Texts of the recorded boxes, for compact assertions.
    QStringList Texts() const;

private:
    TUserDialogs* m_previous;
};
