// Throughput of repeated host commands and the cost of waiting for the printer.
//
//   build/bench/bench_gui_send
//
// Runs tallyhost-sim (from the build's tools directory) as a child process answering at once,
// then measures:
//   1. tallyhost-cli send --repeat 999: commands per second (process start included);
//   2. the terminal window's Repeat 999, with the log window open, in this process: its time
//      against the command-line tool's;
//   3. the GUI process's CPU time while one command waits 10 s for a slow printer (keep-alives
//      every second): as a share of one core.
// Prints the figures and exits with 1 when a target is missed (>= 1000 commands/s, the window
// within 3x the tool's time, < 2 % of a core while waiting).

#include "app/formmain.h"
#include "app/logwindow.h"
#include "gui/messagebox.h"
#include "links/fphostcontrol.h"
#include "terminal/commandtree.h"
#include "terminal/terminalwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidgetItem>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr int RepeatCount = 999;

const char* const Scenario = "[General]\r\nCompatibleStatus=Hex\r\n"
                             "[Host]\r\nDelay=0\r\n"
                             "[Host.Slow]\r\nMatch=SLOW\r\nDelay=10000\r\nKeepAlive=1000\r\n"
                             "KeepAliveKind=DC2\r\n"
                             "[Fiscal]\r\nDelay=0\r\n";

const char* const TerminalFile =
    "[General]\r\nProtocol=1\r\n"
    "[Groups]\r\nG=\r\n[G]\r\nFast=\r\nSlow=\r\n"
    "[FiscalAnswer]\r\nRecord1=1,1,0600,0600,\"Open\",clBlue\r\n"
    "[GFast]\r\nCommands=0,\"&Code\",\"\",0,\"F\",0,0,1,1,0,0,0,"
    "0,\"&Text\",\"\",0,\"T\",0,20,0,0,0,0,1\r\nAnswers=\"Echo\",0,0\r\n"
    "[GSlow]\r\nCommands=0,\"&Code\",\"\",0,\"SLOW\",0,0,1,1,0,0,0\r\nAnswers=\r\n";

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool WriteFile(const QString& path, const char* text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(text);
    return true;
}

// Runs the event loop until `done` holds or `ms` pass, checking every `everyMs`; sleeps between
// checks, so a waiting process stays idle.
template <typename Predicate> bool WaitFor(Predicate done, int ms, int everyMs = 1)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(everyMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Select(TFormChildTerminalWindow* w, const QString& command)
{
    QTreeWidgetItem* group = w->TreeViewCommand->topLevelItem(0)->child(0);
    for (int i = 0; i < group->childCount(); ++i) {
        if (group->child(i)->text(0) == command)
            w->TreeViewCommand->setCurrentItem(group->child(i));
    }
    WaitFor([&] { return w->CurrentCommand == "G" + command; }, 2000);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);

    const QString tools = QDir(QCoreApplication::applicationDirPath()).filePath("../tools");
    const QString sim = QDir(tools).filePath("tallyhost-sim");
    const QString cli = QDir(tools).filePath("tallyhost-cli");
    if (!QFileInfo::exists(sim) || !QFileInfo::exists(cli)) {
        std::fprintf(stderr, "build tallyhost-sim and tallyhost-cli first (%s)\n",
                     qPrintable(tools));
        return 2;
    }
    QTemporaryDir dir;
    // The main window's settings and data go to a HOME of the benchmark's own.
    qputenv("HOME", dir.filePath("home").toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
    const QString scenario = dir.filePath("bench-sim.ini");
    const QString thf = dir.filePath("bench.thf");
    if (!WriteFile(scenario, Scenario) || !WriteFile(thf, TerminalFile))
        return 2;

    QProcess simulator;
    simulator.start(sim, {"--scenario", scenario, "--link", dir.path()});
    if (!simulator.waitForStarted(5000))
        return 2;
    const QString hostLink = dir.filePath("host");
    for (int i = 0; i < 500 && !QFileInfo::exists(dir.filePath("fiscal")); ++i)
        QThread::msleep(10);

    // 1. The command-line tool.
    QElapsedTimer timer;
    QProcess tool;
    timer.start();
    tool.start(cli, {"send", "--file", thf, "--group", "G", "--command", "Fast", "--device",
                     hostLink, "--repeat", QString::number(RepeatCount)});
    tool.waitForFinished(120000);
    const double cliSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (tool.exitCode() != 0) {
        std::fprintf(stderr, "tallyhost-cli failed: %s\n", tool.readAllStandardError().constData());
        return 2;
    }
    const double cliRate = RepeatCount / cliSeconds;

    // 2. The window, with the main window's links on the simulator and the log window open.
    qputenv("TALLYHOST_COM1", hostLink.toLocal8Bit());
    TRecordedDialogs dialogs;
    dialogs.OnDialog = [](QDialog& d) {
        if (auto* input = qobject_cast<QInputDialog*>(&d)) {
            input->setTextValue(QString::number(RepeatCount));
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    };
    auto* main = new TFormMain(QStringList{"tallyhost"});
    main->show();
    if (main->VardoFPHostControl1->State() == tallyhost::EFP_S_Close) {
        main->VardoFPHostControl1->SetDevicePath(hostLink.toStdString());
        main->VardoFPHostControl1->OpenPort();
    }
    main->Settings.HostPortOpen = true;
    main->Settings.File = thf;
    main->OpenTerminalFile();
    TFormChildTerminalWindow* window = FormChildTerminalWindow;
    Select(window, "Fast");
    auto repeatSeconds = [&]() -> double {
        main->SetPanelText(1, QString());
        QElapsedTimer t;
        t.start();
        window->ButtonRepeatClick();
        if (!WaitFor([&] { return main->PanelText(1) == "Ready"; }, 120000))
            return -1.0;
        return static_cast<double>(t.nsecsElapsed()) / 1e9;
    };
    // For reference, with the log window minimized (its view is not drawn), then open.
    const double guiMinimizedSeconds = repeatSeconds();
    FormChildLogWindow->showNormal();
    const double guiSeconds = repeatSeconds();
    const bool guiDone = guiSeconds > 0 && guiMinimizedSeconds > 0;

    // 3. Waiting for a slow printer: the process should sleep.
    Select(window, "Slow");
    WaitFor([] { return false; }, 200, 50);
    const double cpuBefore = CpuSeconds();
    timer.restart();
    window->ButtonSendClick();
    WaitFor([&] { return main->PanelText(1) != "Sending ..."; }, 15000, 100);
    const double waitSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double cpuShare = (CpuSeconds() - cpuBefore) / waitSeconds;
    const QString endState = main->PanelText(1);

    delete main;
    simulator.terminate();
    simulator.waitForFinished(5000);

    std::printf("tallyhost-cli send --repeat %d: %.3f s, %.0f commands/s (target >= 1000)\n",
                RepeatCount, cliSeconds, cliRate);
    std::printf("window Repeat %d, log window minimized: %.3f s, %.2fx the tool's time\n",
                RepeatCount, guiMinimizedSeconds, guiMinimizedSeconds / cliSeconds);
    std::printf("window Repeat %d with the log window open: %.3f s%s, %.2fx the tool's time "
                "(target <= 3x)\n",
                RepeatCount, guiSeconds, guiDone ? "" : " (did not finish)",
                guiSeconds / cliSeconds);
    std::printf(
        "waiting %.1f s for a slow printer (ended \"%s\"): %.3f%% of a core (target < 2%%)\n",
        waitSeconds, qPrintable(endState), cpuShare * 100.0);

    const bool ok = cliRate >= 1000.0 && guiDone && guiSeconds <= 3.0 * cliSeconds &&
                    cpuShare < 0.02 && endState == "Ready";
    return ok ? 0 : 1;
}
