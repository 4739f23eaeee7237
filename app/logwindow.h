#pragma once

#include "core/logrecord.h"

#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiSubWindow>
#include <QString>
#include <QTimer>

#include <cstdint>

class QAction;
class QDateTime;
class QLineEdit;
class QMenu;
class TLogPanel;
class TLogView;
class TNotificationEvent;

// The log settings as the preferences store them: toolkit colour values (red in the low
// byte, then green, then blue) and the low-level flag.
struct TLogSettings
{
    std::uint32_t HostColor = 0;
    std::uint32_t FPColor = 0;
    std::uint32_t DGIColor = 0;
    bool LowLevel = false;
    // Lines of the bytes the links set aside (defaults as in TSettings).
    std::uint32_t BadFrameColor = 0x0000FF;
    std::uint32_t StaleFrameColor = 0x008080;
    std::uint32_t NoiseColor = 0x800080;
    std::uint32_t KeepAliveColor = 0x808080;
    std::uint32_t LateColor = 0x000080;
    bool LogEveryByte = false; // those lines go to the log file too
    // Columns of the view, as the operator last left them.
    bool TimeColumn = false;
    bool TextColumn = false;
    bool ResponseTime = false;
    // Lines the view keeps; older ones leave it (the log file keeps every line). A line costs
    // its record (some 40 bytes) and its bytes.
    int ViewLines = 1000000;
};

// What the log window reads from the rest of the program when it handles a notification:
// the log settings, the ports of the two links and the main window's frame slots. The main
// window provides the program's source; tests give the window their own.
class TLogSource
{
public:
    virtual ~TLogSource() = default;
    virtual TLogSettings LogSettings() const = 0;
    virtual int HostCommPort() const = 0;
    virtual int HostBaudRate() const = 0;
    virtual int AuxCommPort() const = 0;
    virtual QByteArray LastWrittenFrame() const = 0;
    virtual QByteArray LastReadFrame() const = 0;
    // Remembers the view's columns when the operator changes them.
    virtual void StoreViewColumns(bool timeColumn, bool textColumn, bool responseTime)
    {
        (void)timeColumn;
        (void)textColumn;
        (void)responseTime;
    }
};

// The source backed by FormMain (its Settings, link components and frame slots). It reads
// FormMain at each call, so it serves whichever main window exists; without one it gives
// default settings, COM1 and empty frames.
TLogSource& MainWindowLogSource();

// The log window: one coloured line per link event in a read-only view, and the same events
// appended to the log file beside the terminal file (".log"). It works only from the
// notifications the main window posts (WM_LOG_*, gui/notifications.h). The view keeps each
// line as a compact record and draws only the lines on screen (gui/logview.h), so a million
// lines fit in memory and an overnight run never stalls the window.
//
// Both are fed in batches: the lines of the handled notifications collect and are written
// to the file and shown in the view once the pending notifications have run (zero-timer),
// and at the latest every 50 ms during a long burst, so a printer flooding the port never
// freezes the window. The view keeps at most ViewLines lines (a setting, 1 000 000 by
// default; when full, the oldest twentieth leaves at once) and its first line then tells how
// many earlier ones left it for the file alone, which keeps everything.
//
// The view also shows what the links set aside (WM_LOG_WIRE: refused, stale and intermediate
// frames, DC2, noise, late bytes), each kind with its own prefix and colour; the file gets
// those lines only with "Log every byte", so by default it holds exactly the lines it always
// did. The popup menu (and its shortcuts, active while the window has the focus) switches
// the view's columns (handling time, bytes as text, response times), finds text, filters
// lines, shows the decode pane, copies the whole view and saves it as plain text.
class TFormChildLogWindow : public QMdiSubWindow
{
    Q_OBJECT

public:
    explicit TFormChildLogWindow(const QString& terminalFileName, QWidget* parent = nullptr);
    TFormChildLogWindow(const QString& terminalFileName, TLogSource& source,
                        QWidget* parent = nullptr);
    ~TFormChildLogWindow() override;

    static constexpr int kMinimumWidth = 350;
    static constexpr int kMaxViewLines = 1000000; // the default of TLogSettings::ViewLines
    static constexpr int kMinViewLines = 100;
    // The time stamp written at every opening of the log file: the locale's short date and
    // its long time (without a time zone).
    static QString TimeStampText(const QDateTime& when);

    QString LogFileName() const { return m_logFileName; }
    bool LogFileOpen() const { return m_logFile.isOpen(); }
    TLogPanel* Panel() const { return m_panel; }
    TLogView* RichEditLog() const;
    QMenu* PopupMenuLog() const;
    QLineEdit* FindEdit() const;
    QWidget* FindBar() const;
    QAction* ActionTimeColumn() const;
    QAction* ActionTextColumn() const;
    QAction* ActionResponseTime() const;

    // The view's lines as shown (pending ones included), without line ends.
    QStringList ViewLines();
    // Number of matches of the find text that are highlighted.
    int HighlightedMatches() const;
    // Moves the selection to the next (or previous) match of the find text, wrapping around
    // the ends; false when there is none.
    bool FindNext(bool backward = false);
    // Writes the view's lines as shown to `path`, each ended with CR LF; false when the file
    // cannot be written.
    bool SaveViewAs(const QString& path);

    // Writes and shows the queued lines now (the zero-timer does it otherwise).
    void FlushPendingLines();
    // The handling time of a view line (0-based row), as its tool tip shows it; empty for a
    // position without a line.
    QString LineToolTip(int row) const;
    // Lines that left the view since it was opened or cleared (they are in the log file).
    qint64 DroppedLines() const { return m_droppedLines; }
    int ViewLineLimit() const { return m_viewLimit; }

public slots:
    void MenuItemClearClick();
    void MenuItemFindClick();
    void MenuItemCopyAllClick();
    void MenuItemSaveAsClick();
    // A line of the program's own (the summary of a repeat run): shown in the view with the
    // next batch, never written to the log file, whose lines are the wire's alone.
    void AddNoteLine(const QString& text);

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormCreate(const QString& terminalFileName);
    void LoadSettings();
    void HandleLogNotification(int notification, const TNotificationEvent& event);
    void WriteFileLine(const std::string& line);
    void FlushLogFile();
    void ApplyMinimumWidth();
    void AddViewLine(const tallyhost::LogRecord& record, std::string_view payload);
    void ScheduleFlush();
    void TrimView();
    QString DroppedNoteText() const;

    TLogSource& m_source;
    TLogPanel* m_panel = nullptr;
    QAction* m_menuItemClear = nullptr;

    QFile m_logFile;
    QString m_logFileName;
    QByteArray m_fileBuffer; // file lines of the batch not yet written

    QColor m_hostColor;
    QColor m_fpColor;
    QColor m_dgiColor;
    QColor m_badFrameColor;
    QColor m_staleFrameColor;
    QColor m_noiseColor;
    QColor m_keepAliveColor;
    QColor m_lateColor;
    bool m_lowLevel = false;
    bool m_logEveryByte = false;
    // The port of the last frame written: what an ACK or NAK that follows is about.
    tallyhost::LogPort m_lastSentPort = tallyhost::LogPort::Host;

    std::size_t m_pendingLines = 0; // appended to the view, not yet shown
    QTimer m_flushTimer;
    QElapsedTimer m_batchAge; // since the first line of the batch was handled
    bool m_batchOpen = false;

    int m_viewLimit = kMaxViewLines;
    qint64 m_droppedLines = 0;
};

// The colour a line of a saved log takes, by its prefix, from the log settings.
QColor LogLineColor(const TLogSettings& settings, const tallyhost::LogRecord& record);
