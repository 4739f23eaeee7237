// The summary that ends a repeat run, in the status bar and the log view, for a run that the
// printer stops by refusing one command.

#include "gui/logview.h"
#include "sending_fixture.h"

#include "app/logwindow.h"

#include <QPushButton>
#include <QRegularExpression>

using namespace sendingtest;

namespace {

// One command whose only field autoincrements, so each run's frame differs and the printer
// can refuse exactly the third one.
QByteArray TickFile()
{
    return "[General]\r\nProtocol=1\r\n[Groups]\r\nG=\r\n[G]\r\nTick=\r\n"
           "[GTick]\r\nCommands=0,\"&Tick\",\"\",0,\"K\",0,20,0,0,0,0,1\r\n"
           "Answers=\"Echo\",0,0\r\n";
}

} // namespace

TEST_F(SendingTest, ARepeatRunEndsWithItsSummaryInTheStatusBarAndTheLogView)
{
    Scenario s = QuickScenario();
    s.HostDefault.Delay = Millis(40);
    s.HostDefault.Fields = {"$1"};
    tallyhost::sim::HostRule third = HostRule("K003", 0, 0, 0, {});
    third.Faults = tallyhost::sim::FaultNak;
    s.HostRules.push_back(third);
    StartSimulator(s);
    OpenFile(TickFile());
    Select("G", "Tick");

    AnswerRepeatCount("5");
    QTest::mouseClick(m_window->ButtonRepeat, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status().contains("Repeat"); }, 8000))
        << Status().toStdString();

    // Runs 1 and 2 answered; run 3 was refused and ended the run. The times are the link's;
    // on a busy machine only their order is certain.
    const QRegularExpression summary(QStringLiteral(
        R"(^Repeat 5: 3 sent, 2 answered, 1 errors; response min/median/max (\d+)/(\d+)/(\d+) ms$)"));
    ASSERT_TRUE(Status().startsWith("Error - ")) << Status().toStdString();
    const QRegularExpressionMatch m = summary.match(Status().mid(8));
    ASSERT_TRUE(m.hasMatch()) << Status().toStdString();
    EXPECT_GT(m.captured(3).toInt(), 0);
    EXPECT_LE(m.captured(1).toInt(), m.captured(2).toInt());
    EXPECT_LE(m.captured(2).toInt(), m.captured(3).toInt());
    EXPECT_EQ(m_framesWritten, 3);
    // The refusal is told once, as for a single Send.
    QTest::qWait(100); // the link's own error notification comes after the run has stopped
    EXPECT_EQ(m_dialogs.Texts(), QStringList{QStringLiteral("Error!!! Bad data in frame.")})
        << m_dialogs.Texts().join('|').toStdString();

    // The log view has the same sentence as a line of its own; the log file keeps to the wire.
    ASSERT_TRUE(FormChildLogWindow);
    const QString line = Status().mid(8);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return FormChildLogWindow->RichEditLog()->Lines().join(u'\n').contains(line); },
        2000));
    EXPECT_EQ(
        FormChildLogWindow->RichEditLog()->Lines().join(u'\n').count(QStringLiteral("Repeat 5:")),
        1);
    FormChildLogWindow->FlushPendingLines();
    QFile log(FormChildLogWindow->LogFileName());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray file = log.readAll();
    EXPECT_TRUE(file.contains("HOST --> ")); // the frames are there ...
    EXPECT_FALSE(file.contains("Repeat"));   // ... and nothing else
}
