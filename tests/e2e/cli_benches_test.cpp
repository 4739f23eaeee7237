// tallyhost-cli run on several benches at once, against one tallyhost-sim serving three
// printers: 1 and 3 as the demo scenario ships, 2 a firmware whose test page answers another
// printer status and whose information another firmware version (which the demo script's
// expectation still takes).

#include "cliprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace e2e;

constexpr int RunWait = 60000;
const QString DemoScript = QStringLiteral(TALLYHOST_EXAMPLES_DIR "/demo.ths");

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The demo scenario with one rule's key changed (the file's own line ends kept).
QByteArray Changed(QByteArray scenario, const QByteArray& from, const QByteArray& to)
{
    EXPECT_EQ(scenario.count(from), 1) << from.toStdString();
    return scenario.replace(from, to);
}

class Benches : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QByteArray other =
            Changed(ReadAll(DemoScenario), "PrinterStatus=8009", "PrinterStatus=8409");
        other = Changed(other, "Field2=1.4.2", "Field2=1.4.9");
        ASSERT_TRUE(WriteAll(m_dir.filePath(QStringLiteral("other.ini")), other));
        m_sim.start(Sim,
                    {QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--scenario"),
                     DemoScenario, QStringLiteral("--scenario-for"), QStringLiteral("2"),
                     m_dir.filePath(QStringLiteral("other.ini")), QStringLiteral("--link"),
                     m_dir.filePath(QStringLiteral("sim"))});
        // Six lines, "K host PATH" and "K fiscal PATH", once every port and link is there.
        int lines = 0;
        while (lines < 6 && (m_sim.canReadLine() || m_sim.waitForReadyRead(10000))) {
            const QString line = QString::fromUtf8(m_sim.readLine());
            EXPECT_TRUE(line.contains(QRegularExpression(QStringLiteral("^[123] (host|fiscal) /"))))
                << line.toStdString();
            ++lines;
        }
        ASSERT_EQ(lines, 6);
    }
    void TearDown() override
    {
        m_sim.terminate();
        m_sim.waitForFinished(5000);
        // Each printer's links and folder go with the simulator.
        EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("sim/1"))));
        EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("sim/3/host"))));
    }
    // "NAME=DIR/K/host,DIR/K/fiscal"
    QString Bench(const QString& name, int printer) const
    {
        const QString dir = m_dir.filePath(QStringLiteral("sim/%1/").arg(printer));
        return name + '=' + dir + QStringLiteral("host,") + dir + QStringLiteral("fiscal");
    }
    QString File(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_dir;
    QProcess m_sim;
};

TEST_F(Benches, EachBenchItsSuiteTheDifferencesListedAndAMissingDeviceTheBenchsError)
{
    const CliRun run =
        RunCli({QStringLiteral("run"), DemoScript, QStringLiteral("--bench"),
                Bench(QStringLiteral("A"), 1), QStringLiteral("--bench"),
                Bench(QStringLiteral("B"), 2), QStringLiteral("--bench"),
                QStringLiteral("C=") + File("missing"), QStringLiteral("--compare"),
                QStringLiteral("--junit"), File("r.xml"), QStringLiteral("--html"), File("r.html")},
               RunWait);
    EXPECT_EQ(run.Exit, 1) << run.Out.toStdString() << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("[B] FAIL Refusals carry return codes (")));
    EXPECT_TRUE(run.Out.contains(QStringLiteral("[A] 6 passed, 0 failed, 0 skipped")));
    EXPECT_TRUE(run.Out.contains(QStringLiteral("[B] 5 passed, 1 failed, 0 skipped")));
    EXPECT_TRUE(run.Out.contains(QStringLiteral("[C] could not run: cannot open the host port ")));
    EXPECT_TRUE(run.Out.contains(
        QStringLiteral("2 differences between benches\n"
                       "  case 'Printer is ready', line 19, field Firmware: A=1.4.2  B=1.4.9  "
                       "C=(not run)\n"
                       "  case 'Refusals carry return codes', line 67, printer status: A=8009  "
                       "B=8409  C=(not run)\n")))
        << run.Out.toStdString();
    EXPECT_TRUE(run.Out.endsWith(QStringLiteral("11 passed, 1 failed, 0 skipped\n")));

    // JUnit: a suite per bench and script, the cases' class "BENCH.SCRIPT".
    QXmlStreamReader junit(ReadAll(File("r.xml")));
    std::map<QString, int> cases;        // by classname
    std::map<QString, QString> failures; // "classname/name" -> message
    QString testcase;
    QStringList suites;
    while (!junit.atEnd()) {
        if (junit.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = junit.attributes();
        if (junit.name() == QLatin1String("testsuite"))
            suites << a.value(QStringLiteral("name")).toString();
        if (junit.name() == QLatin1String("testcase")) {
            testcase = a.value(QStringLiteral("classname")).toString() + '/' +
                       a.value(QStringLiteral("name")).toString();
            ++cases[a.value(QStringLiteral("classname")).toString()];
        }
        if (junit.name() == QLatin1String("failure") || junit.name() == QLatin1String("error"))
            failures[testcase] = a.value(QStringLiteral("message")).toString();
    }
    ASSERT_FALSE(junit.hasError()) << junit.errorString().toStdString();
    // A report names the script by its path from the working folder (the CLI's is not above
    // the examples), never by the absolute path the run was given.
    const QString Name = QStringLiteral("demo.ths");
    EXPECT_EQ(suites, QStringList({"A/" + Name, "B/" + Name, "C/" + Name}));
    EXPECT_EQ(cases,
              (std::map<QString, int>{{"A." + Name, 6}, {"B." + Name, 6}, {"C." + Name, 1}}));
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures["B." + Name + "/Refusals carry return codes"],
              QStringLiteral("printer status expected 8009, got 8409 (line 68)"));
    EXPECT_TRUE(failures["C." + Name + "/bench unavailable"].startsWith(
        QStringLiteral("cannot open the host port ")));

    // The page reads back as XML with the same content: B's failed cell, both differences,
    // a chart for each bench that ran.
    QXmlStreamReader page(ReadAll(File("r.html")));
    QStringList failedCells;
    QStringList differing;
    int charts = 0;
    while (!page.atEnd()) {
        if (page.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString cls = page.attributes().value(QStringLiteral("class")).toString();
        if (page.name() == QLatin1String("svg"))
            ++charts;
        else if (page.name() == QLatin1String("td") && cls == QLatin1String("failed"))
            failedCells << page.readElementText(QXmlStreamReader::IncludeChildElements);
        else if (page.name() == QLatin1String("td") && cls == QLatin1String("value differs"))
            differing << page.readElementText();
    }
    ASSERT_FALSE(page.hasError()) << page.errorString().toStdString();
    EXPECT_EQ(charts, 2);
    ASSERT_EQ(failedCells.size(), 1);
    EXPECT_TRUE(failedCells[0].contains(QStringLiteral("expected 8009")));
    EXPECT_TRUE(failedCells[0].contains(QStringLiteral("got 8409")));
    EXPECT_EQ(differing, QStringList({QStringLiteral("1.4.9"), QStringLiteral("8409")}));
}

TEST_F(Benches, ABenchesFileAndJsonAndTwoAlikeBenchesPass)
{
    ASSERT_TRUE(WriteAll(File("benches.ini"),
                         ("[A]\r\nHost=" + File("sim/1/host") +
                          "\r\nFiscal=" + File("sim/1/fiscal") + "\r\nBaud=9600\r\n[B]\r\nHost=" +
                          File("sim/3/host") + "\r\nFiscal=" + File("sim/3/fiscal") + "\r\n")
                             .toUtf8()));
    const CliRun same =
        RunCli({QStringLiteral("run"), DemoScript, QStringLiteral("--benches"), File("benches.ini"),
                QStringLiteral("--compare"), QStringLiteral("--json")},
               RunWait);
    EXPECT_EQ(same.Exit, 0) << same.Out.toStdString() << same.Err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(same.Out.toUtf8()).object();
    EXPECT_TRUE(json[QStringLiteral("passed")].toBool());
    EXPECT_EQ(json[QStringLiteral("differences")].toArray().size(), 0);
    EXPECT_EQ(json[QStringLiteral("benches")].toArray().size(), 2);
    ASSERT_EQ(json[QStringLiteral("scripts")].toArray().size(), 2);
    EXPECT_EQ(json[QStringLiteral("scripts")].toArray()[1].toObject()[QStringLiteral("bench")],
              QStringLiteral("B"));

    // Every case passed where the benches ran, but one bench could not: not a pass.
    const CliRun missing =
        RunCli({QStringLiteral("run"), DemoScript, QStringLiteral("--bench"),
                Bench(QStringLiteral("A"), 1), QStringLiteral("--bench"),
                QStringLiteral("C=") + File("missing"), QStringLiteral("--json")},
               RunWait);
    EXPECT_EQ(missing.Exit, 1);
    const QJsonObject missingJson = QJsonDocument::fromJson(missing.Out.toUtf8()).object();
    EXPECT_FALSE(missingJson[QStringLiteral("passed")].toBool());
    ASSERT_EQ(missingJson[QStringLiteral("benches")].toArray().size(), 2);
    EXPECT_TRUE(missingJson[QStringLiteral("benches")]
                    .toArray()[1]
                    .toObject()[QStringLiteral("error")]
                    .toString()
                    .startsWith(QStringLiteral("cannot open the host port")));

    const CliRun other = RunCli({QStringLiteral("run"), DemoScript, QStringLiteral("--bench"),
                                 Bench(QStringLiteral("A"), 1), QStringLiteral("--bench"),
                                 Bench(QStringLiteral("B"), 2), QStringLiteral("--compare"),
                                 QStringLiteral("--json")},
                                RunWait);
    EXPECT_EQ(other.Exit, 1);
    const QJsonArray differences = QJsonDocument::fromJson(other.Out.toUtf8())
                                       .object()[QStringLiteral("differences")]
                                       .toArray();
    ASSERT_EQ(differences.size(), 2);
    const QJsonObject firmware = differences[0].toObject();
    EXPECT_EQ(firmware[QStringLiteral("value")], QStringLiteral("field Firmware"));
    EXPECT_EQ(firmware[QStringLiteral("values")].toObject(),
              QJsonObject({{"A", "1.4.2"}, {"B", "1.4.9"}}));
    EXPECT_TRUE(firmware[QStringLiteral("responseMs")].toObject()[QStringLiteral("B")].isDouble());
}

// Each refusal sends nothing, and replaces the JUnit file and the page an earlier run left.
TEST(CliBenchesTest, RefusalsSendNothing)
{
    QTemporaryDir dir;
    const QString junit = dir.filePath(QStringLiteral("r.xml"));
    const QString page = dir.filePath(QStringLiteral("r.html"));
    const struct
    {
        QStringList Args;
        const char* Error;
    } rows[] = {
        {{QStringLiteral("--bench"), QStringLiteral("A/1=/dev/null")}, "a name is letters"},
        {{QStringLiteral("--bench"), QStringLiteral("A=/dev/null@9601")}, "baud '9601'"},
        {{QStringLiteral("--bench"), QStringLiteral("A=x"), QStringLiteral("--bench"),
          QStringLiteral("A=y")},
         "bench 'A' is given twice"},
        {{QStringLiteral("--bench"), QStringLiteral("A=x"), QStringLiteral("--compare")},
         "--compare needs two benches"},
        {{QStringLiteral("--html"), page}, "--html needs benches"},
        {{QStringLiteral("--bench"), QStringLiteral("A=x"), QStringLiteral("--device"),
          QStringLiteral("y")},
         "are a bench's own"},
        {{QStringLiteral("--benches"), dir.filePath(QStringLiteral("none.ini"))}, "cannot read"},
        // A refused script: exit 2 rather than the missing bench's 1, since nothing is opened.
        {{QStringLiteral("--bench"), QStringLiteral("A=/nonexistent/tty"),
          dir.filePath(QStringLiteral("none.ths"))},
         "none.ths: cannot read"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(WriteAll(junit, "stale") && WriteAll(page, "stale"));
        QStringList args = QStringList{QStringLiteral("run"), DemoScript} + row.Args;
        args << QStringLiteral("--junit") << junit;
        if (!args.contains(QStringLiteral("--html")))
            args << QStringLiteral("--html") << page;
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.Exit, 2) << row.Error;
        EXPECT_TRUE(run.Err.contains(QLatin1String(row.Error))) << run.Err.toStdString();
        EXPECT_TRUE(run.Out.isEmpty()) << run.Out.toStdString();
        EXPECT_TRUE(ReadAll(junit).startsWith("<?xml")) << row.Error;
        EXPECT_TRUE(ReadAll(page).contains("Not run: ")) << row.Error;
        if (row.Error == std::string_view("none.ths: cannot read")) { // the refusal itself
            EXPECT_TRUE(ReadAll(page).contains("none.ths: cannot read")) << ReadAll(page).data();
            EXPECT_EQ(ReadAll(junit).count("<skipped message=\"not run: a script was refused\""), 6)
                << ReadAll(junit).data();
        }
    }
}

// Bench B's printer does not answer for a minute: bench A runs its whole script meanwhile,
// and a stop (SIGTERM) then ends B's run with its cases stopped and the reports written.
TEST(CliBenchesTest, ASlowBenchHoldsNoOtherAndAStoppedRunWritesItsReport)
{
    QTemporaryDir dir;
    const QString slow = dir.filePath(QStringLiteral("slow.ini"));
    ASSERT_TRUE(WriteAll(slow, "[Host]\nDelay=60000\n"));
    QProcess sim;
    sim.start(Sim, {QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--scenario"),
                    DemoScenario, QStringLiteral("--scenario-for"), QStringLiteral("2"), slow,
                    QStringLiteral("--link"), dir.filePath("p")});
    QByteArray lines;
    while (lines.count("fiscal /") < 2 && sim.waitForReadyRead(10000))
        lines += sim.readAll();
    QProcess cli;
    const QString junit = dir.filePath(QStringLiteral("r.xml"));
    cli.start(Cli, {QStringLiteral("run"), DemoScript, QStringLiteral("--bench"),
                    "A=" + dir.filePath("p/1/host") + ',' + dir.filePath("p/1/fiscal"),
                    QStringLiteral("--bench"),
                    "B=" + dir.filePath("p/2/host") + ',' + dir.filePath("p/2/fiscal"),
                    QStringLiteral("--junit"), junit});
    QByteArray out;
    while (!out.contains("[A] PASS Fiscal port") && cli.waitForReadyRead(30000))
        out += cli.readAllStandardOutput();
    ASSERT_TRUE(out.contains("[A] PASS Fiscal port")) << out.toStdString();
    EXPECT_FALSE(out.contains("[B]")) << out.toStdString();
    cli.terminate();
    ASSERT_TRUE(cli.waitForFinished(20000));
    out += cli.readAllStandardOutput();
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 128 + SIGTERM);
    // Named as a run on one printer names it.
    EXPECT_TRUE(out.contains("[B] STOP Printer is ready (")) << out.toStdString();
    EXPECT_TRUE(out.contains("s): interrupted by SIGTERM\n")) << out.toStdString();
    EXPECT_TRUE(out.endsWith("6 passed, 0 failed, 0 skipped, 6 stopped\n")) << out.toStdString();
    EXPECT_EQ(ReadAll(junit).count("<skipped message=\"interrupted by SIGTERM\""), 6);
    sim.terminate();
    sim.waitForFinished(5000);
}

TEST(CliBenchesTest, SimulatorRefusesAMistakenCount)
{
    const struct
    {
        QStringList Args;
        const char* Error;
    } rows[] = {
        {{QStringLiteral("--count"), QStringLiteral("0")}, "--count wants 1 to 64"},
        {{QStringLiteral("--count"), QStringLiteral("65")}, "--count wants 1 to 64"},
        {{QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--scenario-for"),
          QStringLiteral("3"), DemoScenario},
         "--scenario-for 3, but there are 2 printers"},
        {{QStringLiteral("--scenario-for"), QStringLiteral("x"), DemoScenario}, "printer number"},
        {{QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--host-device"),
          QStringLiteral("/dev/null")},
         "pseudo-terminals only"},
    };
    for (const auto& row : rows) {
        QProcess sim;
        sim.start(Sim, row.Args);
        ASSERT_TRUE(sim.waitForFinished(10000)) << row.Error;
        EXPECT_EQ(sim.exitCode(), 2) << row.Error;
        EXPECT_TRUE(sim.readAllStandardError().contains(row.Error)) << row.Error;
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty()) << row.Error;
    }
}

} // namespace
