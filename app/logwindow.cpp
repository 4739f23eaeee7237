#include "app/logwindow.h"

#include "core/logformat.h"
#include "gui/messagebox.h"
#include "gui/notifications.h"
#include "gui/qtcolor.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit> // for its ExtraSelection, which the plain view takes too
#include <QToolTip>
#include <QVBoxLayout>

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

// Characters of the time column: "hh:mm:ss.zzz" and a blank.
constexpr int kTimeColumnWidth = 13;
// Matches beyond this many are found but not highlighted: painting more costs the view more
// than it tells the operator.
constexpr int kMaxHighlights = 10000;

// What a view line needs besides its text: the time its notification was handled (tool tip,
// time column), and what the columns are drawn from, so that a line can be drawn again when
// the operator switches a column. Owned by the document's block, so lines dropped from the
// top of the view free theirs.
class TLogLineData : public QTextBlockUserData
{
public:
    TLogLineData(qint64 handledAtMs, QRgb color, int baseLength, QByteArray bytes, bool hasBytes,
                 int responseMs)
        : HandledAtMs(handledAtMs), Color(color), BaseLength(baseLength), Bytes(std::move(bytes)),
          HasBytes(hasBytes), ResponseMs(responseMs)
    {
    }
    qint64 HandledAtMs;
    QRgb Color;
    int BaseLength; // prefix and content, without the columns
    QByteArray Bytes;
    bool HasBytes;
    int ResponseMs;
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

// The view: a plain-text edit lays out only the lines it shows and takes lines off the top
// without laying out the rest again, where a rich-text view re-lays the whole document at
// every trim and keeps a layout for every line. It tells where a line is drawn, for the tool
// tips.
class TLogView : public QPlainTextEdit
{
public:
    explicit TLogView(QWidget* parent) : QPlainTextEdit(parent) {}
    QRectF LineGeometry(const QTextBlock& block) const
    {
        return blockBoundingGeometry(block).translated(contentOffset());
    }
};

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

    m_richEditLog = new TLogView(this);
    m_richEditLog->setObjectName(QStringLiteral("RichEditLog"));
    m_richEditLog->setReadOnly(true);
    m_richEditLog->setUndoRedoEnabled(false); // a log has nothing to undo; keeps memory flat
    m_richEditLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_richEditLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_richEditLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // The view with the find bar below it (hidden until Find).
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_richEditLog);
    m_findBar = new QWidget(body);
    m_findBar->setObjectName(QStringLiteral("LogFindBar"));
    auto* findLayout = new QHBoxLayout(m_findBar);
    findLayout->setContentsMargins(2, 2, 2, 2);
    auto* findLabel = new QLabel(QStringLiteral("&Find:"), m_findBar);
    m_findEdit = new QLineEdit(m_findBar);
    m_findEdit->setObjectName(QStringLiteral("LogFindEdit"));
    m_findEdit->setToolTip(QStringLiteral("Enter: next match, Shift+Enter: previous, Esc: close"));
    findLabel->setBuddy(m_findEdit);
    m_findCount = new QLabel(m_findBar);
    m_findCount->setObjectName(QStringLiteral("LogFindCount"));
    findLayout->addWidget(findLabel);
    findLayout->addWidget(m_findEdit, 1);
    findLayout->addWidget(m_findCount);
    m_findBar->hide();
    layout->addWidget(m_findBar);
    m_findEdit->installEventFilter(this);
    connect(m_findEdit, &QLineEdit::textChanged, this, [this] {
        HighlightMatches();
        // Incremental: the first match from the top of the current selection.
        QTextCursor cursor = m_richEditLog->textCursor();
        cursor.setPosition(cursor.selectionStart());
        m_richEditLog->setTextCursor(cursor);
        FindNext(false);
    });
    setWidget(body);

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
    CreateViewTools();

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
        m_logFileName = QFile::decodeName(
            tallyhost::LogFileNameFor(QFile::encodeName(terminalFileName).toStdString()).c_str());
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

void TFormChildLogWindow::CreateViewTools()
{
    const auto add = [this](const char* name, const QString& text, const QKeySequence& key) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        if (!key.isEmpty())
            action->setShortcut(key);
        // Only while the log window has the focus: the main window's shortcuts stay theirs.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
        m_popupMenuLog->addAction(action);
        return action;
    };
    m_popupMenuLog->addSeparator();
    m_actionTimeColumn = add("MenuItemTimeColumn", QStringLiteral("&Time column"),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    m_actionTextColumn = add("MenuItemTextColumn", QStringLiteral("Bytes as te&xt"),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X));
    m_actionResponseTime = add("MenuItemResponseTime", QStringLiteral("&Response times"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    for (QAction* action : {m_actionTimeColumn, m_actionTextColumn, m_actionResponseTime}) {
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this] {
            SetColumns({m_actionTimeColumn->isChecked(), m_actionTextColumn->isChecked(),
                        m_actionResponseTime->isChecked()});
            m_source.StoreViewColumns(m_columns.time, m_columns.text, m_columns.response);
        });
    }
    m_popupMenuLog->addSeparator();
    connect(add("MenuItemFind", QStringLiteral("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F)),
            &QAction::triggered, this, &TFormChildLogWindow::MenuItemFindClick);
    connect(add("MenuItemFindNext", QStringLiteral("Find &next"), QKeySequence(Qt::Key_F3)),
            &QAction::triggered, this, [this] { FindNext(false); });
    connect(add("MenuItemFindPrevious", QStringLiteral("Find &previous"),
                QKeySequence(Qt::SHIFT | Qt::Key_F3)),
            &QAction::triggered, this, [this] { FindNext(true); });
    m_popupMenuLog->addSeparator();
    connect(add("MenuItemCopyAll", QStringLiteral("Copy &all"),
                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)),
            &QAction::triggered, this, &TFormChildLogWindow::MenuItemCopyAllClick);
    connect(add("MenuItemSaveAs", QStringLiteral("&Save as..."),
                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)),
            &QAction::triggered, this, &TFormChildLogWindow::MenuItemSaveAsClick);

    const TLogSettings settings = m_source.LogSettings();
    m_columns = {settings.TimeColumn, settings.TextColumn, settings.ResponseTime};
    m_actionTimeColumn->setChecked(m_columns.time);
    m_actionTextColumn->setChecked(m_columns.text);
    m_actionResponseTime->setChecked(m_columns.response);
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
    if (notification == WM_LOG_WIRE) {
        const QByteArray& bytes = event.Frame();
        const tallyhost::LogLine line = tallyhost::FormatWireLine(
            event.Param() & 0xFF, (event.Param() & kWireFiscalLink) != 0,
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            m_logEveryByte, &known);
        if (!known)
            return;
        WriteFileLine(line.fileLine);
        const QColor& color = line.color == tallyhost::LogColorRole::BadFrame    ? m_badFrameColor
                              : line.color == tallyhost::LogColorRole::Stale     ? m_staleFrameColor
                              : line.color == tallyhost::LogColorRole::KeepAlive ? m_keepAliveColor
                              : line.color == tallyhost::LogColorRole::Late      ? m_lateColor
                                                                                 : m_noiseColor;
        AddViewLine(PendingLine{color, QString::fromLatin1(line.prefix + line.content),
                                QDateTime::currentMSecsSinceEpoch(), bytes, true, -1});
        return;
    }
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
        const bool answer = notification == WM_LOG_HOST_READ || notification == WM_LOG_AUX_READ;
        const bool hasBytes =
            answer || notification == WM_LOG_HOST_WRITE || notification == WM_LOG_AUX_WRITE;
        AddViewLine(PendingLine{color, QString::fromLatin1(line.prefix + line.content),
                                QDateTime::currentMSecsSinceEpoch(), frame, hasBytes,
                                answer && event.HasFrame() ? event.Param() : -1});
    } else {
        ScheduleFlush();
    }
}

void TFormChildLogWindow::AddViewLine(PendingLine line)
{
    m_pending.push_back(std::move(line));
    // Lines beyond the view's capacity would only be dropped again at the flush.
    if (m_pending.size() >= 2 * static_cast<std::size_t>(m_viewLimit)) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + m_viewLimit);
        m_droppedLines += m_viewLimit;
    }
    ScheduleFlush();
}

void TFormChildLogWindow::ScheduleFlush()
{
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

void TFormChildLogWindow::AddNoteLine(const QString& text)
{
    // In the host colour: the window's own lines tell of host commands (a repeat run).
    AddViewLine(PendingLine{m_hostColor, text, QDateTime::currentMSecsSinceEpoch(), {}, false, -1});
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

    // Local time of the time column, worked out once per batch rather than once per line.
    const qint64 utcOffsetMs =
        m_columns.time ? qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000 : 0;

    QTextCursor cursor(m_richEditLog->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    QTextCharFormat charFormat;
    for (const PendingLine& line : m_pending) {
        if (charFormat.foreground().color() != line.color ||
            !charFormat.hasProperty(QTextFormat::ForegroundBrush))
            charFormat.setForeground(line.color);
        if (line.note) {
            cursor.insertText(line.text, charFormat);
        } else {
            cursor.insertText(RenderLine(line, utcOffsetMs), charFormat);
            cursor.block().setUserData(new TLogLineData(
                line.handledAtMs, line.color.rgb(), static_cast<int>(line.text.size()), line.bytes,
                line.hasBytes, line.responseMs));
        }
        cursor.insertBlock();
    }
    cursor.endEditBlock();
    m_pending.clear();
    TrimView();

    if (followTail)
        bar->setValue(bar->maximum());
}

QString TFormChildLogWindow::RenderLine(const PendingLine& line, qint64 utcOffsetMs) const
{
    // The time is built by hand: tens of thousands of lines may be drawn in one burst, and
    // formatting a QTime per line costs more than laying the line out.
    QString text;
    text.reserve(kTimeColumnWidth + line.text.size() +
                 (m_columns.text ? line.bytes.size() + 2 : 0) + 12);
    if (m_columns.time) {
        constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;
        qint64 ms = ((line.handledAtMs + utcOffsetMs) % kDayMs + kDayMs) % kDayMs;
        const auto two = [&text](qint64 value) {
            text += QChar(u'0' + char16_t(value / 10));
            text += QChar(u'0' + char16_t(value % 10));
        };
        two(ms / 3600000);
        text += u':';
        two(ms / 60000 % 60);
        text += u':';
        two(ms / 1000 % 60);
        text += u'.';
        ms %= 1000;
        text += QChar(u'0' + char16_t(ms / 100));
        two(ms % 100);
        text += u' ';
    }
    text += line.text;
    if (m_columns.text && line.hasBytes) {
        // The hex text ends with a blank already.
        text += QLatin1String("| ");
        const std::string printable = tallyhost::BytesAsText(
            std::string_view(line.bytes.constData(), static_cast<std::size_t>(line.bytes.size())));
        text += QLatin1String(printable.data(), static_cast<qsizetype>(printable.size()));
    }
    if (m_columns.response && line.responseMs >= 0)
        text += QStringLiteral(" [%1 ms]").arg(line.responseMs);
    return text;
}

void TFormChildLogWindow::SetColumns(const Columns& columns)
{
    const Columns before = m_columns;
    m_columns = columns;
    m_actionTimeColumn->setChecked(columns.time);
    m_actionTextColumn->setChecked(columns.text);
    m_actionResponseTime->setChecked(columns.response);
    if (before.time != columns.time || before.text != columns.text ||
        before.response != columns.response)
        RedrawLines(before);
}

void TFormChildLogWindow::RedrawLines(const Columns& before)
{
    FlushPendingLines();
    QTextDocument* document = m_richEditLog->document();
    std::vector<PendingLine> lines;
    lines.reserve(static_cast<std::size_t>(document->blockCount()));
    const int timeWidth = before.time ? kTimeColumnWidth : 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const auto* data = dynamic_cast<const TLogLineData*>(block.userData());
        if (!data)
            continue;
        lines.push_back(
            PendingLine{QColor::fromRgb(data->Color), block.text().mid(timeWidth, data->BaseLength),
                        data->HandledAtMs, data->Bytes, data->HasBytes, data->ResponseMs});
    }
    m_richEditLog->clear();
    // The note goes first again, as it was.
    if (m_noteBlock)
        lines.insert(lines.begin(),
                     PendingLine{QColor(Qt::darkGray), DroppedNoteText(), 0, {}, false, -1, true});
    m_pending = std::move(lines);
    FlushPendingLines();
    HighlightMatches();
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
    QTextDocument* document = m_richEditLog->document();
    // The last block is the empty paragraph the next line goes into.
    const int first = m_noteBlock ? 1 : 0;
    const int lines = document->blockCount() - 1 - first;
    if (lines <= m_viewLimit)
        return;
    // Take a twentieth of the view at once: a long run then pays for removing lines and
    // renumbering the rest once every so many batches rather than at every batch.
    const int excess = lines - m_viewLimit + m_viewLimit / 20;
    // An operator reading back through the log keeps the line at the top of the view: the
    // view scrolls by line number, so without this it would jump thousands of lines on at
    // every trim. A cursor on that line follows it through the removal.
    QScrollBar* bar = m_richEditLog->verticalScrollBar();
    const bool followTail = bar->value() >= bar->maximum();
    QTextCursor topLine(document);
    if (!followTail)
        topLine.setPosition(m_richEditLog->cursorForPosition(QPoint(0, 0)).block().position());
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    if (m_noteBlock) {
        cursor.setPosition(document->findBlockByNumber(1).position());
        cursor.setPosition(document->findBlockByNumber(1 + excess).position(),
                           QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        m_droppedLines += excess;
    } else {
        // The lines that leave merge into one empty block, which becomes the note.
        const QTextBlock last = document->findBlockByNumber(excess - 1);
        cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        m_droppedLines += excess;
        m_noteBlock = true;
    }
    // The note's text anew: the count changes with every trim.
    QTextBlock note = document->begin();
    note.setUserData(nullptr);
    cursor.setPosition(note.position());
    cursor.setPosition(note.position() + note.length() - 1, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setForeground(QColor(Qt::darkGray));
    format.setFontItalic(true);
    cursor.insertText(DroppedNoteText(), format);
    cursor.endEditBlock();
    // A line that left the view leaves the operator at the top of what is left.
    if (!followTail)
        bar->setValue(topLine.block().firstLineNumber());
}

QStringList TFormChildLogWindow::ViewLines()
{
    FlushPendingLines();
    QStringList lines;
    QTextDocument* document = m_richEditLog->document();
    lines.reserve(document->blockCount());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines << block.text();
    // The empty paragraph the next line goes into is no line of the log.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

bool TFormChildLogWindow::SaveViewAs(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text;
    for (const QString& line : ViewLines()) {
        // Latin-1 gives every byte of the text column back as it came.
        text += line.toLatin1();
        text += "\r\n";
    }
    file.write(text);
    return file.commit();
}

void TFormChildLogWindow::MenuItemSaveAsClick()
{
    const QString directory =
        m_logFileName.isEmpty() ? QString() : QFileInfo(m_logFileName).absolutePath();
    const QString path = UserDialogs().SaveFileName(
        this, QStringLiteral("Save log as"), directory,
        QStringLiteral("Text files (*.txt);;All files (*)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    if (!SaveViewAs(path))
        ShowErrorBox(this, QStringLiteral("Unable to write to %1").arg(path));
}

void TFormChildLogWindow::MenuItemCopyAllClick()
{
    QGuiApplication::clipboard()->setText(ViewLines().join(u'\n'));
}

void TFormChildLogWindow::MenuItemFindClick()
{
    m_findBar->show();
    m_findEdit->setFocus(Qt::ShortcutFocusReason);
    m_findEdit->selectAll();
    HighlightMatches();
}

void TFormChildLogWindow::CloseFindBar()
{
    m_findBar->hide();
    m_richEditLog->setExtraSelections({});
    m_findCount->clear();
    m_richEditLog->setFocus(Qt::OtherFocusReason);
}

void TFormChildLogWindow::HighlightMatches()
{
    QList<QTextEdit::ExtraSelection> selections;
    const QString text = m_findEdit->text();
    if (m_findBar->isVisible() && !text.isEmpty()) {
        FlushPendingLines();
        QTextDocument* document = m_richEditLog->document();
        QTextCharFormat format;
        format.setBackground(QColor(255, 230, 0));
        QTextCursor cursor(document);
        while (selections.size() < kMaxHighlights) {
            cursor = document->find(text, cursor);
            if (cursor.isNull())
                break;
            selections.append({cursor, format});
        }
    }
    m_richEditLog->setExtraSelections(selections);
    if (text.isEmpty() || !m_findBar->isVisible())
        m_findCount->clear();
    else
        m_findCount->setText(selections.isEmpty()
                                 ? QStringLiteral("No match")
                                 : QStringLiteral("%1 match(es)").arg(selections.size()));
}

int TFormChildLogWindow::HighlightedMatches() const
{
    return static_cast<int>(m_richEditLog->extraSelections().size());
}

bool TFormChildLogWindow::FindNext(bool backward)
{
    const QString text = m_findEdit->text();
    if (text.isEmpty())
        return false;
    FlushPendingLines();
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (m_richEditLog->find(text, flags))
        return true;
    // Round the end (or the start) and once more.
    QTextCursor cursor = m_richEditLog->textCursor();
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    m_richEditLog->setTextCursor(cursor);
    return m_richEditLog->find(text, flags);
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
    if (watched == m_findEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            FindNext((key->modifiers() & Qt::ShiftModifier) != 0);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            CloseFindBar();
            return true;
        }
    }
    if (watched == m_richEditLog->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        // Anywhere on a line's rows shows its time, not only over its characters.
        const QTextBlock block = m_richEditLog->cursorForPosition(help->pos()).block();
        QString tip;
        if (block.isValid() &&
            static_cast<TLogView*>(m_richEditLog)->LineGeometry(block).contains(help->pos()))
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
    m_droppedLines = 0;
    m_noteBlock = false;
    HighlightMatches();
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
