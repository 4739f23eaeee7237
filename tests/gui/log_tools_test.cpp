// The log window's view tools and its lines of set-aside bytes, driven the way the operator
// does: shortcuts and keys on the real widgets, a scripted save dialog, files on disk.

#include "app/logwindow.h"
#include "gui/logview.h"
#include "gui/messagebox.h"
#include "gui/notifications.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ToolsSource : public TLogSource
{
public:
    TLogSettings Settings;
    int Stored = 0;
    bool StoredTime = false;
    bool StoredText = false;
    bool StoredResponse = false;

    TLogSettings LogSettings() const override { return Settings; }
    int HostCommPort() const override { return 0; }
    int HostBaudRate() const override { return 3; }
    int AuxCommPort() const override { return 1; }
    QByteArray LastWrittenFrame() const override { return {}; }
    QByteArray LastReadFrame() const override { return {}; }
    void StoreViewColumns(bool time, bool text, bool response) override
    {
        ++Stored;
        StoredTime = time;
        StoredText = text;
        StoredResponse = response;
    }
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QColor LineColor(TFormChildLogWindow& window, int line)
{
    return window.RichEditLog()->RowColor(line);
}

class LogToolsTest : public ::testing::Test
{
protected:
    void Open()
    {
        ASSERT_TRUE(m_dir.isValid());
        m_area = std::make_unique<QMdiArea>();
        m_area->resize(900, 600);
        m_window = new TFormChildLogWindow(m_dir.filePath(QStringLiteral("printer.thf")), m_source);
        m_area->addSubWindow(m_window);
        m_area->show();
        m_window->showMaximized();
        m_area->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_area.get()));
        m_window->RichEditLog()->setFocus();
        m_fileAtStart = ReadAll(LogFile());
    }

    QString LogFile() const { return m_dir.filePath(QStringLiteral("printer.log")); }
    // What the file got since the window was opened.
    QByteArray NewFileLines() const { return ReadAll(LogFile()).mid(m_fileAtStart.size()); }

    void Deliver()
    {
        QCoreApplication::sendPostedEvents();
        m_window->FlushPendingLines();
    }

    // A short exchange: command written, answer read in 44 ms, and one line of each kind of
    // set-aside bytes.
    void PostKnownLines()
    {
        PostNotification(m_window, WM_LOG_HOST_WRITE, QByteArray("\x02\x41\x03", 3));
        PostNotification(m_window, WM_LOG_HOST_READ, QByteArray("\x02\x41\x42\x03", 4), 44);
        PostNotification(m_window, WM_LOG_WIRE, QByteArray("\x02\x41\x03\x30", 4), 1);
        PostNotification(m_window, WM_LOG_WIRE, QByteArray("\x02\x20\x03", 3), 2);
        PostNotification(m_window, WM_LOG_WIRE, QByteArray("\x00noise", 6), 3);
        PostNotification(m_window, WM_LOG_WIRE, QByteArray("\x12", 1), 4);
        PostNotification(m_window, WM_LOG_WIRE, QByteArray("\x02\x30\x03", 3), 5 | kWireFiscalLink);
        Deliver();
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }

    QTemporaryDir m_dir;
    ToolsSource m_source;
    std::unique_ptr<QMdiArea> m_area;
    TFormChildLogWindow* m_window = nullptr; // owned by the area
    QByteArray m_fileAtStart;
};

const QStringList kKnownLines{
    "HOST --> 02 41 03 ",
    "FP   --> 02 41 42 03 ",
    "BAD SUM> host, 4 bytes: 02 41 03 30 ",
    "STALE -> host, 3 bytes: 02 20 03 ",
    "NOISE -> host, 6 bytes: 00 6E 6F 69 73 65 ",
    "KEEP  -> host, 1 byte: 12 ",
    "LATE  -> fiscal, 3 bytes: 02 30 03 ",
};

} // namespace

TEST_F(LogToolsTest, SetAsideBytesGetLinesOfTheirOwnAndReachTheFileOnlyWithLogEveryByte)
{
    m_source.Settings.BadFrameColor = 0x0000FF;   // red
    m_source.Settings.StaleFrameColor = 0x00FF00; // lime
    m_source.Settings.NoiseColor = 0xFF0000;      // blue
    m_source.Settings.KeepAliveColor = 0x808080;
    m_source.Settings.LateColor = 0x800080;
    Open();
    PostKnownLines();
    EXPECT_EQ(m_window->ViewLines(), kKnownLines);
    EXPECT_EQ(LineColor(*m_window, 2), QColor(255, 0, 0));
    EXPECT_EQ(LineColor(*m_window, 3), QColor(0, 255, 0));
    EXPECT_EQ(LineColor(*m_window, 4), QColor(0, 0, 255));
    EXPECT_EQ(LineColor(*m_window, 5), QColor(128, 128, 128));
    EXPECT_EQ(LineColor(*m_window, 6), QColor(128, 0, 128));
    // The file keeps exactly the lines it always had: no set-aside bytes, no response time.
    EXPECT_EQ(NewFileLines(), QByteArray("HOST --> 02 41 03 \r\nFP   --> 02 41 42 03 \r\n"));

    // Preferences switch "Log every byte" on: the next lines go to the file as the view shows
    // them (without the view's columns).
    m_source.Settings.LogEveryByte = true;
    PostNotification(m_window, WM_LOG_SETTINGS);
    PostKnownLines();
    EXPECT_EQ(NewFileLines(), QByteArray("HOST --> 02 41 03 \r\nFP   --> 02 41 42 03 \r\n"
                                         "HOST --> 02 41 03 \r\nFP   --> 02 41 42 03 \r\n"
                                         "BAD SUM> host, 4 bytes: 02 41 03 30 \r\n"
                                         "STALE -> host, 3 bytes: 02 20 03 \r\n"
                                         "NOISE -> host, 6 bytes: 00 6E 6F 69 73 65 \r\n"
                                         "KEEP  -> host, 1 byte: 12 \r\n"
                                         "LATE  -> fiscal, 3 bytes: 02 30 03 \r\n"));
}

TEST_F(LogToolsTest, ColumnShortcutsRedrawEveryLineAndAreRemembered)
{
    Open();
    PostKnownLines();

    // Time and text columns and response times on, each by its shortcut.
    Key(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(m_window->ActionTimeColumn()->isChecked());
    EXPECT_TRUE(m_window->ActionTextColumn()->isChecked());
    EXPECT_TRUE(m_window->ActionResponseTime()->isChecked());
    EXPECT_EQ(m_source.Stored, 3);
    EXPECT_TRUE(m_source.StoredTime);
    EXPECT_TRUE(m_source.StoredText);
    EXPECT_TRUE(m_source.StoredResponse);

    const QStringList lines = m_window->ViewLines();
    ASSERT_EQ(lines.size(), kKnownLines.size());
    const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
    for (const QString& line : lines)
        EXPECT_TRUE(time.match(line).hasMatch()) << line.toStdString();
    EXPECT_EQ(lines[0].mid(13), "HOST --> 02 41 03 | .A.");
    // The final answer with its response time: 44 ms from the command frame to the answer.
    EXPECT_EQ(lines[1].mid(13), "FP   --> 02 41 42 03 | .AB. [44 ms]");
    EXPECT_EQ(lines[4].mid(13), "NOISE -> host, 6 bytes: 00 6E 6F 69 73 65 | .noise");
    // The column shows the time the line was handled: now, give or take the test's run.
    const QTime shown = QTime::fromString(lines[0].left(12), QStringLiteral("hh:mm:ss.zzz"));
    ASSERT_TRUE(shown.isValid());
    EXPECT_LT(std::abs(shown.msecsTo(QTime::currentTime())), 5000);

    // Lines that come now get the same columns; switching back gives the original lines.
    PostNotification(m_window, WM_LOG_HOST_WRITE, QByteArray("\x05", 1));
    Deliver();
    EXPECT_EQ(m_window->ViewLines().back().mid(13), "HOST --> 05 | .");
    Key(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_window->ViewLines(), kKnownLines + QStringList{"HOST --> 05 "});

    // A new window starts with the columns the source remembers.
    m_source.Settings.TimeColumn = false;
    m_source.Settings.TextColumn = true;
    m_source.Settings.ResponseTime = false;
    TFormChildLogWindow second(m_dir.filePath(QStringLiteral("other.thf")), m_source);
    EXPECT_TRUE(second.ActionTextColumn()->isChecked());
    EXPECT_FALSE(second.ActionResponseTime()->isChecked());
    PostNotification(&second, WM_LOG_HOST_READ, QByteArray("\x02\x41\x03", 3), 12);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(second.ViewLines(), QStringList{"FP   --> 02 41 03 | .A."});
}

TEST_F(LogToolsTest, FindHighlightsEveryMatchAndWalksThemBothWays)
{
    Open();
    PostKnownLines();

    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(m_window->FindBar()->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), m_window->FindEdit());
    // "02 " appears in lines 0, 1, 2, 3 and 6: five matches.
    QTest::keyClicks(m_window->FindEdit(), QStringLiteral("02 "));
    EXPECT_EQ(m_window->HighlightedMatches(), 5);
    TLogView* view = m_window->RichEditLog();
    const auto currentLine = [view] { return view->CurrentRow(); };
    EXPECT_EQ(currentLine(), 0);
    EXPECT_EQ(view->SelectedText(), QStringLiteral("02 "));

    Key(Qt::Key_Return);
    EXPECT_EQ(currentLine(), 1);
    Key(Qt::Key_F3);
    EXPECT_EQ(currentLine(), 2);
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(currentLine(), 1);
    // Past the last match the search goes round to the first.
    Key(Qt::Key_Return);
    Key(Qt::Key_Return);
    Key(Qt::Key_Return);
    EXPECT_EQ(currentLine(), 6);
    Key(Qt::Key_Return);
    EXPECT_EQ(currentLine(), 0);

    // Case does not matter; no match is said so.
    QTest::keyClick(m_window->FindEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(m_window->FindEdit(), QStringLiteral("fiscal"));
    EXPECT_EQ(m_window->HighlightedMatches(), 1);
    EXPECT_EQ(currentLine(), 6);
    QTest::keyClicks(m_window->FindEdit(), QStringLiteral("xyz"));
    EXPECT_EQ(m_window->HighlightedMatches(), 0);
    EXPECT_EQ(m_window->FindBar()->findChild<QLabel*>(QStringLiteral("LogFindCount"))->text(),
              QStringLiteral("No match"));

    Key(Qt::Key_Escape);
    EXPECT_FALSE(m_window->FindBar()->isVisible());
    EXPECT_EQ(m_window->HighlightedMatches(), 0);
}

TEST_F(LogToolsTest, SaveAsWritesTheLinesAsShownAndCopyAllTakesThemToo)
{
    TRecordedDialogs dialogs;
    Open();
    PostKnownLines();
    Key(Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier); // text column on

    const QString path = m_dir.filePath(QStringLiteral("saved.txt"));
    dialogs.SaveAnswers.push_back(path);
    Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(dialogs.SaveRequests[0].caption, QStringLiteral("Save log as"));
    EXPECT_EQ(dialogs.SaveRequests[0].directory, m_dir.path());
    QByteArray expected;
    for (const QString& line : m_window->ViewLines())
        expected += line.toLatin1() + "\r\n";
    EXPECT_TRUE(expected.startsWith("HOST --> 02 41 03 | .A.\r\n")) << expected.toStdString();
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_TRUE(dialogs.Boxes.empty());

    // A place that cannot be written: the box says so and nothing is left behind.
    const QString bad = m_dir.filePath(QStringLiteral("no/such/dir/saved.txt"));
    dialogs.SaveAnswers.push_back(bad);
    Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0].text, QStringLiteral("Unable to write to ") + bad);
    EXPECT_FALSE(QFile::exists(bad));

    // Cancel writes nothing.
    Key(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dialogs.SaveRequests.size(), 3u);
    EXPECT_EQ(dialogs.Boxes.size(), 1u);

    QApplication::clipboard()->clear();
    Key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), m_window->ViewLines().join(u'\n'));
}

TEST_F(LogToolsTest, PopupMenuOffersTheToolsWithTheirShortcuts)
{
    Open();
    QStringList items;
    for (QAction* action : m_window->PopupMenuLog()->actions()) {
        if (action->isSeparator())
            continue;
        items << action->text() + u'|' + action->shortcut().toString(QKeySequence::PortableText);
    }
    EXPECT_EQ(items, (QStringList{"&Clear|", "&Time column|Ctrl+Shift+T",
                                  "Bytes as te&xt|Ctrl+Shift+X", "&Response times|Ctrl+Shift+R",
                                  "&Find...|Ctrl+F", "Find &next|F3", "Find &previous|Shift+F3",
                                  "Fi&lter...|Ctrl+L", "&Decode pane|Ctrl+Shift+D",
                                  "Copy &all|Ctrl+Shift+C", "&Save as...|Ctrl+Shift+S"}));
}
