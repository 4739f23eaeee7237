#include "app/logwindow.h"

#include "app/notifications.h"
#include "core/logformat.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolTip>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// During a burst of notifications the queued lines reach the view at least this often.
constexpr auto kMaxFlushDelay = 50ms;
constexpr std::size_t kMaxBatchLines = 1000;
// Lines of a quiet moment wait this long for company: laying out and painting the view once
// per exchange would cost a fast printer more than the exchange itself, while a line shown
// 25 ms late is not noticed.
constexpr auto kCoalesceDelay = 25ms;

// The hanging indent of a wrapped line, in points: the width of the nine-character prefix
// in the log font, a little wider on the common 96 dpi screens.
constexpr double kHangingIndentPt96Dpi = 48.0;
constexpr double kHangingIndentPtOther = 44.0;

// The time at which a view line's notification was handled, for its tool tip. Owned by the
// document's block, so lines dropped from the top of the view free theirs.
class TLogLineData : public QTextBlockUserData
{
public:
    explicit TLogLineData(qint64 handledAtMs) : HandledAtMs(handledAtMs) {}
    qint64 HandledAtMs;
};

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
    default:
        break;
    }
    *known = false;
    return LogEvent::HostOpen;
}

} // namespace

TFormChildLogWindow::TFormChildLogWindow(const QString& terminalFileName, QWidget* parent)
    : TFormChildLogWindow(terminalFileName, MainWindowLogSource(), parent)
{
}

TFormChildLogWindow::TFormChildLogWindow(const QString& terminalFileName, TLogSource& source,
                                         QWidget* parent)
    : QMdiSubWindow(parent), m_source(source)
{
    setWindowTitle(QStringLiteral("Log window"));

    m_richEditLog = new QTextEdit(this);
    m_richEditLog->setObjectName(QStringLiteral("RichEditLog"));
    m_richEditLog->setReadOnly(true);
    m_richEditLog->setUndoRedoEnabled(false); // a log has nothing to undo; keeps memory flat
    m_richEditLog->setLineWrapMode(QTextEdit::WidgetWidth);
    m_richEditLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_richEditLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_richEditLog->document()->setMaximumBlockCount(kMaxViewLines + 1); // + the empty last line
    setWidget(m_richEditLog);

    m_popupMenuLog = new QMenu(this);
    m_popupMenuLog->setObjectName(QStringLiteral("PopupMenuLog"));
    m_menuItemClear = m_popupMenuLog->addAction(QStringLiteral("&Clear"));
    m_menuItemClear->setObjectName(QStringLiteral("MenuItemClear"));
    connect(m_menuItemClear, &QAction::triggered, this, &TFormChildLogWindow::MenuItemClearClick);
    m_richEditLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_richEditLog, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        m_popupMenuLog->popup(m_richEditLog->viewport()->mapToGlobal(pos));
    });
    m_richEditLog->viewport()->installEventFilter(this);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kCoalesceDelay);
    connect(&m_flushTimer, &QTimer::timeout, this, &TFormChildLogWindow::FlushPendingLines);

    FormCreate(terminalFileName);

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

void TFormChildLogWindow::FormCreate(const QString& terminalFileName)
{
    m_richEditLog->clear();
    LoadSettings();

    QFont font(QStringLiteral("Courier New"), 8);
    font.setStyleHint(QFont::TypeWriter); // a monospaced stand-in where Courier New is missing
    m_richEditLog->document()->setDefaultFont(font);

    if (!terminalFileName.isEmpty()) {
        m_logFileName =
            QString::fromStdString(tallyhost::LogFileNameFor(terminalFileName.toStdString()));
        m_logFile.setFileName(m_logFileName);
        const bool existed = m_logFile.exists();
        // Append mode: every write lands at the end of the file, even if another program
        // appended to it meanwhile. Lines are written together with each batch of the view
        // (see FlushPendingLines), one system call per batch. A file that cannot be opened
        // leaves the view working silently.
        if (m_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            if (!existed) {
                const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
                WriteFileLine(tallyhost::LogFileHeader(exe.toStdString()));
            }
            WriteFileLine(tallyhost::LogTimeStampBlock(
                TimeStampText(QDateTime::currentDateTime()).toStdString()));
            FlushLogFile();
        }
    }

    const double pt = logicalDpiX() == 96 ? kHangingIndentPt96Dpi : kHangingIndentPtOther;
    m_hangingIndentPx = pt * logicalDpiX() / 72.0;
}

void TFormChildLogWindow::LoadSettings()
{
    const TLogSettings settings = m_source.LogSettings();
    m_hostColor = ToQColor(settings.HostColor);
    m_fpColor = ToQColor(settings.FPColor);
    m_dgiColor = ToQColor(settings.DGIColor);
    m_lowLevel = settings.LowLevel;
}

QColor TFormChildLogWindow::ToQColor(std::uint32_t toolkitColor)
{
    return QColor(static_cast<int>(toolkitColor & 0xFF),
                  static_cast<int>((toolkitColor >> 8) & 0xFF),
                  static_cast<int>((toolkitColor >> 16) & 0xFF));
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
    if (!known) {
        QMdiSubWindow::customEvent(event);
        return;
    }
    HandleLogNotification(type, static_cast<const TNotificationEvent&>(*event));
}

void TFormChildLogWindow::HandleLogNotification(int notification, const TNotificationEvent& event)
{
    bool known = false;
    const tallyhost::LogEvent logEvent = ToLogEvent(notification, &known);

    // The frame the link reported travels with the notification; the slots are only a
    // fallback for a notification posted without one.
    QByteArray frame;
    if (event.HasFrame())
        frame = event.Frame();
    else if (notification == WM_LOG_HOST_WRITE || notification == WM_LOG_AUX_WRITE)
        frame = m_source.LastWrittenFrame();
    else if (notification == WM_LOG_HOST_READ || notification == WM_LOG_AUX_READ)
        frame = m_source.LastReadFrame();

    tallyhost::LogLineSource source;
    if (notification == WM_LOG_HOST_OPEN) {
        source.hostCommPort = m_source.HostCommPort();
        source.hostBaudRate = m_source.HostBaudRate();
    } else if (notification == WM_LOG_AUX_OPEN) {
        source.auxCommPort = m_source.AuxCommPort();
    }
    source.frame = std::string_view(frame.constData(), static_cast<std::size_t>(frame.size()));

    const tallyhost::LogLine line = tallyhost::FormatLogLine(logEvent, source, m_lowLevel);
    WriteFileLine(line.fileLine);
    if (line.inView) {
        const QColor& color = line.color == tallyhost::LogColorRole::Host      ? m_hostColor
                              : line.color == tallyhost::LogColorRole::Printer ? m_fpColor
                                                                               : m_dgiColor;
        m_pending.push_back(PendingLine{color, QString::fromLatin1(line.prefix + line.content),
                                        QDateTime::currentMSecsSinceEpoch()});
        // Lines beyond the view's capacity would only be dropped again at the flush.
        if (m_pending.size() >= 2 * static_cast<std::size_t>(kMaxViewLines))
            m_pending.erase(m_pending.begin(), m_pending.begin() + kMaxViewLines);
    }

    if (!m_batchOpen) {
        m_batchOpen = true;
        m_batchAge.restart();
    }
    if (m_batchAge.elapsed() >= kMaxFlushDelay.count() || m_pending.size() >= kMaxBatchLines) {
        // A long burst keeps the event loop busy with notifications: show what we have and
        // paint it now rather than when the burst is over. The line limit keeps each batch
        // short, as laying out the lines is what costs time.
        FlushPendingLines();
        if (m_richEditLog->isVisible())
            m_richEditLog->viewport()->repaint();
    } else if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
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
    if (m_pending.empty())
        return;

    QScrollBar* bar = m_richEditLog->verticalScrollBar();
    const bool followTail = bar->value() >= bar->maximum();

    QTextBlockFormat blockFormat;
    // Hanging indent: a frame too long for one line wraps under the frame text, not under
    // the prefix.
    blockFormat.setLeftMargin(m_hangingIndentPx);
    blockFormat.setTextIndent(-m_hangingIndentPx);

    QTextCursor cursor(m_richEditLog->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    // Every line is a paragraph of its own; a new paragraph takes over the format of the one
    // before, so the format is set once on the empty last line.
    if (cursor.blockFormat() != blockFormat)
        cursor.setBlockFormat(blockFormat);
    QTextCharFormat charFormat;
    for (const PendingLine& line : m_pending) {
        if (charFormat.foreground().color() != line.color ||
            !charFormat.hasProperty(QTextFormat::ForegroundBrush))
            charFormat.setForeground(line.color);
        cursor.insertText(line.text, charFormat);
        cursor.block().setUserData(new TLogLineData(line.handledAtMs));
        cursor.insertBlock();
    }
    cursor.endEditBlock();
    m_pending.clear();

    if (followTail)
        bar->setValue(bar->maximum());
}

QString TFormChildLogWindow::LineToolTip(int blockNumber) const
{
    const QTextBlock block = m_richEditLog->document()->findBlockByNumber(blockNumber);
    const auto* data =
        block.isValid() ? dynamic_cast<const TLogLineData*>(block.userData()) : nullptr;
    if (!data)
        return {};
    return QDateTime::fromMSecsSinceEpoch(data->HandledAtMs)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

bool TFormChildLogWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_richEditLog->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QPoint docPos = help->pos() + QPoint(m_richEditLog->horizontalScrollBar()->value(),
                                                   m_richEditLog->verticalScrollBar()->value());
        // Anywhere on a line's rows shows its time, not only over its characters.
        QTextDocument* document = m_richEditLog->document();
        const int position = document->documentLayout()->hitTest(docPos, Qt::FuzzyHit);
        const QTextBlock block = position >= 0 ? document->findBlock(position) : QTextBlock();
        QString tip;
        if (block.isValid() &&
            document->documentLayout()->blockBoundingRect(block).contains(docPos))
            tip = LineToolTip(block.blockNumber());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, m_richEditLog->viewport());
        return true;
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

void TFormChildLogWindow::MenuItemClearClick()
{
    // Lines handled but not yet shown belong to the cleared view as well.
    m_pending.clear();
    m_flushTimer.stop();
    m_richEditLog->clear();
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
