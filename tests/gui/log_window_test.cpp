#include "app/logwindow.h"
#include "core/version.h"
#include "gui/logview.h"
#include "gui/notifications.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLocale>
#include <QMdiArea>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kRed = 0x0000FF; // toolkit colours: red in the low byte
constexpr std::uint32_t kBlue = 0xFF0000;
constexpr std::uint32_t kGreen = 0x008000;

class FakeLogSource : public TLogSource
{
public:
    TLogSettings Settings;
    int HostPort = 0;
    int HostBaud = 3;
    int AuxPort = 1;
    QByteArray Written;
    QByteArray Read;

    TLogSettings LogSettings() const override { return Settings; }
    int HostCommPort() const override { return HostPort; }
    int HostBaudRate() const override { return HostBaud; }
    int AuxCommPort() const override { return AuxPort; }
    QByteArray LastWrittenFrame() const override { return Written; }
    QByteArray LastReadFrame() const override { return Read; }
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray Header()
{
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return QByteArray::fromStdString(tallyhost::VersionString("CompanyName")) + "\r\n" +
           exe.toLatin1() + "\r\n";
}

QByteArray Stamp(const QDateTime& when)
{
    return "\r\n" + TFormChildLogWindow::TimeStampText(when).toLatin1() + "\r\n";
}

// The file content must be prefix + a time stamp of a moment between before and after.
bool MatchesWithStamp(const QByteArray& content, const QByteArray& prefix, const QDateTime& before,
                      const QDateTime& after)
{
    return content == prefix + Stamp(before) || content == prefix + Stamp(after);
}

void Deliver(TFormChildLogWindow& window)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    window.FlushPendingLines();
}

QStringList ViewLines(const TFormChildLogWindow& window)
{
    return window.RichEditLog()->Lines();
}

QColor LineColor(const TFormChildLogWindow& window, int line)
{
    return window.RichEditLog()->RowColor(line);
}

class LogWindowTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    FakeLogSource source;
    QString terminal() const { return dir.filePath(QStringLiteral("printer.thf")); }
    QString logFile() const { return dir.filePath(QStringLiteral("printer.log")); }
};

} // namespace

TEST_F(LogWindowTest, NewLogFileGetsHeaderAndStampAndReopeningAppendsOnlyAStamp)
{
    ASSERT_TRUE(dir.isValid());
    QByteArray expected;
    {
        const QDateTime before = QDateTime::currentDateTime();
        TFormChildLogWindow window(terminal(), source);
        const QDateTime after = QDateTime::currentDateTime();
        EXPECT_EQ(window.LogFileName(), logFile());
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Log window"));
        const QByteArray content = ReadAll(logFile());
        ASSERT_TRUE(MatchesWithStamp(content, Header(), before, after)) << content.toStdString();
        expected = content;

        source.Written = QByteArray("\x02\x41\x1C\x03", 4);
        PostNotification(&window, WM_LOG_HOST_WRITE);
        Deliver(window);
        expected += "HOST --> 02 41 1C 03 \r\n";
        EXPECT_EQ(ReadAll(logFile()), expected);
    }
    const QDateTime before = QDateTime::currentDateTime();
    TFormChildLogWindow again(terminal(), source);
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(MatchesWithStamp(ReadAll(logFile()), expected, before, after))
        << ReadAll(logFile()).toStdString();
    EXPECT_TRUE(ViewLines(again).isEmpty());
}

TEST_F(LogWindowTest, EveryNotificationGivesItsViewLineAndFileLine)
{
    source.Settings.LowLevel = true;
    TFormChildLogWindow window(terminal(), source);
    const qint64 headerSize = ReadAll(logFile()).size();

    source.HostPort = 1;
    source.HostBaud = 5;
    source.AuxPort = 3;
    source.Written = QByteArray("\x02\x41\x1C\x03", 4);
    source.Read = QByteArray("\x00\xFF", 2);
    for (int n : {WM_LOG_HOST_OPEN, WM_LOG_HOST_WRITE, WM_LOG_ACK, WM_LOG_INTERMEDIATE,
                  WM_LOG_HOST_READ, WM_LOG_NACK, WM_LOG_HOST_CLOSE, WM_LOG_AUX_OPEN,
                  WM_LOG_AUX_WRITE, WM_LOG_AUX_READ, WM_LOG_AUX_CLOSE, WM_LOG_SETTINGS})
        PostNotification(&window, n);
    Deliver(window);

    EXPECT_EQ(ViewLines(window), (QStringList{
                                     "HOST --> Open COM2 38400,N,8,1",
                                     "HOST --> 02 41 1C 03 ",
                                     "FP   --> ACK",
                                     "FP   --> INTERMEDIATE ANSWER",
                                     "FP   --> 00 FF ",
                                     "FP   --> NACK",
                                     "HOST --> Close port",
                                     "FISCAL-> Open COM4 9600,N,8,1",
                                     "FISCAL-> 02 41 1C 03 ",
                                     "FP   --> 00 FF ",
                                     "FISCAL-> Close port",
                                 }));
    EXPECT_EQ(ReadAll(logFile()).mid(headerSize), QByteArray("Open COM2 38400,N,8,1\r\n"
                                                             "HOST --> 02 41 1C 03 \r\n"
                                                             "FP   --> ACK\r\n"
                                                             "FP   --> INTERMEDIATE ANSWER\r\n"
                                                             "FP   --> 00 FF \r\n"
                                                             "FP   --> NACK\r\n"
                                                             "Close port\r\n"
                                                             "Open COM4 9600,N,8,1\r\n"
                                                             "FISCAL-> 02 41 1C 03 \r\n"
                                                             "FP   --> 00 FF \r\n"
                                                             "Close port\r\n"));
}

TEST_F(LogWindowTest, LowLevelFlagHidesAcknowledgementsInTheViewOnly)
{
    TFormChildLogWindow window(terminal(), source);
    const QByteArray start = ReadAll(logFile());
    PostNotification(&window, WM_LOG_ACK);
    PostNotification(&window, WM_LOG_NACK);
    PostNotification(&window, WM_LOG_INTERMEDIATE);
    Deliver(window);
    EXPECT_TRUE(ViewLines(window).isEmpty());
    EXPECT_EQ(ReadAll(logFile()),
              start + "FP   --> ACK\r\nFP   --> NACK\r\nFP   --> INTERMEDIATE ANSWER\r\n");

    // Preferences switch it on: later acknowledgements show.
    source.Settings.LowLevel = true;
    PostNotification(&window, WM_LOG_SETTINGS);
    PostNotification(&window, WM_LOG_ACK);
    PostNotification(&window, WM_LOG_ACK, QByteArray(), 31); // a fiscal ACK, the whole answer
    Deliver(window);
    window.RichEditLog()->SetColumns({false, false, true});
    EXPECT_EQ(ViewLines(window), QStringList({"FP   --> ACK", "FP   --> ACK [31 ms]"}));
    EXPECT_TRUE(ReadAll(logFile()).endsWith("FP   --> ACK\r\nFP   --> ACK\r\n"));
}

TEST_F(LogWindowTest, NewColoursApplyToLaterLinesOnly)
{
    source.Settings.HostColor = kRed;
    source.Settings.FPColor = kGreen;
    TFormChildLogWindow window(terminal(), source);
    source.Written = "A";
    source.Read = "B";
    PostNotification(&window, WM_LOG_HOST_WRITE);
    PostNotification(&window, WM_LOG_HOST_READ);
    // The change arrives while the first lines still wait in the batch.
    source.Settings.HostColor = kBlue;
    PostNotification(&window, WM_LOG_SETTINGS);
    PostNotification(&window, WM_LOG_HOST_WRITE);
    Deliver(window);

    ASSERT_EQ(ViewLines(window).size(), 3);
    EXPECT_EQ(LineColor(window, 0), QColor(255, 0, 0));
    EXPECT_EQ(LineColor(window, 1), QColor(0, 128, 0));
    EXPECT_EQ(LineColor(window, 2), QColor(0, 0, 255));
}

TEST_F(LogWindowTest, ClearEmptiesTheViewIncludingQueuedLinesAndLeavesTheFile)
{
    TFormChildLogWindow window(terminal(), source);
    source.Written = "\x01";
    PostNotification(&window, WM_LOG_HOST_WRITE);
    Deliver(window);
    const QByteArray before = ReadAll(logFile()) + "HOST --> 01 \r\n";
    PostNotification(&window, WM_LOG_HOST_WRITE);
    QCoreApplication::sendPostedEvents(); // handled, not yet shown

    window.PopupMenuLog()->actions().at(0)->trigger();
    EXPECT_EQ(window.PopupMenuLog()->actions().at(0)->text(), QStringLiteral("&Clear"));
    Deliver(window);
    EXPECT_TRUE(ViewLines(window).isEmpty());
    EXPECT_EQ(ReadAll(logFile()), before); // the line handled before the clear is kept

    source.Written = "\x02";
    PostNotification(&window, WM_LOG_HOST_WRITE);
    Deliver(window);
    EXPECT_EQ(ViewLines(window), QStringList{"HOST --> 02 "});
    EXPECT_EQ(ReadAll(logFile()), before + "HOST --> 02 \r\n");
}

TEST_F(LogWindowTest, FramesTravelWithTheirNotificationsSoABurstLosesNone)
{
    TFormChildLogWindow window(terminal(), source);
    const qint64 headerSize = ReadAll(logFile()).size();
    // Two answers read before the log got to the first: the slot only holds the last one.
    source.Read = "\x22";
    PostNotification(&window, WM_LOG_HOST_READ, QByteArray("\x11"));
    PostNotification(&window, WM_LOG_HOST_READ, QByteArray("\x22"));
    Deliver(window);
    EXPECT_EQ(ViewLines(window), (QStringList{"FP   --> 11 ", "FP   --> 22 "}));
    EXPECT_EQ(ReadAll(logFile()).mid(headerSize), QByteArray("FP   --> 11 \r\nFP   --> 22 \r\n"));
}

TEST_F(LogWindowTest, UnwritableLogFileLeavesTheViewWorking)
{
    FakeLogSource src;
    TFormChildLogWindow window(dir.filePath(QStringLiteral("missing/dir/printer.thf")), src);
    EXPECT_FALSE(window.LogFileOpen());
    src.Written = "\x41";
    PostNotification(&window, WM_LOG_HOST_WRITE);
    Deliver(window);
    EXPECT_EQ(ViewLines(window), QStringList{"HOST --> 41 "});
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing/dir/printer.log"))));
}

TEST_F(LogWindowTest, LinesCarryTheirHandlingTimeAsToolTip)
{
    TFormChildLogWindow window(terminal(), source);
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    PostNotification(&window, WM_LOG_HOST_CLOSE);
    Deliver(window);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    const QDateTime tip =
        QDateTime::fromString(window.LineToolTip(0), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    ASSERT_TRUE(tip.isValid()) << window.LineToolTip(0).toStdString();
    EXPECT_GE(tip.toMSecsSinceEpoch(), before);
    EXPECT_LE(tip.toMSecsSinceEpoch(), after);
    EXPECT_TRUE(window.LineToolTip(1).isEmpty()); // no line there

    // Hovering the line shows it; hovering below the text shows nothing.
    QMdiArea area;
    area.resize(600, 400);
    area.addSubWindow(&window);
    area.show();
    window.showMaximized();
    QWidget* viewport = window.RichEditLog()->viewport();
    const QList<QRectF> rows = window.RichEditLog()->RowLineRects(0);
    ASSERT_FALSE(rows.isEmpty());
    const QPoint onLine = rows.front().center().toPoint();
    QHelpEvent over(QEvent::ToolTip, onLine, viewport->mapToGlobal(onLine));
    QApplication::sendEvent(viewport, &over);
    EXPECT_EQ(QToolTip::text(), window.LineToolTip(0));
    const QPoint below(onLine.x(), viewport->height() - 5);
    QHelpEvent empty(QEvent::ToolTip, below, viewport->mapToGlobal(below));
    QApplication::sendEvent(viewport, &empty);
    QDeadlineTimer hidden(2000);
    while (QToolTip::isVisible() && !hidden.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(QToolTip::isVisible());
    area.removeSubWindow(&window); // the window lives on the stack: the area must not delete it
}

TEST_F(LogWindowTest, CloseBoxMinimizesAndWidthStaysAtLeast350)
{
    QMdiArea area;
    area.resize(1000, 700);
    auto* window = new TFormChildLogWindow(terminal(), source);
    area.addSubWindow(window);
    area.show();
    window->showNormal();
    window->resize(200, 300);
    EXPECT_EQ(window->width(), TFormChildLogWindow::kMinimumWidth);
    window->resize(351, 300);
    EXPECT_EQ(window->width(), 351);

    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(area.subWindowList().size(), 1);
}

TEST_F(LogWindowTest, FloodKeepsEveryFileLineAndBoundsTheView)
{
    source.Settings.ViewLines = 150;
    TFormChildLogWindow window(terminal(), source);
    const qint64 headerSize = ReadAll(logFile()).size();
    const QByteArray frame("\x02\x30\x03\x00", 4);
    const QString note =
        QStringLiteral("%1 earlier lines left the view; the log file %2 keeps them");
    // Batches below, at and above the limit. A full view sheds its oldest lines down to
    // 143 (150 less a twentieth) and then shows the note and those 143 lines; lines queued
    // beyond twice the limit leave before they are shown.
    const struct
    {
        int Lines;
        qint64 Dropped;
    } rows[] = {{100, 0}, {50, 0}, {1, 8}, {30, 38}, {400, 438}};
    int sent = 0;
    const auto frameLine = [](int number) {
        return "FP   --> 02 30 03 00 " +
               QString::fromLatin1(QByteArray::number(number).toHex(' ').toUpper()) + " ";
    };
    for (const auto& row : rows) {
        for (int i = 0; i < row.Lines; ++i)
            PostNotification(&window, WM_LOG_HOST_READ, frame + QByteArray::number(sent + i));
        sent += row.Lines;
        Deliver(window);
        EXPECT_EQ(window.DroppedLines(), row.Dropped) << sent;
        const QStringList lines = ViewLines(window);
        ASSERT_EQ(lines.size(), sent - row.Dropped + (row.Dropped ? 1 : 0)) << sent;
        EXPECT_EQ(lines.back(), frameLine(sent - 1));
        if (row.Dropped) {
            EXPECT_EQ(lines.front(), note.arg(QLocale().toString(row.Dropped),
                                              QDir::toNativeSeparators(logFile())));
            EXPECT_EQ(lines[1], frameLine(static_cast<int>(row.Dropped)));
        }
    }
    // The note stays first when the columns are drawn again, and goes with Clear.
    window.ActionTimeColumn()->trigger();
    EXPECT_TRUE(ViewLines(window).front().startsWith(QLocale().toString(438) + " earlier lines"));
    EXPECT_EQ(ViewLines(window).size(), 144);
    // Clear as the operator picks it: the view's popup menu, its accelerator.
    QMenu* popup = window.PopupMenuLog();
    popup->popup(window.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
    QTest::keyClick(popup, Qt::Key_C);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(window.DroppedLines(), 0);

    const QByteArray content = ReadAll(logFile());
    EXPECT_EQ(content.count("FP   --> 02 30 03 00"), sent);
    EXPECT_TRUE(content.endsWith("FP   --> 02 30 03 00 35 38 30 \r\n"));
    EXPECT_GT(content.size() - headerSize, 0);
}

TEST_F(LogWindowTest, ATrimLeavesTheReaderOnTheLineTheyRead)
{
    source.Settings.ViewLines = 150;
    // Where the operator left the view before 60 more lines make it shed its oldest 17: the
    // line they read stays on top, a line that left gives the top of what is left (the
    // note), and at the tail the view follows the new lines.
    const struct
    {
        int TopBefore; // -1: at the tail
        bool Kept;
    } rows[] = {{60, true}, {5, false}, {-1, false}};
    for (const auto& row : rows) {
        QMdiArea area;
        area.resize(900, 400);
        auto* window = new TFormChildLogWindow(terminal(), source);
        area.addSubWindow(window);
        area.show();
        window->showMaximized();
        for (int i = 0; i < 100; ++i)
            PostNotification(window, WM_LOG_HOST_READ, QByteArray::number(i));
        Deliver(*window);
        QScrollBar* bar = window->RichEditLog()->verticalScrollBar();
        const auto topLine = [window] {
            TLogView* view = window->RichEditLog();
            return view->RowText(view->TopRow()).toStdString();
        };
        if (row.TopBefore >= 0)
            bar->setValue(row.TopBefore);
        const std::string before = topLine();
        for (int i = 100; i < 160; ++i)
            PostNotification(window, WM_LOG_HOST_READ, QByteArray::number(i));
        Deliver(*window);
        ASSERT_EQ(window->DroppedLines(), 17);
        if (row.TopBefore < 0)
            EXPECT_TRUE(bar->maximum() > 0 && bar->value() == bar->maximum());
        else if (row.Kept)
            EXPECT_EQ(topLine(), before);
        else
            EXPECT_EQ(topLine().rfind("17 earlier lines left the view", 0), 0u) << topLine();
    }
}
