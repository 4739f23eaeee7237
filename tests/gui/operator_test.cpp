// Scripts and ports by gestures: quitting mid-run, the Run script window's port checks, Stop and
// close, Send's port tip, Record's indicator, scripts opened with their catalogue.

#include "app/formrunscript.h"
#include "app_fixture.h"
#include "gestures.h"
#include "sending_fixture.h"

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>

using namespace sendingtest;

namespace {

class OperatorTest : public SendingTest
{
protected:
    QString Script(const QString& name, const QByteArray& text, bool catalogue = true)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write((catalogue ? "catalogue sending.thf\n" : "") + text);
        return file.fileName();
    }
    // Does `then` from the event loop once `when` holds, as an operator who watches.
    static void Once(std::function<bool()> when, std::function<void()> then)
    {
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [=] {
            if (!when())
                return;
            poll->stop();
            poll->deleteLater();
            then();
        });
        poll->start(1);
    }
    static QStringList Results(TFormRunScript* run)
    {
        QStringList texts;
        for (int row = 0; row < run->GridCases()->rowCount(); ++row)
            texts << (run->GridCases()->item(row, 1) ? run->GridCases()->item(row, 1)->text() : "");
        return texts;
    }
    const QByteArray m_long = "case A\n send G Sale\ncase B\n send G Sale\n wait 600000\n"
                              "case C\n send G Sale\n";
};

TEST_F(OperatorTest, QuittingDuringARunOrARepeatEndsTheEventLoopAndFreesThePorts)
{
    StartSimulator(QuickScenario());
    // A script run quit by the close box or File, Exit; a Repeat out in the terminal window.
    for (const auto& round : std::vector<std::pair<bool, bool>>{{1, 0}, {1, 1}, {0, 0}}) {
        const bool script = round.first, exit = round.second;
        SCOPED_TRACE(std::to_string(script) + std::to_string(exit));
        delete m_main; // the ports of the last round open again: they were free
        OpenFile(DemoFile(1), true);
        m_main->ActionRunScript->trigger();
        TFormRunScript* run = script ? m_main->FormRunScript : nullptr;
        m_main->FormRunScript->SetScript(Script("long.ths", m_long));
        Select("G", "Count");
        AnswerRepeatCount("999");
        QTimer::singleShot(0, [&] {
            QTest::mouseClick(run ? run->ButtonRun() : m_window->ButtonRepeat, Qt::LeftButton);
        });
        Once([&] { return run ? Results(run).value(1) == "Running" : m_framesWritten > 0; },
             [&] { exit ? m_main->ActionExit->trigger() : void(m_main->close()); });
        QTimer watchdog;
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(30000);
        EXPECT_EQ(QApplication::exec(), 0) << "the event loop did not end";
        EXPECT_EQ(m_dialogs.Texts(),
                  run ? QStringList{"A script is running. Stop it and quit?"} : QStringList{});
        if (run) { // the case going on and the next were stopped
            EXPECT_EQ(Results(run), (QStringList{"Passed", "Stopped", "Stopped"}));
        }
        for (const std::string& port : {m_sim->HostPath(), m_sim->FiscalPath()})
            EXPECT_EQ(QProcess::execute("flock", {"-n", "-x", port.c_str(), "true"}), 0) << port;
    }
}

TEST_F(OperatorTest, ScriptsOpenWithTheirCatalogueCheckThePortsStopAndSendAndRecordTellWhy)
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
    EXPECT_EQ(m_window->FileName(), m_path);
    EXPECT_EQ(run->EditScript()->text(), script);
    EXPECT_LE((run->geometry().center() - m_main->geometry().center()).manhattanLength(), 20);
    QApplication::setActiveWindow(run);
    AltKey(run, Qt::Key_R);
    EXPECT_EQ(Results(run), QStringList{"Passed"});

    // The fiscal port off: Send says so; a script for it offers to turn it on (No: not run).
    Select("F", "Join");
    EXPECT_FALSE(m_window->ButtonSend->isEnabled());
    EXPECT_EQ(m_window->ButtonSend->toolTip(), "The fiscal port is off");
    EXPECT_TRUE(m_window->ButtonSend->statusTip().contains("(Enable Fiscal port)"));
    run->SetScript(Script("fiscal.ths", "case F\n  send F Join\n"));
    m_dialogs.Answers = {QMessageBox::No};
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), QStringList{"Not run"});
    EXPECT_EQ(run->LabelSummary()->text(), "Not run: the fiscal port is off.");
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), QStringList{"Passed"});
    EXPECT_TRUE(m_window->ButtonSend->isEnabled());
    EXPECT_EQ(m_window->ButtonSend->toolTip(), "Send selected command");

    // A closed host port refuses the run before anything is sent.
    run->SetScript(Script("long.ths", m_long));
    m_main->VardoFPHostControl1->ClosePort();
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), (QStringList{"Not run", "Not run", "Not run"}));
    EXPECT_TRUE(run->LabelSummary()->text().startsWith("Not run: the host port is not open"));
    ASSERT_TRUE(m_main->VardoFPHostControl1->OpenPort());

    // Stop cuts the waiting case off: it and the next are stopped, the bar stays short.
    Once([&] { return Results(run).value(1) == "Running"; },
         [&] { QTest::mouseClick(run->ButtonStop(), Qt::LeftButton); });
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), (QStringList{"Passed", "Stopped", "Stopped"}));
    EXPECT_EQ(run->LabelSummary()->text(), "Stopped after 1 of 3 cases: 1 passed, 0 failed");
    EXPECT_LT(run->ProgressBar()->value(), run->ProgressBar()->maximum());

    // Closed during a run it asks, stops and closes; File, Open on a script shows it again,
    // and its next run does not close it.
    Once([&] { return Results(run).value(1) == "Running"; }, [&] { run->close(); });
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_FALSE(run->isVisible());
    EXPECT_EQ(m_dialogs.Texts().last(), "A script is running. Stop it and close the window?");
    m_dialogs.OpenAnswers = {script};
    m_main->ActionOpen->trigger();
    EXPECT_EQ(FormChildTerminalWindow, m_window) << "its catalogue is open already";
    QTest::mouseClick(run->ButtonRun(), Qt::LeftButton);
    EXPECT_EQ(Results(run), QStringList{"Passed"});
    EXPECT_EQ(run->ProgressBar()->value(), run->ProgressBar()->maximum());
    EXPECT_TRUE(run->isVisible());

    // Record on another tab: a script of another catalogue is refused when chosen.
    m_window->PageControl->setCurrentWidget(m_window->TabSheetFiscalAnswer);
    QApplication::setActiveWindow(m_main);
    const QString other = Script("other.ths", "catalogue other.thf\n", false);
    m_dialogs.Boxes.clear();
    m_dialogs.SaveAnswers = {other, m_dir.filePath("bench.ths")};
    AltKey(m_window, Qt::Key_D);
    EXPECT_FALSE(m_window->ButtonRecord->isChecked());
    EXPECT_EQ(m_dialogs.Texts(),
              QStringList{"cannot record into " + other + ": it is for the catalogue other.thf"});
    AltKey(m_window, Qt::Key_D);
    EXPECT_TRUE(m_window->ButtonRecord->isVisible());
    EXPECT_EQ(m_window->ButtonRecord->text().remove('&'), "Recording to bench.ths");
}

TEST_F(AppShellTest, TheFiscalPortOfTheRunAndTheRunScriptWindowsPlaceAreKept)
{
    qputenv("TALLYHOST_FISCAL_PORT", "on");
    TFormMain& w = Start();
    qunsetenv("TALLYHOST_FISCAL_PORT");
    EXPECT_NE(w.FPAuxControl1->State(), tallyhost::FEFP_S_Close);
    w.ActionRunScript->trigger();
    w.FormRunScript->setGeometry(40, 50, 600, 500);
    w.FormRunScript->SetScript("/tmp/x.ths");
    Exit();
    EXPECT_FALSE(Store()->value("DGIEnabled").toBool()) << "the stored choice stays as it was";
    TFormMain& again = Start();
    again.ActionRunScript->trigger();
    EXPECT_EQ(again.FormRunScript->geometry(), QRect(40, 50, 600, 500));
    EXPECT_EQ(again.FormRunScript->EditScript()->text(), "/tmp/x.ths");
}

} // namespace
