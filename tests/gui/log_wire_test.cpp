// Everything the printer simulator's faults put on the wire reaches the log view as a line of
// its own kind; the log file gets those lines only with "Log every byte", and otherwise keeps
// exactly the lines it always had.

#include "app/logpanel.h"
#include "app/logreader.h"
#include "app/logwindow.h"
#include "app/settings.h"
#include "gui/logview.h"
#include "tests/gui/sending_fixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

#include <memory>

using namespace sendingtest;

namespace {

const QStringList kWirePrefixes{"BAD SUM> ", "STALE -> ", "NOISE -> ", "KEEP  -> ", "LATE  -> "};

bool IsWireLine(const QString& line)
{
    for (const QString& prefix : kWirePrefixes)
        if (line.startsWith(prefix))
            return true;
    return false;
}

int IndexOf(const QStringList& lines, const QString& start, int from = 0)
{
    for (int i = from; i < lines.size(); ++i)
        if (lines[i].startsWith(start))
            return i;
    return -1;
}

// The byte count of a wire line ("NOISE -> host, 1024 bytes: ...").
int ByteCount(const QString& line)
{
    static const QRegularExpression count(QStringLiteral(", (\\d+) bytes?: "));
    const auto match = count.match(line);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

class LogWireTest : public SendingTest
{
protected:
    // The log settings the next start reads.
    void StoreLogSettings(bool everyByte)
    {
        std::unique_ptr<QSettings> store(NewUserSettingsStore());
        store->setValue(QStringLiteral("LowLevel"), 1);
        store->setValue(QStringLiteral("LogEveryByte"), everyByte ? 1 : 0);
        store->setValue(QStringLiteral("LogResponseTime"), 1);
        store->sync();
    }

    // Sends the selected command with a click and waits until it is over.
    void SendAndWait()
    {
        QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->CommandInProgress; }, 8000));
    }

    // The view's lines without the response times the file never has.
    QStringList ViewLines() const
    {
        static const QRegularExpression response(QStringLiteral(" \\[\\d+ ms\\]$"));
        QStringList lines = FormChildLogWindow->ViewLines();
        for (QString& line : lines)
            line.remove(response);
        return lines;
    }

    // The file's lines after its header and time stamp.
    QStringList FileLines() const
    {
        QFile file(FormChildLogWindow->LogFileName());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
        return lines.mid(4);
    }

    // Runs the host faults (bad checksum, stale frame, noise with DC2 keep-alives) and a
    // fiscal answer that comes after Cancel; returns the view's lines.
    QStringList RunFaults(bool everyByte)
    {
        Scenario s = QuickScenario();
        auto bad = HostRule("S", 0x0600, 0, 0, {"sold"});
        bad.Faults = tallyhost::sim::FaultBadChecksum;
        s.HostRules.push_back(bad);
        auto stale = HostRule("C", 0x0600, 0, 0, {"$2"});
        stale.Faults = tallyhost::sim::FaultStale;
        s.HostRules.push_back(stale);
        auto noisy = HostRule("H", 0x0600, 0, 0, {}, 450);
        noisy.Faults = tallyhost::sim::FaultGarbage;
        noisy.KeepAliveEvery = Millis(100);
        s.HostRules.push_back(noisy);
        tallyhost::sim::FiscalRule slow;
        slow.Name = "Fiscal.AB";
        slow.Match = "AB";
        slow.Frames = {"0000"};
        slow.Delay = Millis(700);
        s.FiscalRules.push_back(slow);
        StartSimulator(s);
        StoreLogSettings(everyByte);
        OpenFile(DemoFile(1), true);
        if (::testing::Test::HasFatalFailure())
            return {};

        for (const QString& command : QStringList{"Sale", "Count", "Hex"}) {
            Select("G", command);
            SendAndWait();
        }
        // The fiscal answer comes 700 ms after the command; Cancel goes first, once the
        // command has gone out.
        Select("F", "Join");
        QSignalSpy written(m_main->FPAuxControl1, &tallyhost::TFPAuxControl::OnWrite);
        QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return written.count() > 0; }, 5000));
        QTest::mouseClick(m_window->ButtonCancel, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return IndexOf(FormChildLogWindow->ViewLines(), "LATE  -> ") >= 0; }, 3000));
        return ViewLines();
    }
};

} // namespace

TEST_F(LogWireTest, EachFaultLeavesItsOwnLineAndTheDefaultFileKeepsItsLines)
{
    const QStringList view = RunFaults(false);
    ASSERT_FALSE(view.isEmpty());

    // Bad checksum: the refused frame, the host's NAK, then the repeated frame is the answer.
    const int bad = IndexOf(view, "BAD SUM> host, ");
    ASSERT_GE(bad, 0);
    const int nak = IndexOf(view, "HOST --> 15 ", bad);
    ASSERT_GT(nak, bad);
    EXPECT_GT(IndexOf(view, "FP   --> 02 ", nak), nak);
    // Stale: a frame of the previous sequence byte, before the answer of this command.
    const int stale = IndexOf(view, "STALE -> host, ");
    ASSERT_GT(stale, nak);
    EXPECT_GT(IndexOf(view, "FP   --> 02 ", stale), stale);
    // Noise: the simulator's garbage bytes exactly, then DC2 keep-alives while it works.
    const int noise = IndexOf(view, "NOISE -> host, ");
    ASSERT_GT(noise, stale);
    EXPECT_EQ(view[noise], "NOISE -> host, 13 bytes: 00 FF 6E 6F 69 73 65 7F 1C 03 20 81 FE ");
    EXPECT_GE(view.count("KEEP  -> host, 1 byte: 12 "), 2);
    EXPECT_GT(IndexOf(view, "KEEP  -> host, 1 byte: 12 "), noise);
    // The fiscal answer that came after Cancel: STX "0000" ETX and its checksum.
    EXPECT_EQ(view[IndexOf(view, "LATE  -> ")], "LATE  -> fiscal, 7 bytes: 02 30 30 30 30 03 3B ");
    EXPECT_TRUE(m_dialogs.Boxes.empty());

    // Each of the three host answers shows its response time, in the view only; the answer
    // after DC2s took at least the simulator's 450 ms.
    static const QRegularExpression timed(QStringLiteral("^FP   --> 02 .* \\[(\\d+) ms\\]$"));
    std::vector<int> times;
    for (const QString& line : FormChildLogWindow->ViewLines()) {
        const auto match = timed.match(line);
        if (match.hasMatch())
            times.push_back(match.captured(1).toInt());
    }
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[2], 450);
    EXPECT_LT(times[2], 2500);

    // The file has exactly the lines of the view that it always had, nothing more.
    QStringList expected;
    for (const QString& line : view)
        if (!IsWireLine(line))
            expected << line;
    EXPECT_EQ(FileLines(), expected);
}

// A fiscal command answered by ACK alone: the ACK is its answer and carries its time.
TEST_F(LogWireTest, AFiscalAckAloneShowsItsResponseTime)
{
    Scenario s = QuickScenario();
    tallyhost::sim::FiscalRule ack;
    ack.Name = "Fiscal.AB";
    ack.Match = "AB";
    ack.Frames = {};
    ack.Delay = Millis(120);
    s.FiscalRules.push_back(ack);
    StartSimulator(s);
    StoreLogSettings(false);
    OpenFile(DemoFile(1), true);
    Select("F", "Join");
    SendAndWait();
    static const QRegularExpression timed(QStringLiteral("^FP   --> ACK \\[(\\d+) ms\\]$"));
    QStringList view;
    const auto line = [&] {
        return std::find_if(view.begin(), view.end(),
                            [](const QString& l) { return timed.match(l).hasMatch(); });
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            view = FormChildLogWindow->ViewLines();
            return line() != view.end();
        },
        5000))
        << view.join(u'\n').toStdString();
    EXPECT_GE(timed.match(*line()).captured(1).toInt(), 120);
}

TEST_F(LogWireTest, LogEveryBytePutsTheSameLinesInTheFile)
{
    const QStringList view = RunFaults(true);
    ASSERT_FALSE(view.isEmpty());
    for (const QString& prefix : kWirePrefixes)
        EXPECT_GE(IndexOf(view, prefix), 0) << prefix.toStdString();
    EXPECT_EQ(FileLines(), view);
}

TEST_F(LogWireTest, FloodIsSummarisedInLinesOfAtMostAKilobyte)
{
    Scenario s = QuickScenario();
    auto flood = HostRule("C", 0, 0, 0, {});
    flood.Faults = tallyhost::sim::FaultFlood;
    s.HostRules.push_back(flood);
    StartSimulator(s);
    StoreLogSettings(true);
    OpenFile(DemoFile(1));
    Select("G", "Count");
    SendAndWait();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dialogs.Boxes.empty(); }, 5000));

    // All 9000 bytes of the flood show, the ones the full buffer stopped as noise and the rest,
    // taken off the port after the exchange, as late.
    int bytes = 0;
    int lines = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            bytes = 0;
            lines = 0;
            for (const QString& line : ViewLines()) {
                if (line.startsWith("NOISE -> host, ") || line.startsWith("LATE  -> host, ")) {
                    bytes += ByteCount(line);
                    ++lines;
                    EXPECT_LE(ByteCount(line), 1024) << line.left(40).toStdString();
                }
            }
            return bytes >= 9000;
        },
        3000))
        << bytes;
    EXPECT_EQ(bytes, 9000);
    EXPECT_LE(lines, 10); // 9000 bytes: 9 lines, plus one where noise turns late
    EXPECT_EQ(FileLines(), ViewLines());
}

TEST_F(LogWireTest, ALogTheProgramWroteIsReadBackDecodedInTheWindowAndByTheCommandLine)
{
    StartSimulator(QuickScenario());
    StoreLogSettings(false);
    OpenFile(DemoFile(1), true);
    Select("G", "Sale");
    SendAndWait();
    Select("F", "Join");
    SendAndWait();
    // The fiscal answer's line, after the command's.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList view = FormChildLogWindow->ViewLines();
            const int sent = IndexOf(view, "FISCAL-> 02 ");
            return sent >= 0 && IndexOf(view, "FP   --> 02 ", sent) > sent;
        },
        5000));
    const QString logFile = FormChildLogWindow->LogFileName();
    // A line someone typed into the file is kept as it stands.
    {
        QFile file(logFile);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("a note typed by hand\r\n");
    }

    // File, "Open log...": the log of the open file, decoded against its catalogue.
    m_dialogs.OpenAnswers.push_back(logFile);
    m_main->ActionOpenLog->trigger();
    TFormLogReader* reader = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* r = qobject_cast<TFormLogReader*>(widget))
            reader = r;
    ASSERT_TRUE(reader);
    EXPECT_TRUE(reader->isVisible());
    EXPECT_FALSE(reader->isMinimized());
    EXPECT_EQ(reader->UnreadLines(), 0); // the header and time stamp are notes, not unread
    TLogView* view = reader->Panel()->View();
    const QStringList fileLines = FileLines();
    const QStringList lines = view->Lines();
    ASSERT_GE(lines.size(), 8);
    EXPECT_EQ(lines.mid(lines.size() - fileLines.size()), fileLines);
    EXPECT_EQ(lines.back(), QStringLiteral("a note typed by hand"));

    // The operator walks to the host answer: it is named by the command it answers.
    view->setFocus();
    const int answer = IndexOf(lines, "FP   --> 02 ");
    ASSERT_GT(answer, 0);
    QTest::keyClick(view, Qt::Key_Home);
    for (int i = 0; i < answer; ++i)
        QTest::keyClick(view, Qt::Key_Down);
    const QStringList decoded = reader->Panel()->DecodedLines();
    EXPECT_TRUE(decoded.contains(QStringLiteral("Answer to|G / Sale|")))
        << decoded.join('\n').toStdString();
    EXPECT_TRUE(decoded.filter(QRegularExpression(QStringLiteral("^  Checksum\\|.... \\(good\\)")))
                    .size() == 1)
        << decoded.join('\n').toStdString();
    reader->close();

    // The same log headless, a frame a line.
    QProcess cli;
    cli.start(QStringLiteral(TALLYHOST_CLI_PATH),
              {QStringLiteral("log"), logFile, QStringLiteral("--file"), m_path});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0);
    const QStringList printed = QString::fromLatin1(cli.readAllStandardOutput()).split(u'\n');
    const int command = IndexOf(printed, "HOST --> 02 ");
    ASSERT_GE(command, 0);
    EXPECT_TRUE(printed[command].contains(QStringLiteral("Command: G / Sale; Code: S")))
        << printed[command].toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("a note typed by hand")));
    const int fiscal = IndexOf(printed, "FISCAL-> 02 ");
    ASSERT_GE(fiscal, 0) << printed.join(u'\n').toStdString();
    EXPECT_TRUE(printed[fiscal].contains(QStringLiteral("Text: AB1; Checksum: ")))
        << printed[fiscal].toStdString();
    EXPECT_TRUE(printed[fiscal].contains(QStringLiteral("(good)")));

    // --json: an object a line, every line of the file kept, the command named.
    cli.start(QStringLiteral(TALLYHOST_CLI_PATH),
              {QStringLiteral("log"), logFile, QStringLiteral("--file"), m_path,
               QStringLiteral("--json")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0);
    const QList<QByteArray> objects = cli.readAllStandardOutput().trimmed().split('\n');
    EXPECT_EQ(objects.size(), printed.size() - 1); // the text ends with a line break
    const QJsonObject sent = QJsonDocument::fromJson(objects.value(command)).object();
    EXPECT_EQ(sent[QStringLiteral("port")], QStringLiteral("host"));
    EXPECT_EQ(sent[QStringLiteral("decoded")][0][QStringLiteral("value")],
              QStringLiteral("G / Sale"))
        << objects.value(command).toStdString();

    // A saved view keeps its time and response columns, a frame a line; its text column
    // goes (it says nothing the hex does not).
    const QString saved = m_dir.filePath(QStringLiteral("saved view.txt"));
    {
        QFile file(saved);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("13:05:09.042 FP   --> 02 41 42 03 | .AB. [44 ms]\r\n"
                   "13:05:09.050 FP   --> ACK [31 ms]\r\n");
    }
    cli.start(QStringLiteral(TALLYHOST_CLI_PATH), {QStringLiteral("log"), saved});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0);
    const QStringList savedLines = QString::fromLatin1(cli.readAllStandardOutput()).split(u'\n');
    ASSERT_GE(savedLines.size(), 2);
    EXPECT_TRUE(
        savedLines[0].startsWith(QStringLiteral("13:05:09.042 FP   --> 02 41 42 03  [44 ms]  =>")))
        << savedLines[0].toStdString();
    EXPECT_EQ(savedLines[1], QStringLiteral("13:05:09.050 FP   --> ACK [31 ms]"));

    // A directory given for the log opens as a stream but cannot be read: exit 2, not an abort.
    cli.start(QStringLiteral(TALLYHOST_CLI_PATH),
              {QStringLiteral("log"), QFileInfo(logFile).absolutePath()});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 2);
    EXPECT_TRUE(cli.readAllStandardError().contains("cannot read"));
}
