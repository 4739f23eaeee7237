// The log view of records: the hanging indent of wrapped lines at both resolutions, and the
// filter bar and find over a few thousand lines, driven as the operator drives them.

#include "app/logpanel.h"
#include "app/logwindow.h"
#include "gui/logview.h"
#include "gui/notifications.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace tallyhost;

namespace {

class ViewSource : public TLogSource
{
public:
    TLogSettings Settings;
    TLogSettings LogSettings() const override { return Settings; }
    int HostCommPort() const override { return 0; }
    int HostBaudRate() const override { return 3; }
    int AuxCommPort() const override { return 1; }
    QByteArray LastWrittenFrame() const override { return {}; }
    QByteArray LastReadFrame() const override { return {}; }
};

LogRecord HostFrame()
{
    LogRecord record;
    record.Prefix = LogPrefix::Host;
    record.Content = LogContent::Hex;
    record.Port = LogPort::Host;
    record.Direction = LogDirection::Sent;
    record.Kind = LogKind::Frame;
    record.HasBytes = true;
    return record;
}

} // namespace

TEST(LogViewTest, WrappedRowsStartTheHangingIndentRightOfTheFirstRow)
{
    TLogView view;
    QFont font(QStringLiteral("Courier New"), 8);
    font.setStyleHint(QFont::TypeWriter);
    view.setFont(font);
    view.resize(420, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.Append(HostFrame(), std::string(80, '\x41')); // 240 characters of hex
    LogRecord short_ = HostFrame();
    view.Append(short_, "\x06");
    view.Commit();

    for (const int dpi : {96, 120, 72}) {
        view.SetResolution(dpi);
        const qreal indent = (dpi == 96 ? 48 : 44) * dpi / 72.0;
        EXPECT_DOUBLE_EQ(view.HangingIndentPixels(), indent);
        const QList<QRectF> rows = view.RowLineRects(0);
        ASSERT_GE(rows.size(), 3) << dpi;
        for (int i = 1; i < rows.size(); ++i) {
            // Positions are kept in 1/64 pixel.
            EXPECT_NEAR(rows[i].x() - rows[0].x(), indent, 1.0 / 32) << dpi << " row " << i;
            EXPECT_GT(rows[i].y(), rows[i - 1].y());
        }
        // Under the frame text, not under the prefix, where the font is drawn at that
        // resolution (the offscreen screen's 96 dpi) or finer.
        if (dpi >= view.logicalDpiY()) {
            EXPECT_GE(rows[1].x() + 1, view.ContentX(0)) << dpi;
        }
        EXPECT_EQ(view.RowLineRects(1).size(), 1);
        // The next line starts below the last row of the wrapped one, at the margin. A row's
        // box is its glyphs' height rounded up to a whole pixel, so it may reach up to a pixel
        // into the next row's (with Liberation Mono at 8 points: 13 against 12.45).
        EXPECT_DOUBLE_EQ(view.RowLineRects(1).front().x(), rows[0].x());
        EXPECT_GT(view.RowLineRects(1).front().y(), rows.back().bottom() - 1);
    }
    EXPECT_EQ(TLogView::HangingIndentPoints(96), 48);
    EXPECT_EQ(TLogView::HangingIndentPoints(144), 44);
}

class LogFilterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_area = std::make_unique<QMdiArea>();
        m_area->resize(900, 600);
        m_window = new TFormChildLogWindow(m_dir.filePath(QStringLiteral("p.thf")), m_source);
        m_area->addSubWindow(m_window);
        m_area->show();
        m_window->showMaximized();
        m_area->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_area.get()));
        // 1000 exchanges: command, the host's ACK to the answer, answer; every tenth a fiscal
        // command, every 25th a burst of noise: 3000 + 100 + 40 lines.
        for (int i = 0; i < 1000; ++i) {
            const QByteArray number = QByteArray::number(i).rightJustified(4, '0');
            const int kind = i % 10 == 0 ? WM_LOG_AUX_WRITE : WM_LOG_HOST_WRITE;
            PostNotification(m_window, kind, "\x02\x21" + number + "\x1C\x30\x30\x03");
            PostNotification(m_window, WM_LOG_HOST_WRITE, QByteArray("\x06"));
            PostNotification(m_window, WM_LOG_HOST_READ, "\x02\x21\x1C" + number + "\x03", 40);
            if (i % 10 == 0)
                PostNotification(m_window, WM_LOG_AUX_READ, QByteArray("\x02\x30\x30\x03\x7F"));
            if (i % 25 == 0)
                PostNotification(m_window, WM_LOG_WIRE, QByteArray("\x00\xFF", 2), 3);
        }
        QCoreApplication::sendPostedEvents();
        m_window->FlushPendingLines();
        m_window->RichEditLog()->setFocus();
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }

    // Lines shown (the filter bar's count agrees).
    int Shown() const { return m_window->RichEditLog()->RowCount(); }

    QTemporaryDir m_dir;
    ViewSource m_source;
    std::unique_ptr<QMdiArea> m_area;
    TFormChildLogWindow* m_window = nullptr; // owned by the area
};

TEST_F(LogFilterTest, TheFilterBarShowsOnlyMatchingLinesAndClearingReturnsToTheSameLine)
{
    TLogPanel* panel = m_window->Panel();
    TLogView* view = m_window->RichEditLog();
    ASSERT_EQ(view->LineCount(), 3140u);
    Key(Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(panel->FilterBar()->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), panel->FilterText());
    const auto choose = [](QComboBox* combo, int index) {
        combo->setFocus();
        while (combo->currentIndex() < index)
            QTest::keyClick(combo, Qt::Key_Down);
        while (combo->currentIndex() > index)
            QTest::keyClick(combo, Qt::Key_Up);
    };
    const struct
    {
        int Port, Direction, Kind;
        const char* Text;
        const char* Bytes;
        int Lines;
    } rows[] = {
        {0, 0, 0, "", "", 3140},
        {2, 0, 0, "", "", 200},  // fiscal commands and their answers
        {1, 1, 0, "", "", 1900}, // host, sent: 900 commands and 1000 ACKs
        {0, 2, 1, "", "", 1100}, // answers, host and fiscal
        {0, 0, 2, "", "", 1000}, // the host's ACKs
        {0, 0, 3, "", "", 40},   // noise
        {0, 0, 0, "fiscal->", "", 100},
        {0, 0, 0, "", "1C 30 30 33 37", 1}, // the answer of exchange 37 (field "0037")
        // Frames of exchanges 30 to 39 and 3 ("0003"), commands and answers.
        {0, 0, 1, "", "30 30 33", 22},
        {0, 0, 0, "", "1C 3", 3140}, // half a pattern filters nothing yet
    };
    for (const auto& row : rows) {
        choose(panel->FilterPort(), row.Port);
        choose(panel->FilterDirection(), row.Direction);
        choose(panel->FilterKind(), row.Kind);
        panel->FilterText()->setFocus();
        panel->FilterText()->selectAll();
        QTest::keyClick(panel->FilterText(), Qt::Key_Delete);
        QTest::keyClicks(panel->FilterText(), QString::fromLatin1(row.Text));
        panel->FilterBytes()->setFocus();
        panel->FilterBytes()->selectAll();
        QTest::keyClick(panel->FilterBytes(), Qt::Key_Delete);
        QTest::keyClicks(panel->FilterBytes(), QString::fromLatin1(row.Bytes));
        EXPECT_EQ(Shown(), row.Lines) << row.Text << row.Bytes << " kind " << row.Kind;
    }
    // Find counts only what the filter shows: host frames holding "30 30 33".
    choose(panel->FilterKind(), 1);
    Key(Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(panel->FindEdit(), QStringLiteral("30 30 33"));
    EXPECT_EQ(m_window->HighlightedMatches(), 22);
    Key(Qt::Key_Escape);

    // The operator picks a line in the filtered view; Esc in the filter bar shows every line
    // again with that line still current and in sight.
    view->setFocus();
    Key(Qt::Key_End);
    Key(Qt::Key_Up);
    const qint64 picked = view->CurrentSequence();
    const QString pickedText = view->RowText(view->CurrentRow());
    panel->FilterText()->setFocus();
    Key(Qt::Key_Escape);
    EXPECT_FALSE(panel->FilterBar()->isVisible());
    EXPECT_EQ(Shown(), 3140);
    EXPECT_EQ(view->CurrentSequence(), picked);
    EXPECT_EQ(view->RowText(view->CurrentRow()), pickedText);
    const int row = view->CurrentRow();
    EXPECT_GT(row, 3000);
    EXPECT_TRUE(row >= view->TopRow() &&
                row < view->TopRow() + view->verticalScrollBar()->pageStep())
        << row << " top " << view->TopRow();
}

TEST_F(LogFilterTest, FindCountsEveryMatchAndWalksOverThousandsOfLines)
{
    Key(Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(m_window->FindEdit(), QStringLiteral("fisCAL"));
    EXPECT_EQ(m_window->HighlightedMatches(), 100);
    // "00 FF" is in the 40 noise lines; from the top, the next match is line 3 and the one
    // before the first goes round to the last.
    QTest::keyClick(m_window->FindEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(m_window->FindEdit(), QStringLiteral("00 ff"));
    EXPECT_EQ(m_window->HighlightedMatches(), 40);
    // Exchange 0 gives rows 0 to 4, its noise last; the last noise is exchange 975's, the
    // fourth of its rows: 3 * 975 + 98 fiscal answers + 39 noise lines before them.
    TLogView* view = m_window->RichEditLog();
    EXPECT_EQ(view->CurrentRow(), 4);
    EXPECT_EQ(view->SelectedText(), QStringLiteral("00 FF"));
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(view->CurrentRow(), 3065);
    EXPECT_TRUE(view->RowText(3065).startsWith(QStringLiteral("NOISE -> ")));
    Key(Qt::Key_Return);
    EXPECT_EQ(view->CurrentRow(), 4);
    Key(Qt::Key_Return);
    // Exchange 25's noise: 3 rows an exchange, 3 fiscal answers and 1 noise line before it,
    // then its command, ACK and answer.
    EXPECT_EQ(view->CurrentRow(), 3 * 25 + 3 + 1 + 3);
}

TEST(LogViewTest, LinesLeavingUnderAFilterTakeOnlyTheirOwnRows)
{
    TLogView view;
    view.resize(400, 300);
    LogFilter frames;
    frames.Kind = LogFilter::Kinds::Frames;
    view.SetFilter(frames);
    // Every even line a frame, every odd one an ACK.
    for (int i = 0; i < 200; ++i) {
        LogRecord record = HostFrame();
        record.Kind = i % 2 == 0 ? LogKind::Frame : LogKind::Ack;
        view.Append(record, std::to_string(i));
    }
    view.Commit();
    ASSERT_EQ(view.RowCount(), 100);
    for (const int drop : {50, 1, 49}) {
        view.DropOldest(static_cast<std::size_t>(drop));
        const auto first = static_cast<int>(view.Store().FirstSequence());
        // The first line shown is the first even one still there, the rest follow.
        const int even = first + first % 2;
        EXPECT_EQ(view.RowSequence(0), even) << drop;
        EXPECT_EQ(view.RowCount(), (200 - even + 1) / 2) << drop;
    }
}

TEST(LogViewTest, ALineLeavingWhileCurrentTakesItsDecodingWithIt)
{
    TLogPanel panel;
    TLogView* view = panel.View();
    for (int i = 0; i < 20; ++i)
        view->Append(HostFrame(), "\x02\x41\x03");
    view->Commit();
    const QStringList none = panel.DecodedLines();
    ASSERT_EQ(none, QStringList{QStringLiteral("Select a frame line to decode it.||")});
    view->SetCurrentRow(5);
    ASSERT_NE(panel.DecodedLines(), none);
    // Older lines leave: the current one stays, decoded.
    view->DropOldest(3);
    EXPECT_EQ(view->CurrentRow(), 2);
    EXPECT_NE(panel.DecodedLines(), none);
    // The current line leaves: nothing is current, nothing decoded.
    view->DropOldest(10);
    EXPECT_EQ(view->CurrentSequence(), -1);
    EXPECT_EQ(panel.DecodedLines(), none);
}

TEST(LogViewTest, TheCurrentMatchKeepsToItsCharactersWhenAColumnOrTheFindTextChanges)
{
    TLogView view;
    view.resize(400, 300);
    view.SetTimesAreLocal(true);
    LogRecord ack;
    ack.Prefix = LogPrefix::Printer;
    ack.Kind = LogKind::Ack;
    ack.HandledAtMs = ((12 * 60 + 34) * 60 + 56) * 1000 + 789;
    view.Append(HostFrame(), "\x02\x41\x03");
    view.Append(ack, "ACK");
    view.Commit();

    view.SetFindText(QStringLiteral("ack"));
    ASSERT_TRUE(view.FindNext(false, true));
    ASSERT_EQ(view.CurrentRow(), 1);
    EXPECT_EQ(view.SelectedText(), QStringLiteral("ACK"));
    // The time column moves the match, and moves it back.
    view.SetColumns({true, false, false});
    EXPECT_EQ(view.SelectedText(), QStringLiteral("ACK"));
    view.SetColumns({});
    EXPECT_EQ(view.SelectedText(), QStringLiteral("ACK"));

    // A match inside the time column goes with it: the line stays selected.
    view.SetColumns({true, false, false});
    view.SetFindText(QStringLiteral(":56."));
    ASSERT_TRUE(view.FindNext(false, true));
    EXPECT_EQ(view.SelectedText(), QStringLiteral(":56."));
    view.SetColumns({});
    EXPECT_EQ(view.SelectedText(), QStringLiteral("FP   --> ACK"));

    // A find text with no match leaves no match of the old one behind.
    view.SetFindText(QStringLiteral("ack"));
    ASSERT_TRUE(view.FindNext(false, true));
    view.SetFindText(QStringLiteral("acks"));
    EXPECT_EQ(view.MatchCount(), 0);
    EXPECT_EQ(view.SelectedText(), QStringLiteral("FP   --> ACK"));
}

TEST(LogViewTest, AViewFollowingTheTailGoesOnFollowingItWhenTheFilterChanges)
{
    TLogView view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const auto append = [&view](int count) {
        for (int i = 0; i < count; ++i)
            view.Append(HostFrame(), "\x02\x41\x03");
        view.Commit();
    };
    append(500);
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    ASSERT_EQ(view.TopRow(), bar->maximum());
    // Typing "HOST" a key at a time, then clearing it: every line passes each time.
    for (const char* text : {"H", "HO", "HOS", "HOST", ""}) {
        LogFilter filter;
        filter.Text = text;
        view.SetFilter(filter);
        EXPECT_EQ(view.TopRow(), bar->maximum()) << text;
    }
    LogFilter host;
    host.Text = "host";
    view.SetFilter(host);
    append(50);
    EXPECT_EQ(view.RowCount(), 550);
    EXPECT_EQ(view.TopRow(), bar->maximum());
    EXPECT_EQ(view.RowSequence(view.RowCount() - 1), 549);
}

TEST(LogViewTest, TextOutsideLatin1FindsAndFiltersNothing)
{
    TLogPanel panel;
    TLogView* view = panel.View();
    LogRecord note;
    view->Append(note, "why? who?");
    view->Append(note, "caf\xE9 au lait");
    view->Commit();
    view->SetFindText(QStringLiteral("\u20AC"));
    EXPECT_EQ(view->MatchCount(), 0);
    EXPECT_FALSE(view->FindNext(false, true));
    view->SetFindText(QStringLiteral("\u00E9"));
    EXPECT_EQ(view->MatchCount(), 1); // Latin-1 text is found
    panel.FilterText()->setText(QStringLiteral("who\u20AC"));
    EXPECT_EQ(view->RowCount(), 0);
    panel.FilterText()->setText(QStringLiteral("\u00E9 AU"));
    EXPECT_EQ(view->RowCount(), 1);
}
