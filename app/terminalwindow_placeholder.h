#pragma once

// Stand-in for the terminal window until terminal/terminalwindow.h exists; the main window
// includes this file and gets the real window as soon as it is there. Delete this file once it
// is.
#if __has_include("terminal/terminalwindow.h")
#include "terminal/terminalwindow.h"
#else
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>

class TFormChildTerminalWindow : public QMdiSubWindow
{
public:
    explicit TFormChildTerminalWindow(const QString& fileName, QWidget* parent = nullptr)
        : QMdiSubWindow(parent)
    {
        setWindowTitle(QFileInfo(fileName).fileName());
        setWidget(new QLabel(fileName, this));
    }

protected:
    // Only its owner destroys the terminal window; the close box minimizes it.
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        showMinimized();
    }
};
#endif
