#pragma once

// Stand-in for the log window until app/logwindow.h exists; the main window includes this file
// and gets the real window as soon as it is there. Delete this file once it is.
#if __has_include("app/logwindow.h")
#include "app/logwindow.h"
#else
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QTextEdit>

class TFormChildLogWindow : public QMdiSubWindow
{
public:
    explicit TFormChildLogWindow(const QString& terminalFileName, QWidget* parent = nullptr)
        : QMdiSubWindow(parent)
    {
        Q_UNUSED(terminalFileName);
        setWindowTitle(QStringLiteral("Log window"));
        auto* view = new QTextEdit(this);
        view->setObjectName(QStringLiteral("RichEditLog"));
        view->setReadOnly(true);
        setWidget(view);
    }

protected:
    // Only its owner destroys the log window; the close box minimizes it.
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        showMinimized();
    }
};
#endif
