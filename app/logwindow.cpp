#include "app/logwindow.h"

#include "app/logpanel.h"
#include "core/logformat.h"
#include "gui/logview.h"
#include "gui/notifications.h"
#include "gui/qtcolor.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>

#include <chrono>

using namespace tallyhost;

namespace {

using namespace std::chrono_literals;

// During a burst of notifications the queued lines reach the view at least this often.
constexpr auto kMaxFlushDelay = 50ms;
constexpr std::size_t kMaxBatchLines = 1000;
// Lines of a quiet moment wait this long for company: painting the view once per exchange
// would cost a fast printer more than the exchange itself, while a line shown 25 ms late is
// not noticed.
constexpr auto kCoalesceDelay = 25ms;

// A locale time format without its time-zone part: the log shows local wall-clock time.
QString WithoutTimeZone(const QString& format)
{
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        result += c;
    }
    return result.trimmed();
}

tallyhost::LogEvent ToLogEvent(int notification, bool* known)
{
    using tallyhost::LogEvent;
    *known = true;
    switch (notification) {
    case WM_LOG_HOST_OPEN:
        return LogEvent::HostOpen;
    case WM_LOG_HOST_CLOSE:
        return LogEvent::HostClose;
    case WM_LOG_HOST_WRITE:
        return LogEvent::HostWrite;
    case WM_LOG_HOST_READ:
        return LogEvent::HostRead;
    case WM_LOG_ACK:
        return LogEvent::Ack;
    case WM_LOG_NACK:
        return LogEvent::Nack;
    case WM_LOG_INTERMEDIATE:
        return LogEvent::Intermediate;
    case WM_LOG_AUX_OPEN:
        return LogEvent::AuxOpen;
    case WM_LOG_AUX_CLOSE:
        return LogEvent::AuxClose;
    case WM_LOG_AUX_WRITE:
        return LogEvent::AuxWrite;
    case WM_LOG_AUX_READ:
        return LogEvent::AuxRead;
    case WM_LOG_HOST_PORT:
        return LogEvent::HostPortNote;
    case WM_LOG_AUX_PORT:
        return LogEvent::AuxPortNote;
    default:
        break;
    }
    *known = false;
    return LogEvent::HostOpen;
}

std::string_view View(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

QColor LogLineColor(const TLogSettings& settings, const LogRecord& record)
{
    switch (record.Prefix) {
    case LogPrefix::Host:
        return ToQColor(settings.HostColor);
    case LogPrefix::Printer:
        return ToQColor(settings.FPColor);
    case LogPrefix::Fiscal:
        return ToQColor(settings.DGIColor);
    case LogPrefix::BadFrame:
        return ToQColor(settings.BadFrameColor);
    case LogPrefix::Stale:
        return ToQColor(settings.StaleFrameColor);
    case LogPrefix::Noise:
        return ToQColor(settings.NoiseColor);
    case LogPrefix::KeepAlive:
        return ToQColor(settings.KeepAliveColor);
    case LogPrefix::Late:
        return ToQColor(settings.LateColor);
    case LogPrefix::None:
        break;
    }
    // Port changes stand in the host colour as in the live log; the rest of what a file
    // holds (its header, time stamps, lines it cannot read) in grey.
    return record.Kind == LogKind::Port ? ToQColor(settings.HostColor) : QColor(Qt::darkGray);
}

TFormChildLogWindow::TFormChildLogWindow(const QString& terminalFileName, QWidget* parent)
    : TFormChildLogWindow(terminalFileName, MainWindowLogSource(), parent)
{
}

TFormChildLogWindow::TFormChildLogWindow(const QString& terminalFileName, TLogSource& source,
                                         QWidget* parent)
    : QMdiSubWindow(parent), m_source(source)
{
    setWindowTitle(QStringLiteral("Log window"));

    m_panel = new TLogPanel(this);
    setWidget(m_panel);
    // Clear stands first in the view's menu, before the panel's tools.
    m_menuItemClear = new QAction(QStringLiteral("&Clear"), this);
    m_menuItemClear->setObjectName(QStringLiteral("MenuItemClear"));
    connect(m_menuItemClear, &QAction::triggered, this, &TFormChildLogWindow::MenuItemClearClick);
    QMenu* popup = m_panel->PopupMenu();
    QAction* first = popup->actions().value(0);
    popup->insertAction(first, m_menuItemClear);
    popup->insertSeparator(first);

    const TLogSettings settings = m_source.LogSettings();
    m_panel->SetColumns({settings.TimeColumn, settings.TextColumn, settings.ResponseTime});
    connect(m_panel, &TLogPanel::ColumnsChanged, this, [this](const LogColumns& columns) {
        m_source.StoreViewColumns(columns.Time, columns.Text, columns.Response);
    });
    m_panel->SetCatalogue(terminalFileName);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kCoalesceDelay);
    connect(&m_flushTimer, &QTimer::timeout, this, &TFormChildLogWindow::FlushPendingLines);

    FormCreate(terminalFileName);
    if (!m_logFileName.isEmpty())
        m_panel->SetSaveDirectory(QFileInfo(m_logFileName).absolutePath());

    resize(qMax(width(), 500), 300);
    ApplyMinimumWidth();
    if (parent) {
        // Centred on the main window's client area when shown normal.
        move(qMax(0, (parent->width() - width()) / 2), qMax(0, (parent->height() - height()) / 2));
    }
}

TFormChildLogWindow::~TFormChildLogWindow()
{
    FlushLogFile();
    m_logFile.close();
}

TLogView* TFormChildLogWindow::RichEditLog() const
{
    return m_panel->View();
}

QMenu* TFormChildLogWindow::PopupMenuLog() const
{
    return m_panel->PopupMenu();
}

QLineEdit* TFormChildLogWindow::FindEdit() const
{
    return m_panel->FindEdit();
}

QWidget* TFormChildLogWindow::FindBar() const
{
    return m_panel->FindBar();
}

QAction* TFormChildLogWindow::ActionTimeColumn() const
{
    return m_panel->ActionTimeColumn();
}

QAction* TFormChildLogWindow::ActionTextColumn() const
{
    return m_panel->ActionTextColumn();
}

QAction* TFormChildLogWindow::ActionResponseTime() const
{
    return m_panel->ActionResponseTime();
}

void TFormChildLogWindow::FormCreate(const QString& terminalFileName)
{
    RichEditLog()->Clear();
    LoadSettings();

    if (!terminalFileName.isEmpty()) {
        m_logFileName = QFile::decodeName(
            LogFileNameFor(QFile::encodeName(terminalFileName).toStdString()).c_str());
        m_logFile.setFileName(m_logFileName);
        const bool existed = m_logFile.exists();
        // Append mode: every write lands at the end of the file, even if another program
        // appended to it meanwhile. Lines are written together with each batch of the view
        // (see FlushPendingLines), one system call per batch. A file that cannot be opened
        // leaves the view working silently.
        if (m_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            if (!existed) {
                const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
                WriteFileLine(LogFileHeader(exe.toStdString()));
            }
            WriteFileLine(
                LogTimeStampBlock(TimeStampText(QDateTime::currentDateTime()).toStdString()));
            FlushLogFile();
        }
    }
}

void TFormChildLogWindow::LoadSettings()
{
    const TLogSettings settings = m_source.LogSettings();
    m_hostColor = ToQColor(settings.HostColor);
    m_fpColor = ToQColor(settings.FPColor);
    m_dgiColor = ToQColor(settings.DGIColor);
    m_lowLevel = settings.LowLevel;
    m_badFrameColor = ToQColor(settings.BadFrameColor);
    m_staleFrameColor = ToQColor(settings.StaleFrameColor);
    m_noiseColor = ToQColor(settings.NoiseColor);
    m_keepAliveColor = ToQColor(settings.KeepAliveColor);
    m_lateColor = ToQColor(settings.LateColor);
    m_logEveryByte = settings.LogEveryByte;
    m_viewLimit = std::max(kMinViewLines, settings.ViewLines);
}

QString TFormChildLogWindow::TimeStampText(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    const QString format = locale.dateFormat(QLocale::ShortFormat) + u' ' +
                           WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(when, format);
}

void TFormChildLogWindow::customEvent(QEvent* event)
{
    const int type = static_cast<int>(event->type());
    if (type == WM_LOG_SETTINGS) {
        // Lines already handled keep the colours they were handled with.
        LoadSettings();
        return;
    }
    bool known = false;
    ToLogEvent(type, &known);
    if (!known && type != WM_LOG_WIRE) {
        QMdiSubWindow::customEvent(event);
        return;
    }
    HandleLogNotification(type, static_cast<const TNotificationEvent&>(*event));
}

void TFormChildLogWindow::HandleLogNotification(int notification, const TNotificationEvent& event)
{
    bool known = false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (notification == WM_LOG_WIRE) {
        const QByteArray& bytes = event.Frame();
        const bool fiscal = (event.Param() & kWireFiscalLink) != 0;
        const LogLine line =
            FormatWireLine(event.Param() & 0xFF, fiscal, View(bytes), m_logEveryByte, &known);
        if (!known)
            return;
        WriteFileLine(line.fileLine);
        const QColor& color = line.color == LogColorRole::BadFrame    ? m_badFrameColor
                              : line.color == LogColorRole::Stale     ? m_staleFrameColor
                              : line.color == LogColorRole::KeepAlive ? m_keepAliveColor
                              : line.color == LogColorRole::Late      ? m_lateColor
                                                                      : m_noiseColor;
        LogRecord record;
        record.HandledAtMs = now;
        record.Color = color.rgba();
        record.Prefix = PrefixOfRole(line.color);
        record.Content = LogContent::Wire;
        record.Port = fiscal ? LogPort::Fiscal : LogPort::Host;
        record.Direction = LogDirection::Received;
        record.Kind = LogKind::SetAside;
        record.HasBytes = true;
        AddViewLine(record, View(bytes));
        return;
    }
    const LogEvent logEvent = ToLogEvent(notification, &known);

    // The frame the link reported travels with the notification; the slots are only a
    // fallback for a notification posted without one.
    QByteArray frame;
    if (event.HasFrame())
        frame = event.Frame();
    else if (notification == WM_LOG_HOST_WRITE || notification == WM_LOG_AUX_WRITE)
        frame = m_source.LastWrittenFrame();
    else if (notification == WM_LOG_HOST_READ || notification == WM_LOG_AUX_READ)
        frame = m_source.LastReadFrame();

    LogLineSource source;
    if (notification == WM_LOG_HOST_OPEN) {
        source.hostCommPort = m_source.HostCommPort();
        source.hostBaudRate = m_source.HostBaudRate();
    } else if (notification == WM_LOG_AUX_OPEN) {
        source.auxCommPort = m_source.AuxCommPort();
    }
    source.frame = View(frame);

    const LogLine line = FormatLogLine(logEvent, source, m_lowLevel);
    WriteFileLine(line.fileLine);

    // What the line is, for the filter and the decode pane.
    LogRecord record;
    record.HandledAtMs = now;
    record.Prefix = PrefixOfRole(line.color);
    switch (logEvent) {
    case LogEvent::HostWrite:
    case LogEvent::AuxWrite:
        record.Port = logEvent == LogEvent::HostWrite ? LogPort::Host : LogPort::Fiscal;
        record.Direction = LogDirection::Sent;
        record.Kind = IsReplyByte(View(frame)) ? LogKind::Ack : LogKind::Frame;
        record.Content = LogContent::Hex;
        record.HasBytes = true;
        if (record.Kind == LogKind::Frame)
            m_lastSentPort = record.Port;
        break;
    case LogEvent::HostRead:
    case LogEvent::AuxRead:
        record.Port = logEvent == LogEvent::HostRead ? LogPort::Host : LogPort::Fiscal;
        record.Direction = LogDirection::Received;
        record.Kind = LogKind::Frame;
        record.Content = LogContent::Hex;
        record.HasBytes = true;
        record.ResponseMs = event.HasFrame() ? event.Param() : -1;
        break;
    case LogEvent::Ack:
    case LogEvent::Nack:
    case LogEvent::Intermediate:
        record.Port = m_lastSentPort;
        record.Direction = LogDirection::Received;
        record.Kind = LogKind::Ack;
        record.ResponseMs = event.HasFrame() ? event.Param() : -1; // a fiscal ACK's own
        break;
    case LogEvent::HostOpen:
    case LogEvent::HostClose:
    case LogEvent::AuxOpen:
    case LogEvent::AuxClose:
        record.Port = line.color == LogColorRole::Host ? LogPort::Host : LogPort::Fiscal;
        record.Kind = LogKind::Port;
        break;
    case LogEvent::HostPortNote:
    case LogEvent::AuxPortNote:
        record.Port = logEvent == LogEvent::HostPortNote ? LogPort::Host : LogPort::Fiscal;
        record.Kind = LogKind::PortNote;
        break;
    }
    if (!line.inView) {
        ScheduleFlush();
        return;
    }
    const QColor& color = line.color == LogColorRole::Host      ? m_hostColor
                          : line.color == LogColorRole::Printer ? m_fpColor
                                                                : m_dgiColor;
    record.Color = color.rgba();
    if (record.Content == LogContent::Hex)
        AddViewLine(record, View(frame));
    else
        AddViewLine(record, line.content);
}

void TFormChildLogWindow::AddViewLine(const LogRecord& record, std::string_view payload)
{
    RichEditLog()->Append(record, payload);
    ++m_pendingLines;
    ScheduleFlush();
}

void TFormChildLogWindow::ScheduleFlush()
{
    if (!m_batchOpen) {
        m_batchOpen = true;
        m_batchAge.restart();
    }
    if (m_batchAge.elapsed() >= kMaxFlushDelay.count() || m_pendingLines >= kMaxBatchLines) {
        // A long burst keeps the event loop busy with notifications: show what we have and
        // paint it now rather than when the burst is over.
        FlushPendingLines();
        if (RichEditLog()->isVisible())
            RichEditLog()->viewport()->repaint();
    } else if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void TFormChildLogWindow::AddNoteLine(const QString& text)
{
    // In the host colour: the window's own lines tell of host commands (a repeat run).
    LogRecord record;
    record.HandledAtMs = QDateTime::currentMSecsSinceEpoch();
    record.Color = m_hostColor.rgba();
    record.Kind = LogKind::Note;
    AddViewLine(record, text.toLatin1().toStdString());
}

void TFormChildLogWindow::WriteFileLine(const std::string& line)
{
    if (!m_logFile.isOpen())
        return;
    m_fileBuffer.append(line.data(), static_cast<qsizetype>(line.size()));
}

void TFormChildLogWindow::FlushLogFile()
{
    if (m_fileBuffer.isEmpty())
        return;
    m_logFile.write(m_fileBuffer);
    m_fileBuffer.clear();
}

void TFormChildLogWindow::FlushPendingLines()
{
    m_flushTimer.stop();
    m_batchOpen = false;
    FlushLogFile();
    if (m_pendingLines == 0)
        return;
    m_pendingLines = 0;
    TrimView();
    RichEditLog()->Commit();
}

QString TFormChildLogWindow::DroppedNoteText() const
{
    const QString count = QLocale().toString(m_droppedLines);
    if (!m_logFile.isOpen())
        return QStringLiteral("%1 earlier lines left the view").arg(count);
    return QStringLiteral("%1 earlier lines left the view; the log file %2 keeps them")
        .arg(count, QDir::toNativeSeparators(m_logFileName));
}

void TFormChildLogWindow::TrimView()
{
    TLogView* view = RichEditLog();
    const auto limit = static_cast<std::size_t>(m_viewLimit);
    if (view->LineCount() <= limit)
        return;
    // Take a twentieth of the view at once: a long run then pays for removing lines once
    // every so many batches rather than at every batch.
    const std::size_t excess = view->LineCount() - limit + limit / 20;
    m_droppedLines += static_cast<qint64>(excess);
    // The note first, so that the reader's line is kept in place across both changes.
    view->SetNotice(DroppedNoteText());
    view->DropOldest(excess);
}

QStringList TFormChildLogWindow::ViewLines()
{
    FlushPendingLines();
    return m_panel->ViewLines();
}

bool TFormChildLogWindow::SaveViewAs(const QString& path)
{
    FlushPendingLines();
    return m_panel->SaveViewAs(path);
}

void TFormChildLogWindow::MenuItemSaveAsClick()
{
    FlushPendingLines();
    m_panel->MenuItemSaveAsClick();
}

void TFormChildLogWindow::MenuItemCopyAllClick()
{
    FlushPendingLines();
    m_panel->MenuItemCopyAllClick();
}

void TFormChildLogWindow::MenuItemFindClick()
{
    FlushPendingLines();
    m_panel->MenuItemFindClick();
}

int TFormChildLogWindow::HighlightedMatches() const
{
    return m_panel->HighlightedMatches();
}

bool TFormChildLogWindow::FindNext(bool backward)
{
    FlushPendingLines();
    return m_panel->FindNext(backward);
}

QString TFormChildLogWindow::LineToolTip(int row) const
{
    return RichEditLog()->RowToolTip(row);
}

void TFormChildLogWindow::MenuItemClearClick()
{
    // Lines handled but not yet shown belong to the cleared view as well.
    m_pendingLines = 0;
    m_flushTimer.stop();
    RichEditLog()->Clear();
    m_droppedLines = 0;
}

void TFormChildLogWindow::closeEvent(QCloseEvent* event)
{
    // The log lives as long as its terminal file is open; the close box only puts it aside.
    event->ignore();
    showMinimized();
}

void TFormChildLogWindow::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    if (!isMinimized() && width() < kMinimumWidth)
        resize(kMinimumWidth, height());
}

void TFormChildLogWindow::changeEvent(QEvent* event)
{
    QMdiSubWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        ApplyMinimumWidth();
}

void TFormChildLogWindow::ApplyMinimumWidth()
{
    // Minimized, the window is a title bar among the others and may be narrower.
    setMinimumWidth(isMinimized() ? 0 : kMinimumWidth);
}
