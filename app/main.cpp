#include <QApplication>
#include <QMainWindow>

// Placeholder until the main window lands: shows an empty frame with the program's title.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tallyhost"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
