#pragma once

#include <QApplication>

// The application object: titled "Tallyhost". An exception that escapes an event handler is
// shown to the operator in an error box and the event loop goes on, instead of ending the
// program with the operator's work.
class TApplication : public QApplication
{
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
