// The operator's side of scripts and ports, by gestures: quitting during a run or a repeat ends
// the event loop and frees the ports; the Run script window checks the ports first, stops as
// asked and stays open; Send says why a port keeps it disabled; Record shows itself; a script
// opens with its catalogue.

#include "app/formrunscript.h"
#include "app_fixture.h"
#include "core/termcache.h"
#include "core/termfile.h"
#include "gestures.h"
#include "gui/qtcolor.h"
#include "sending_fixture.h"

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace sendingtest;

namespace {

class OperatorTest : public SendingTest
{
protected:
    QString Script(const QString& name, const QByteArray& cases)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("catalogue sending.thf\n" + cases);
        return path;
    }
    TFormRunScript* RunWindow(const QString& script)
    {
        m_main->ActionRunScript->trigger();
        m_main->FormRunScript->SetScript(script);
        return m_main->FormRunScript;
    }
    // Runs `then` from the event loop once `when` holds (as an operator waits to see it).
    static void Once(std::function<bool()> when, std::function<void()> then)
    {
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [=] {
            if (!when())
                return;
            poll->deleteLater();
            poll->stop();
            then();
        });
        poll->start(1);
    }
    static QStringList Results(TFormRunScript* run)
    {
        QStringList texts;
        for (int row = 0; row < run->GridCases()->rowCount(); ++row) {
            const QTableWidgetItem* item = run->GridCases()->item(row, 1);
            texts << (item ? item->text() : QString());
        }
        return texts;
    }
    const QByteArray m_long =
        "case A\n  send G Sale\ncase B\n  send G Sale\n  wait 600000\ncase C\n  send G Sale\n";
};

TEST_F(OperatorTest, QuittingDuringARunOrARepeatEndsTheEventLoopAndFreesThePorts)
{
    StartSimulator(QuickScenario());
    const struct
    {
        const char* Name;
        bool Script; // else a Repeat out in the terminal window
        bool Exit;   // File, Exit, else the close box
    } variants[] = {{"run, close box", true, false},
                    {"run, File Exit", true, true},
                    {"repeat, close box", false, false}};
    for (const auto& v : variants) {
        SCOPED_TRACE(v.Name);
        delete m_main; // the ports of the last round are opened again: they were free
        OpenFile(DemoFile(1), true);
        TFormRunScript* run = v.Script ? RunWindow(Script("long.ths", m_long)) : nullptr;
        Select("G", "Count");
        AnswerRepeatCount("999");
        QTimer::singleShot(0, [&] {
            QTest::mouseClick(v.Script ? run->ButtonRun() : m_window->ButtonRepeat, Qt::LeftButton);
        });
        Once([&] { return v.Script ? Results(run).value(1) == "Running" : m_framesWritten > 0; },
             [&] { v.Exit ? m_main->ActionExit->trigger() : void(m_main->close()); });
        QTimer::singleShot(60000, [] {
            ADD_FAILURE() << "the event loop did not end";
            QCoreApplication::exit(1);
        });
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_FALSE(m_main->isVisible());
        EXPECT_EQ(m_dialogs.Texts(),
                  v.Script ? QStringList{"A script is running. Stop it and quit?"} : QStringList{});
        if (run) {
            EXPECT_EQ(Results(run), (QStringList{"Passed", "Stopped", "Stopped"}));
        }
        for (const std::string& port : {m_sim->HostPath(), m_sim->FiscalPath()})
            EXPECT_EQ(
                QProcess::execute("flock", {"-n", "-x", QString::fromStdString(port), "true"}), 0)
                << port;
    }
}

TEST_F(OperatorTest, RunScriptChecksThePortsStopsAsAskedAndStaysOpen)
{
    StartSimulator(QuickScenario());
    OpenFile(DemoFile(1));
    TFormRunScript* run = RunWindow(Script("fiscal.ths", "case F\n  send F Join\n"));
    EXPECT_LE((run->geometry().center() - m_main->geometry().center()).manhattanLength(), 20);

    // The fiscal port is off: No leaves the run unrun, Yes turns the port on and runs.
    m_dialogs.Answers = {QMessageBox::No};
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), QStringList{"Not run"});
    EXPECT_EQ(run->LabelSummary()->text(), "Not run: the fiscal port is off.");
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), QStringList{"Passed"});
    EXPECT_FALSE(m_main->ToolButtonFiscal->isChecked());

    // A closed host port refuses the run before anything is sent.
    run->SetScript(Script("long.ths", m_long));
    m_main->VardoFPHostControl1->ClosePort();
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), (QStringList{"Not run", "Not run", "Not run"}));
    EXPECT_TRUE(run->LabelSummary()->text().startsWith("Not run: the host port is not open"));
    EXPECT_EQ(m_framesWritten, 0);
    ASSERT_TRUE(m_main->VardoFPHostControl1->OpenPort());

    // Stop cuts the waiting case off: it and the next are stopped, the bar stays short.
    Once([&] { return Results(run).value(1) == "Running"; },
         [&] { QTest::mouseClick(run->ButtonStop(), Qt::LeftButton); });
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), (QStringList{"Passed", "Stopped", "Stopped"}));
    EXPECT_EQ(run->LabelSummary()->text(), "Stopped after 1 of 3 cases: 1 passed, 0 failed");
    EXPECT_LT(run->ProgressBar()->value(), run->ProgressBar()->maximum());

    // Closed during a run it asks, stops and closes; the next run does not close it again.
    Once([&] { return Results(run).value(1) == "Running"; }, [&] { run->close(); });
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_FALSE(run->isVisible());
    EXPECT_EQ(m_dialogs.Texts().last(), "A script is running. Stop it and close the window?");
    RunWindow(Script("short.ths", "case A\n  send G Sale\n"));
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), QStringList{"Passed"});
    EXPECT_EQ(run->ProgressBar()->value(), run->ProgressBar()->maximum());
    EXPECT_TRUE(run->isVisible());
}

TEST_F(OperatorTest, ScriptsOpenWithTheirCatalogueSendTellsWhyAndRecordShowsItself)
{
    StartSimulator(QuickScenario());
    OpenFile(DemoFile(1));
    const QString script = Script("short.ths", "case A\n  send G Sale\n");
    delete m_main;
    m_main = new TFormMain({QStringLiteral("tallyhost"), script});
    m_main->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_main->FormRunScript != nullptr; }, 5000));
    TFormRunScript* run = m_main->FormRunScript;
    m_window = FormChildTerminalWindow;
    ASSERT_TRUE(m_window);
    EXPECT_EQ(m_window->FileName(), m_path);
    EXPECT_EQ(run->EditScript()->text(), script);
    QApplication::setActiveWindow(run);
    AltKey(run, Qt::Key_R);
    EXPECT_EQ(Results(run), QStringList{"Passed"});

    // The fiscal port off: Send says so, and comes back with the port.
    Select("F", "Join");
    EXPECT_FALSE(m_window->ButtonSend->isEnabled());
    EXPECT_EQ(m_window->ButtonSend->toolTip(), "The fiscal port is off");
    EXPECT_TRUE(m_window->ButtonSend->statusTip().contains("(Enable Fiscal port)"));
    QTest::mouseClick(m_main->ToolButtonFiscal, Qt::LeftButton);
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_EQ(m_window->ButtonSend->toolTip(), "Send selected command");

    // Record on another tab: a script of another catalogue is refused when chosen.
    m_window->PageControl->setCurrentWidget(m_window->TabSheetFiscalAnswer);
    QApplication::setActiveWindow(m_main);
    const QString other = m_dir.filePath("other.ths");
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("catalogue other.thf\n");
    file.close();
    m_dialogs.Boxes.clear();
    m_dialogs.SaveAnswers = {other, m_dir.filePath("bench.ths")};
    AltKey(m_window, Qt::Key_D);
    EXPECT_FALSE(m_window->ButtonRecord->isChecked());
    EXPECT_EQ(m_dialogs.Texts(),
              QStringList{"cannot record into " + other + ": it is for the catalogue other.thf"});
    AltKey(m_window, Qt::Key_D);
    EXPECT_TRUE(m_window->ButtonRecord->isVisible());
    EXPECT_EQ(m_window->ButtonRecord->text().remove('&'), "Recording to bench.ths");

    // File, Open on a script chooses it in the Run script window.
    run->close();
    m_dialogs.OpenAnswers = {script};
    m_main->ActionOpen->trigger();
    EXPECT_TRUE(run->isVisible());
    EXPECT_EQ(FormChildTerminalWindow, m_window) << "its catalogue is open already";
}

TEST_F(AppShellTest, TheFiscalPortOfTheRunAndTheRunScriptWindowsPlaceAreKept)
{
    qputenv("TALLYHOST_FISCAL_PORT", "on");
    TFormMain& w = Start();
    qunsetenv("TALLYHOST_FISCAL_PORT");
    EXPECT_NE(w.FPAuxControl1->State(), tallyhost::FEFP_S_Close);
    EXPECT_EQ(w.ToolButtonFiscal->toolTip(), "Disable Fiscal port");
    w.ActionRunScript->trigger();
    w.FormRunScript->setGeometry(40, 50, 600, 500);
    w.FormRunScript->SetScript("/tmp/x.ths");
    Exit();
    EXPECT_FALSE(Store()->value("DGIEnabled").toBool()) << "the stored choice stays as it was";
    TFormMain& again = Start();
    EXPECT_EQ(again.FPAuxControl1->State(), tallyhost::FEFP_S_Close);
    again.ActionRunScript->trigger();
    EXPECT_EQ(again.FormRunScript->geometry(), QRect(40, 50, 600, 500));
    EXPECT_EQ(again.FormRunScript->EditScript()->text(), "/tmp/x.ths");
}

// WCAG's relative luminance of a colour.
double Luminance(const QColor& c)
{
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

TEST(DemoCatalogue, EveryStatusTextCanBeSeenOnThePanelsBackground)
{
    tallyhost::TTerminalCache cache;
    ASSERT_TRUE(cache.LoadFromFile(TALLYHOST_EXAMPLES_DIR "/demo.thf"));
    const double back = Luminance(QApplication::palette().color(QPalette::Window));
    for (const std::string_view section :
         {tallyhost::SectionFiscalAnswer, tallyhost::SectionPrinterAnswer}) {
        tallyhost::TStatusTable table;
        tallyhost::LoadStatusRecords(cache, section, table);
        ASSERT_GT(table.RecordCount, 0);
        for (int i = 0; i < table.RecordCount; ++i) {
            const double text = Luminance(ToQColor(table.Records[i].Color));
            EXPECT_GE((std::max(back, text) + 0.05) / (std::min(back, text) + 0.05), 2.0)
                << table.Records[i].Text;
        }
    }
}

} // namespace
