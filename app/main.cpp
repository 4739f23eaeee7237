#include "app/application.h"
#include "app/formmain.h"
#include "app/logreader.h"
#include "core/version.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>
#include <string_view>

#include <unistd.h>

namespace {

// Resident memory of this process in kB (0 when unknown).
long ResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Milliseconds since the kernel started this process (-1 when unknown), with the kernel's
// clock-tick resolution: it includes loading the program and its libraries.
long long ProcessAgeMs()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // Field 22 of the file (start time) is the 20th after the command name.
    if (fields.size() < 20)
        return -1;
    const long long startTicks = fields.at(19).toLongLong();
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec now{};
    if (ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const long long nowMs = now.tv_sec * 1000LL + now.tv_nsec / 1000000;
    return nowMs - startTicks * 1000 / ticksPerSecond;
}

// With --startup-timer the program reports on stderr how long it took from entering main to
// the main window's first paint, and its resident memory then.
class TFirstPaintProbe : public QObject
{
public:
    TFirstPaintProbe(QElapsedTimer& timer, bool report, std::function<void()> then)
        : m_timer(timer), m_report(report), m_then(std::move(then))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            const qint64 elapsed = m_timer.elapsed();
            const long long age = ProcessAgeMs();
            // Let the paint finish before the figures are taken.
            QTimer::singleShot(0, this, [this, elapsed, age] {
                if (m_report)
                    std::fprintf(stderr,
                                 "startup-timer: first paint %lld ms after process start "
                                 "(%lld ms after main), RSS %ld kB\n",
                                 age, static_cast<long long>(elapsed), ResidentKilobytes());
                if (m_then)
                    m_then();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer& m_timer;
    bool m_report;
    std::function<void()> m_then;
    bool m_reported = false;
};

// --version and --help are answered before the application object exists, so they work
// without a display (scripts, package checks).
bool AnswerInformationalOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("tallyhost %s\n", tallyhost::VersionString("FileVersion").c_str());
            return true;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "Usage: tallyhost [FILE.thf | SCRIPT.ths] [--log FILE.log [--file CATALOGUE.thf]]\n"
                "\n"
                "Test terminal for fiscal printers. Opens FILE.thf, or the terminal file\n"
                "open last time. SCRIPT.ths opens with its catalogue in the Run script window.\n"
                "\n"
                "  --log FILE.log  also open a log file written by the program (or a saved\n"
                "                  view) in a window of its own, its frames decoded against\n"
                "                  CATALOGUE.thf given with --file, else the open file\n"
                "  --version       show the version\n"
                "  --help          show this text\n"
                "\n"
                "TALLYHOST_COM1..TALLYHOST_COM4 set the device of COM1..COM4 for this run.\n"
                "TALLYHOST_FISCAL_PORT=on|off turns the fiscal port on or off for this run.\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (AnswerInformationalOption(argc, argv))
        return 0;
    QElapsedTimer startup;
    startup.start();
    TApplication app(argc, argv);

    QStringList arguments = QCoreApplication::arguments();
    const bool timed = arguments.removeAll(QStringLiteral("--startup-timer")) > 0;
    const bool quitAfterPaint = arguments.removeAll(QStringLiteral("--quit-after-paint")) > 0;

    // --log FILE [--file CATALOGUE]: a log read back beside the main window.
    QString logFile;
    QString logCatalogue;
    for (const QString& option : {QStringLiteral("--log"), QStringLiteral("--file")}) {
        const qsizetype at = arguments.indexOf(option);
        if (at < 0)
            continue;
        if (at + 1 >= arguments.size()) {
            std::fprintf(stderr, "tallyhost: %s needs a file name\n", qPrintable(option));
            return 2;
        }
        (option == QStringLiteral("--log") ? logFile : logCatalogue) = arguments.at(at + 1);
        arguments.remove(at, 2);
    }

    TFormMain window(arguments);
    // --quit-after-paint closes the window once it is painted (start-up measurements, smoke
    // tests of an installed build).
    TFirstPaintProbe probe(startup, timed,
                           quitAfterPaint ? std::function<void()>([&window] { window.close(); })
                                          : std::function<void()>());
    if (timed || quitAfterPaint)
        window.installEventFilter(&probe);
    window.show();
    if (!logFile.isEmpty()) {
        // Once the main window has opened its terminal file, whose catalogue is the default.
        QTimer::singleShot(0, &window, [&window, logFile, logCatalogue] {
            const QString catalogue = !logCatalogue.isEmpty()     ? logCatalogue
                                      : window.TerminalFileOpen() ? window.Settings.File
                                                                  : QString();
            TFormLogReader::Open(logFile, catalogue, &window);
        });
    }
    return app.exec();
}
