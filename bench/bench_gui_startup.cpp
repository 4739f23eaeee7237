// Start-up of the main window: from creating TFormMain (settings, file association, status bar,
// command line) to the window shown and painted with the demo catalogue open, then shutdown.
// The whole process, including loading the program and Qt, is measured by
// `tallyhost --startup-timer --quit-after-paint examples/demo.thf`, which prints the time from
// process start to the first paint and the resident memory.

#include "app/formmain.h"
#include "gui/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

QString FindDemoFile()
{
    const QByteArray fromEnvironment = qgetenv("TALLYHOST_DEMO");
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    // The build directory usually lies inside the source tree.
    QDir dir(QCoreApplication::applicationDirPath());
    for (int up = 0; up < 5; ++up) {
        const QString candidate = dir.filePath(QStringLiteral("examples/demo.thf"));
        if (QFileInfo::exists(candidate))
            return candidate;
        if (!dir.cdUp())
            break;
    }
    return QString();
}

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

QString g_demoCopy;

void BM_StartUpWithDemoFileToFirstPaint(benchmark::State& state)
{
    if (g_demoCopy.isEmpty()) {
        state.SkipWithError("examples/demo.thf not found (set TALLYHOST_DEMO)");
        return;
    }
    for (auto _ : state) {
        TFormMain window({QStringLiteral("tallyhost"), g_demoCopy});
        window.show();
        // Layout and the first paint of the frame and its children.
        QApplication::processEvents();
        window.grab();
        benchmark::DoNotOptimize(FormChildTerminalWindow);
        state.PauseTiming();
        window.close();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["RSS_kB"] = double(ResidentKilobytes());
}
BENCHMARK(BM_StartUpWithDemoFileToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       home.filePath(QStringLiteral("config")));

    // The host port opens on a pseudo-terminal, as it would on a serial port; a box (a port
    // that cannot be opened) is answered at once instead of waiting for a click.
    TRecordedDialogs dialogs;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
        qputenv("TALLYHOST_COM1", QByteArray(::ptsname(master)));

    // Work on a copy: the program writes its per-file settings into the catalogue at exit.
    const QString demo = FindDemoFile();
    if (!demo.isEmpty()) {
        g_demoCopy = home.filePath(QStringLiteral("demo.thf"));
        QFile::copy(demo, g_demoCopy);
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!dialogs.Boxes.empty())
        std::fprintf(stderr, "note: %zu message box(es), first: %s\n", dialogs.Boxes.size(),
                     qPrintable(dialogs.Boxes.front().text));
    if (master >= 0)
        ::close(master);
    return 0;
}
