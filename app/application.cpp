#include "app/application.h"

#include "gui/messagebox.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The application name stays the executable's name (it names the settings and the data
    // directory); the title is the product's.
    setApplicationDisplayName(QStringLiteral("Tallyhost"));
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowErrorBox(nullptr, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorBox(nullptr, QStringLiteral("An unexpected error occurred."));
    }
    return false;
}
