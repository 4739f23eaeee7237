// The log window under a burst of traffic: 10 000 host exchanges (frame written, ACK, answer
// read, ACK sent: 40 000 log lines with the low-level flag on) posted at once, as a printer
// flooding the port would, with the view's columns off and with the time column and the bytes
// as text on. Reports the handling time, the longest gap between two paints of
// the view while the burst is handled, and the growth of resident memory.
//
// BM_LogEndurance (below) is the overnight run.
//
// Run: build/bench/bench_gui_log [--benchmark_...]; the QApplication runs offscreen unless
// QT_QPA_PLATFORM says otherwise.

#include "app/logpanel.h"
#include "app/logwindow.h"
#include "gui/logview.h"
#include "gui/notifications.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMdiArea>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {

constexpr int kExchanges = 10000;

class BenchSource : public TLogSource
{
public:
    bool Columns = false;
    TLogSettings LogSettings() const override
    {
        TLogSettings settings{0x000080, 0x008000, 0x800000, true};
        // The time column, the bytes as text and the response times of the answers.
        settings.TimeColumn = Columns;
        settings.TextColumn = Columns;
        settings.ResponseTime = true;
        return settings;
    }
    int HostCommPort() const override { return 0; }
    int HostBaudRate() const override { return 3; }
    int AuxCommPort() const override { return 1; }
    QByteArray LastWrittenFrame() const override { return {}; }
    QByteArray LastReadFrame() const override { return {}; }
};

double ResidentMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// Records when the view was painted.
class PaintWatch : public QObject
{
public:
    QElapsedTimer* clock = nullptr;
    std::vector<qint64> paints;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back(clock->elapsed());
        return false;
    }
};

// A sentinel posted after the burst: it is handled after every notification of the burst.
class DoneEvent : public QEvent
{
public:
    DoneEvent() : QEvent(static_cast<QEvent::Type>(QEvent::User + 999)) {}
};

class DoneReceiver : public QObject
{
public:
    QEventLoop* loop = nullptr;
    qint64* doneAt = nullptr;
    QElapsedTimer* clock = nullptr;

protected:
    void customEvent(QEvent*) override
    {
        *doneAt = clock->elapsed();
        loop->quit();
    }
};

void BM_LogBurst(benchmark::State& state)
{
    const QByteArray command("\x02\x21\x2A\x1C\x30\x30\x1C\x41\x42\x43\x03\x30\x31\x41\x46", 15);
    const QByteArray answer(
        "\x02\x21\x2A\x1C\x30\x30\x30\x30\x1C\x30\x30\x30\x30\x1C\x31\x32\x33\x34\x35\x36"
        "\x1C\x41\x42\x43\x44\x03\x30\x32\x42\x43",
        30);
    const QByteArray ack("\x06", 1);

    for (auto _ : state) {
        QTemporaryDir dir;
        BenchSource source;
        source.Columns = state.range(0) != 0;
        QMdiArea area;
        area.resize(1000, 700);
        auto* window = new TFormChildLogWindow(dir.filePath(QStringLiteral("bench.thf")), source);
        area.addSubWindow(window);
        area.show();
        window->showMaximized();
        QApplication::processEvents();

        QElapsedTimer clock;
        PaintWatch watch;
        watch.clock = &clock;
        window->RichEditLog()->viewport()->installEventFilter(&watch);

        const double rssBefore = ResidentMb();
        clock.start();
        for (int i = 0; i < kExchanges; ++i) {
            PostNotification(window, WM_LOG_HOST_WRITE, command);
            PostNotification(window, WM_LOG_ACK);
            PostNotification(window, WM_LOG_HOST_READ, answer, 40 + i % 50);
            PostNotification(window, WM_LOG_HOST_WRITE, ack);
        }
        const qint64 postedAt = clock.elapsed();
        QEventLoop loop;
        qint64 doneAt = 0;
        DoneReceiver done;
        done.loop = &loop;
        done.doneAt = &doneAt;
        done.clock = &clock;
        QApplication::postEvent(&done, new DoneEvent);
        loop.exec();
        // Let the last batch reach the view.
        QApplication::processEvents();
        window->FlushPendingLines();
        QApplication::processEvents();
        const qint64 shownAt = clock.elapsed();
        const double rssAfter = ResidentMb();

        qint64 maxGap = 0;
        qint64 previous = postedAt;
        for (qint64 t : watch.paints) {
            if (t > doneAt)
                break;
            maxGap = std::max(maxGap, t - previous);
            previous = t;
        }
        maxGap = std::max(maxGap, doneAt - previous);

        state.counters["handling_ms"] = static_cast<double>(doneAt - postedAt);
        state.counters["until_shown_ms"] = static_cast<double>(shownAt);
        state.counters["max_paint_gap_ms"] = static_cast<double>(maxGap);
        state.counters["paints"] = static_cast<double>(watch.paints.size());
        state.counters["rss_growth_mb"] = rssAfter - rssBefore;
        state.counters["view_lines"] = static_cast<double>(window->RichEditLog()->LineCount());
        window->RichEditLog()->viewport()->removeEventFilter(&watch);
    }
}

// Arg 0: the plain view; arg 1: time column and bytes as text on.
BENCHMARK(BM_LogBurst)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// An overnight run: 1 000 000 lines (250 000 exchanges with the low-level flag on) through
// the window, posted a chunk at a time as a printer would deliver them, each chunk posted by
// the last event of the one before so that the window handles, flushes and paints as it does
// in use. With the view bounded, resident memory stops growing once the view is full;
// rss_growth_mb is the growth over the whole run, view_full_mb the part of it reached when
// the view first held its limit. max_paint_gap_ms is the longest the view went unpainted.
// Then, over the million lines in the view: find_ms is typing a find text (every match
// counted) and moving to the first match from the top, filter_ms applying a filter (answers
// holding the bytes 31 32 33), filtered_lines what it let through.
class ChunkPoster : public QObject
{
public:
    TFormChildLogWindow* window = nullptr;
    QEventLoop* loop = nullptr;
    int exchanges = 0;
    int posted = 0;
    static constexpr int kChunk = 500;
    QByteArray command;
    QByteArray answer;
    QByteArray ack;
    std::function<void()> afterChunk;

    void PostChunk()
    {
        const int end = std::min(exchanges, posted + kChunk);
        for (; posted < end; ++posted) {
            PostNotification(window, WM_LOG_HOST_WRITE, command);
            PostNotification(window, WM_LOG_ACK);
            PostNotification(window, WM_LOG_HOST_READ, answer, 40 + posted % 50);
            PostNotification(window, WM_LOG_HOST_WRITE, ack);
        }
        QApplication::postEvent(this, new DoneEvent);
    }

protected:
    void customEvent(QEvent*) override
    {
        if (afterChunk)
            afterChunk();
        if (posted >= exchanges)
            loop->quit();
        else
            PostChunk();
    }
};

void BM_LogEndurance(benchmark::State& state)
{
    constexpr int kLines = 1'000'000;
    for (auto _ : state) {
        QTemporaryDir dir;
        BenchSource source;
        QMdiArea area;
        area.resize(1000, 700);
        auto* window = new TFormChildLogWindow(dir.filePath(QStringLiteral("night.thf")), source);
        area.addSubWindow(window);
        area.show();
        window->showMaximized();
        QApplication::processEvents();

        QElapsedTimer clock;
        PaintWatch watch;
        watch.clock = &clock;
        window->RichEditLog()->viewport()->installEventFilter(&watch);

        QEventLoop loop;
        ChunkPoster poster;
        poster.window = window;
        poster.loop = &loop;
        poster.exchanges = kLines / 4;
        poster.command =
            QByteArray("\x02\x21\x2A\x1C\x30\x30\x1C\x41\x42\x43\x03\x30\x31\x41\x46", 15);
        poster.answer =
            QByteArray("\x02\x21\x2A\x1C\x30\x30\x30\x30\x1C\x30\x30\x30\x30\x1C\x31\x32"
                       "\x33\x34\x35\x36\x1C\x41\x42\x43\x44\x03\x30\x32\x42\x43",
                       30);
        poster.ack = QByteArray("\x06", 1);
        double viewFullMb = -1;
        const double rssBefore = ResidentMb();
        poster.afterChunk = [&] {
            if (viewFullMb < 0 && window->DroppedLines() > 0)
                viewFullMb = ResidentMb() - rssBefore;
        };
        clock.start();
        poster.PostChunk();
        loop.exec();
        window->FlushPendingLines();
        QApplication::processEvents();
        const qint64 doneAt = clock.elapsed();
        const double rssAfter = ResidentMb();

        qint64 maxGap = 0;
        qint64 previous = 0;
        for (qint64 t : watch.paints) {
            maxGap = std::max(maxGap, t - previous);
            previous = t;
        }
        maxGap = std::max(maxGap, doneAt - previous);

        state.counters["lines"] = kLines;
        state.counters["handling_ms"] = static_cast<double>(doneAt);
        state.counters["max_paint_gap_ms"] = static_cast<double>(maxGap);
        state.counters["paints"] = static_cast<double>(watch.paints.size());
        state.counters["rss_growth_mb"] = rssAfter - rssBefore;
        state.counters["view_full_mb"] = viewFullMb;
        TLogView* view = window->RichEditLog();
        state.counters["view_lines"] = static_cast<double>(view->LineCount());
        state.counters["dropped_lines"] = static_cast<double>(window->DroppedLines());
        view->viewport()->removeEventFilter(&watch);

        QElapsedTimer timer;
        view->SetTopRow(0);
        timer.start();
        view->SetFindText(QStringLiteral("41 42 43 44"));
        const bool found = view->FindNext(false);
        state.counters["find_ms"] = static_cast<double>(timer.elapsed());
        state.counters["find_matches"] = static_cast<double>(view->MatchCount());
        view->SetFindText(QString());
        tallyhost::LogFilter filter;
        filter.Direction = tallyhost::LogDirection::Received;
        filter.Bytes = "\x31\x32\x33";
        timer.start();
        view->SetFilter(filter);
        state.counters["filter_ms"] = static_cast<double>(timer.elapsed());
        state.counters["filtered_lines"] = view->RowCount();
        if (!found)
            state.SkipWithError("find found nothing");
    }
}

BENCHMARK(BM_LogEndurance)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
