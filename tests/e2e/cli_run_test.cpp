// tallyhost-cli run and check with test scripts: examples/demo.ths against tallyhost-sim with
// the demo scenario as shipped, and with a printer that answers one status word otherwise.

#include "cliprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include <signal.h>

namespace {

using namespace e2e;

// A whole script against the simulator, or a check of one.
constexpr int RunWait = 60000;

const QString DemoScript = QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo.ths");

// The simulator on a scenario; its ports are known once it has printed both lines.
class Printer
{
public:
    explicit Printer(const QString& scenario)
    {
        m_process.start(Sim, {QStringLiteral("--scenario"), scenario});
        while (m_host.isEmpty() || m_fiscal.isEmpty()) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(10000))
                return;
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("host ")))
                m_host = line.mid(5);
            else if (line.startsWith(QLatin1String("fiscal ")))
                m_fiscal = line.mid(7);
        }
    }
    ~Printer()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    bool Ok() const { return !m_host.isEmpty() && !m_fiscal.isEmpty(); }
    QStringList Ports() const
    {
        return {QStringLiteral("--device"), m_host, QStringLiteral("--fiscal-device"), m_fiscal};
    }

private:
    QProcess m_process;
    QString m_host;
    QString m_fiscal;
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(CliRunTest, DemoScriptPassesOnTheDemoScenarioAndFailsOnAnotherStatusWord)
{
    QTemporaryDir dir;
    const QString junit = dir.filePath(QStringLiteral("report.xml"));
    {
        Printer demo(DemoScenario);
        ASSERT_TRUE(demo.Ok());
        const CliRun run = RunCli(QStringList{QStringLiteral("run"), DemoScript} + demo.Ports() +
                                      QStringList{QStringLiteral("--junit"), junit},
                                  RunWait);
        EXPECT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
        EXPECT_TRUE(run.Out.endsWith(QLatin1String("6 passed, 0 failed, 0 skipped\n")))
            << run.Out.toStdString();
        const QByteArray report = ReadAll(junit);
        EXPECT_EQ(report.count("<testcase "), 6);
        EXPECT_EQ(report.count("<failure"), 0);

        // --json gives every send step its response time; the fiscal printer's 30 ms of work
        // are all of it (its time runs from the frame taken by the port, before the printer
        // could start).
        const CliRun json = RunCli(
            QStringList{QStringLiteral("run"), DemoScript, QStringLiteral("--json")} + demo.Ports(),
            RunWait);
        int steps = 0;
        const QJsonArray cases =
            QJsonDocument::fromJson(json.Out.toUtf8())
                .object()[QStringLiteral("scripts")][0][QStringLiteral("cases")]
                .toArray();
        for (const QJsonValue c : cases) {
            for (const QJsonValue step : c[QStringLiteral("steps")].toArray()) {
                ++steps;
                const QJsonValue ms = step[QStringLiteral("responseMs")];
                ASSERT_TRUE(ms.isDouble()) << json.Out.toStdString();
                if (c[QStringLiteral("name")] == QLatin1String("Fiscal port"))
                    EXPECT_GE(ms.toInt(), 30);
            }
        }
        EXPECT_EQ(steps, 10) << json.Out.toStdString();
    }

    // The same printer, but its status request answers the printer status 0048.
    QByteArray scenario = ReadAll(DemoScenario);
    const QByteArray rule = "Match=*\r\nPrinterStatus=0040";
    ASSERT_TRUE(scenario.contains(rule) || scenario.contains("Match=*\nPrinterStatus=0040"));
    scenario.replace("Match=*\r\nPrinterStatus=0040", "Match=*\r\nPrinterStatus=0048")
        .replace("Match=*\nPrinterStatus=0040", "Match=*\nPrinterStatus=0048");
    const QString changed = dir.filePath(QStringLiteral("changed.ini"));
    QFile out(changed);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(scenario);
    out.close();
    Printer other(changed);
    ASSERT_TRUE(other.Ok());
    const CliRun run = RunCli(QStringList{QStringLiteral("run"), DemoScript} + other.Ports() +
                                  QStringList{QStringLiteral("--junit"), junit},
                              RunWait);
    EXPECT_EQ(run.Exit, 1);
    EXPECT_TRUE(run.Out.contains(QLatin1String("FAIL Printer is ready (")));
    EXPECT_TRUE(run.Out.contains(QLatin1String(": printer status expected 0040, got 0048")));
    EXPECT_TRUE(run.Out.endsWith(QLatin1String("5 passed, 1 failed, 0 skipped\n")));
    EXPECT_EQ(ReadAll(junit).count("<failure message=\"printer status expected 0040, got 0048"), 1);
}

TEST(CliRunTest, RefusedScriptsSendNothingAndCheckNamesTheirLines)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("bad.ths"));
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("catalogue " TALLYHOST_EXAMPLES_DIR "/demo.thf\n"
               "case A\n"
               "send Sales \"Sell item\" Quantity=1.2.3 \"Unit price\"=1\n");
    file.close();
    const QString where = script + QStringLiteral(":3: ");
    const QString why = QStringLiteral("field 'Quantity': '1.2.3' is not a valid Currency value");

    // Refused before any port is opened: a missing device does not come into it.
    const CliRun run =
        RunCli({QStringLiteral("run"), DemoScript, script, QStringLiteral("--device"),
                dir.filePath(QStringLiteral("none")), QStringLiteral("--json")},
               RunWait);
    EXPECT_EQ(run.Exit, 2);
    EXPECT_EQ(run.Err, where + why + "\n");
    EXPECT_TRUE(run.Out.contains(QLatin1String("\"refused\": 1")));

    const struct
    {
        QString Script;
        int Exit;
        QString Out;
    } rows[] = {
        {DemoScript, 0, QString()},
        {script, 1, script + ":3: error: " + why + "\n1 finding\n"},
    };
    for (const auto& row : rows) {
        const CliRun check = RunCli({QStringLiteral("check"), row.Script}, RunWait);
        EXPECT_EQ(check.Exit, row.Exit) << row.Script.toStdString();
        EXPECT_EQ(check.Out, row.Out);
    }
}

// Every way out of a run replaces the report: a port that does not open (2, nothing sent), an
// interrupted run (130, the cases that ran kept).
TEST(CliRunTest, EveryExitWritesTheReportWithItsCause)
{
    QTemporaryDir dir;
    const QString junit = dir.filePath(QStringLiteral("report.xml"));
    const auto stale = [&] {
        QFile file(junit);
        return file.open(QIODevice::WriteOnly) && file.write("stale") == 5;
    };
    ASSERT_TRUE(stale());
    const CliRun closed =
        RunCli({QStringLiteral("run"), DemoScript, QStringLiteral("--device"),
                dir.filePath(QStringLiteral("none")), QStringLiteral("--junit"), junit},
               RunWait);
    EXPECT_EQ(closed.Exit, 2);
    EXPECT_TRUE(closed.Err.contains(QLatin1String("cannot open the host port")));
    QByteArray report = ReadAll(junit);
    EXPECT_EQ(report.count("<error message=\"cannot open the host port"), 1) << report.data();
    EXPECT_EQ(report.count("<skipped message=\"not run: cannot open the host port"), 6);

    // A case that takes seconds, interrupted once the one before it has passed.
    const QString slow = dir.filePath(QStringLiteral("slow.ths"));
    QFile slowFile(slow);
    ASSERT_TRUE(slowFile.open(QIODevice::WriteOnly));
    slowFile.write("catalogue " TALLYHOST_EXAMPLES_DIR "/demo.thf\ncase First\n"
                   "send Status \"Status request\"\ncase Slow\nsend Reports \"Daily close\"\n");
    slowFile.close();
    Printer printer(DemoScenario);
    ASSERT_TRUE(printer.Ok());
    ASSERT_TRUE(stale());
    QProcess run;
    run.start(Cli, QStringList{QStringLiteral("run"), slow, QStringLiteral("--junit"), junit} +
                       printer.Ports());
    QByteArray out;
    while (!out.contains("PASS First") && run.waitForReadyRead(RunWait))
        out += run.readAllStandardOutput();
    ASSERT_TRUE(out.contains("PASS First")) << out.data();
    ::kill(static_cast<pid_t>(run.processId()), SIGINT);
    ASSERT_TRUE(run.waitForFinished(RunWait));
    EXPECT_EQ(run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1, 130);
    report = ReadAll(junit);
    EXPECT_EQ(report.count("<error message=\"interrupted by SIGINT\""), 1) << report.data();
    EXPECT_EQ(report.count("<skipped message=\"interrupted by SIGINT\""), 1);
    EXPECT_EQ(report.count("<testcase "), 3); // First (passed), Slow (skipped), the run's error

    // A character a frame cannot carry is refused before anything is opened.
    const CliRun euro =
        RunCli({QStringLiteral("send"), QStringLiteral("--file"),
                QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo.thf"), QStringLiteral("--group"),
                QStringLiteral("Setup"), QStringLiteral("--command"),
                QStringLiteral("Set header line"), QStringLiteral("Text=5 \u20AC")});
    EXPECT_EQ(euro.Exit, 2);
    EXPECT_TRUE(euro.Err.contains(QLatin1String("field 'Text': the character U+20AC cannot go "
                                                "into a frame")))
        << euro.Err.toStdString();
}

} // namespace
