#include "gui/logview.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>
#include <limits>

using namespace tallyhost;

namespace {

constexpr qreal kMargin = 4; // pixels left of every line and above the first
const QColor kMatchColor(255, 230, 0);
const QColor kCurrentMatchColor(255, 150, 50);
const QColor kNoticeColor(Qt::darkGray);

QString Latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

bool IsLatin1Text(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Lines wrap at the view's width: nothing to scroll sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    m_dpi = logicalDpiY();
    UpdateUtcOffset();
}

TLogView::~TLogView() = default;

// ---- lines ---------------------------------------------------------------------------------

void TLogView::Append(const LogRecord& record, std::string_view payload)
{
    m_store.Append(record, payload);
    if (!m_filter.Active() && m_findUpper.empty())
        return;
    const std::size_t index = m_store.Size() - 1;
    std::string line;
    if (m_filter.Active()) {
        if (!Passes(index, line))
            return;
        m_shown.push_back(m_store.EndSequence() - 1);
    }
    if (!m_findUpper.empty()) {
        if (line.empty())
            FillShownLine(index, line);
        m_matchCount += CountMatches(line);
    }
}

void TLogView::Commit()
{
    QScrollBar* bar = verticalScrollBar();
    const bool followTail = bar->value() >= bar->maximum();
    UpdateUtcOffset();
    UpdateScrollRange();
    if (followTail)
        bar->setValue(bar->maximum());
    viewport()->update();
}

void TLogView::DropOldest(std::size_t count)
{
    count = std::min(count, m_store.Size());
    if (count == 0)
        return;
    QScrollBar* bar = verticalScrollBar();
    const bool followTail = bar->value() >= bar->maximum();
    const std::int64_t top = RowSequence(TopRow());

    // The matches of the lines that leave leave with them.
    if (!m_findUpper.empty()) {
        std::string line;
        for (std::size_t i = 0; i < count; ++i) {
            line.clear();
            if (!m_filter.Active() || Passes(i, line)) {
                if (line.empty())
                    FillShownLine(i, line);
                m_matchCount -= CountMatches(line);
            }
        }
    }
    m_store.DropFront(count);
    const std::uint64_t first = m_store.FirstSequence();
    if (m_filter.Active())
        m_shown.erase(m_shown.begin(), std::lower_bound(m_shown.begin(), m_shown.end(), first));
    // The decode pane must not go on showing a line that left.
    const bool currentLeft = m_current >= 0 && static_cast<std::uint64_t>(m_current) < first;
    if (currentLeft)
        m_current = -1;
    if (m_anchor >= 0 && static_cast<std::uint64_t>(m_anchor) < first)
        m_anchor = -1;
    if (m_matchSequence >= 0 && static_cast<std::uint64_t>(m_matchSequence) < first)
        m_matchSequence = -1;

    UpdateScrollRange();
    if (followTail) {
        bar->setValue(bar->maximum());
    } else {
        // The line that was on top stays there; when it left, the top of what is left.
        const int row = top >= 0 ? RowOfSequence(static_cast<std::uint64_t>(top)) : -1;
        bar->setValue(std::max(row, 0));
    }
    viewport()->update();
    if (currentLeft)
        emit CurrentChanged(-1);
}

void TLogView::Clear()
{
    m_store.Clear();
    m_shown.clear();
    m_notice.clear();
    m_current = m_anchor = m_matchSequence = -1;
    m_matchCount = 0;
    UpdateScrollRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit CurrentChanged(-1);
}

void TLogView::SetLines(LogStore lines)
{
    Clear();
    m_store = std::move(lines);
    Refilter(-1);
    Commit();
}

void TLogView::SetNotice(const QString& text)
{
    if (text == m_notice)
        return;
    const bool rowsChange = text.isEmpty() != m_notice.isEmpty();
    QScrollBar* bar = verticalScrollBar();
    const bool followTail = bar->value() >= bar->maximum();
    const std::int64_t top = RowSequence(TopRow());
    m_notice = text;
    if (rowsChange) {
        UpdateScrollRange();
        if (followTail)
            bar->setValue(bar->maximum());
        else if (top >= 0)
            SetTopRow(RowOfSequence(static_cast<std::uint64_t>(top)));
    }
    viewport()->update();
}

// ---- drawing -------------------------------------------------------------------------------

void TLogView::SetColumns(const LogColumns& columns)
{
    const LogColumns before = m_columns;
    m_columns = columns;
    UpdateUtcOffset();
    // The current match is a place in the shown line, which the time column moves: the match
    // moves with it, or goes when its characters are no longer there (a column switched off).
    if (m_matchSequence >= 0) {
        const auto index = static_cast<std::size_t>(m_matchSequence) - m_store.FirstSequence();
        const LogRecord& record = m_store.At(index);
        const std::int64_t moved = static_cast<std::int64_t>(m_matchPos) +
                                   ShownContentStart(record, columns) -
                                   ShownContentStart(record, before);
        if (moved >= 0 && FindUpper(ShownLine(index), m_findUpper,
                                    static_cast<std::size_t>(moved)) == std::size_t(moved))
            m_matchPos = static_cast<std::size_t>(moved);
        else
            m_matchSequence = -1;
    }
    // What the lines say changed: the matches and a text filter with them.
    if (m_filter.Active() && !m_filter.Text.empty())
        Refilter(m_current);
    RecountMatches();
    UpdateScrollRange();
    viewport()->update();
}

void TLogView::SetTimesAreLocal(bool local)
{
    m_timesLocal = local;
    viewport()->update();
}

void TLogView::SetResolution(int dotsPerInch)
{
    m_dpi = dotsPerInch;
    UpdateScrollRange();
    viewport()->update();
}

qreal TLogView::HangingIndentPixels() const
{
    return HangingIndentPoints(m_dpi) * m_dpi / 72.0;
}

void TLogView::UpdateUtcOffset()
{
    // Once per batch rather than once per line: a find formats every line.
    m_utcOffsetMs = std::int64_t(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
}

void TLogView::FillShownLine(std::size_t index, std::string& out) const
{
    AppendShownLine(m_store.At(index), m_store.Payload(index), m_columns,
                    m_timesLocal ? 0 : m_utcOffsetMs, out);
}

std::string TLogView::ShownLine(std::size_t index) const
{
    std::string line;
    FillShownLine(index, line);
    return line;
}

qreal TLogView::LayoutRow(int row, QTextLayout& layout, bool withFormats) const
{
    const std::int64_t index = IndexOfRow(row);
    QString text;
    QFont font = this->font();
    QColor color = kNoticeColor;
    if (index == -1) {
        text = m_notice;
        font.setItalic(true);
    } else if (index >= 0) {
        text = Latin1(ShownLine(static_cast<std::size_t>(index)));
        color = QColor::fromRgba(m_store.At(static_cast<std::size_t>(index)).Color);
    }
    layout.setText(text);
    layout.setFont(font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    if (withFormats) {
        QList<QTextLayout::FormatRange> formats;
        QTextLayout::FormatRange whole;
        whole.start = 0;
        whole.length = static_cast<int>(text.size());
        whole.format.setForeground(color);
        formats.append(whole);
        if (index >= 0 && !m_findUpper.empty()) {
            const std::string line = text.toLatin1().toStdString();
            const std::uint64_t sequence =
                m_store.FirstSequence() + static_cast<std::uint64_t>(index);
            for (std::size_t at = FindUpper(line, m_findUpper); at != std::string::npos;
                 at = FindUpper(line, m_findUpper, at + 1)) {
                QTextLayout::FormatRange match;
                match.start = static_cast<int>(at);
                match.length = static_cast<int>(m_findUpper.size());
                match.format.setForeground(color);
                const bool current = m_matchSequence >= 0 &&
                                     static_cast<std::uint64_t>(m_matchSequence) == sequence &&
                                     m_matchPos == at;
                match.format.setBackground(current ? kCurrentMatchColor : kMatchColor);
                formats.append(match);
            }
        }
        layout.setFormats(formats);
    }
    const qreal width = std::max<qreal>(viewport()->width() - 2 * kMargin, 40);
    const qreal indent = std::min(HangingIndentPixels(), width / 2);
    const qreal lineHeight = QFontMetricsF(font, viewport()).lineSpacing();
    qreal y = 0;
    layout.beginLayout();
    for (bool first = true;; first = false) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        // The hanging indent: every row after the first starts further right.
        line.setLineWidth(first ? width : width - indent);
        line.setPosition(QPointF(first ? 0 : indent, y));
        y += lineHeight;
    }
    layout.endLayout();
    return std::max(y, lineHeight);
}

qreal TLogView::RowHeight(int row) const
{
    QTextLayout layout;
    return LayoutRow(row, layout, false);
}

void TLogView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const qreal bottom = viewport()->height();
    const int rows = RowCount();
    const int current = CurrentRow();
    int selectionFirst = current;
    int selectionLast = current;
    if (m_anchor >= 0 && current >= 0) {
        const int anchorRow = RowOfSequence(static_cast<std::uint64_t>(m_anchor));
        if (anchorRow >= 0) {
            selectionFirst = std::min(anchorRow, current);
            selectionLast = std::max(anchorRow, current);
        }
    }
    QColor selection = palette().color(QPalette::Highlight);
    selection.setAlpha(70);
    qreal y = kMargin;
    for (int row = TopRow(); row < rows && y < bottom; ++row) {
        QTextLayout layout;
        const qreal height = LayoutRow(row, layout, true);
        if (row >= selectionFirst && row <= selectionLast && selectionFirst >= 0)
            painter.fillRect(QRectF(0, y, viewport()->width(), height), selection);
        layout.draw(&painter, QPointF(kMargin, y));
        y += height;
    }
}

// ---- rows ----------------------------------------------------------------------------------

int TLogView::RowCount() const
{
    const std::size_t lines = m_filter.Active() ? m_shown.size() : m_store.Size();
    return static_cast<int>(std::min<std::size_t>(lines, std::numeric_limits<int>::max() - 1)) +
           (m_notice.isEmpty() ? 0 : 1);
}

std::int64_t TLogView::IndexOfRow(int row) const
{
    if (!m_notice.isEmpty()) {
        if (row == 0)
            return -1;
        --row;
    }
    if (row < 0)
        return -2;
    const auto r = static_cast<std::size_t>(row);
    if (m_filter.Active()) {
        if (r >= m_shown.size())
            return -2;
        return static_cast<std::int64_t>(m_shown[r] - m_store.FirstSequence());
    }
    return r < m_store.Size() ? static_cast<std::int64_t>(r) : -2;
}

std::int64_t TLogView::RowSequence(int row) const
{
    const std::int64_t index = IndexOfRow(row);
    return index < 0 ? -1 : static_cast<std::int64_t>(m_store.FirstSequence()) + index;
}

int TLogView::RowOfSequence(std::uint64_t sequence) const
{
    if (sequence < m_store.FirstSequence() || sequence >= m_store.EndSequence())
        return -1;
    std::uint64_t position = sequence - m_store.FirstSequence();
    if (m_filter.Active()) {
        const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), sequence);
        if (it == m_shown.end() || *it != sequence)
            return -1;
        position = static_cast<std::uint64_t>(it - m_shown.begin());
    }
    return static_cast<int>(position) + (m_notice.isEmpty() ? 0 : 1);
}

QString TLogView::RowText(int row) const
{
    const std::int64_t index = IndexOfRow(row);
    if (index == -1)
        return m_notice;
    if (index < 0)
        return {};
    return Latin1(ShownLine(static_cast<std::size_t>(index)));
}

QColor TLogView::RowColor(int row) const
{
    const std::int64_t index = IndexOfRow(row);
    if (index == -1)
        return kNoticeColor;
    if (index < 0)
        return {};
    return QColor::fromRgba(m_store.At(static_cast<std::size_t>(index)).Color);
}

QStringList TLogView::Lines() const
{
    QStringList lines;
    const int rows = RowCount();
    lines.reserve(rows);
    for (int row = 0; row < rows; ++row)
        lines << RowText(row);
    return lines;
}

QString TLogView::RowToolTip(int row) const
{
    const std::int64_t index = IndexOfRow(row);
    if (index < 0)
        return {};
    const std::int64_t at = m_store.At(static_cast<std::size_t>(index)).HandledAtMs;
    if (at == std::numeric_limits<std::int64_t>::min())
        return {};
    if (m_timesLocal)
        return QTime::fromMSecsSinceStartOfDay(static_cast<int>(at))
            .toString(QStringLiteral("HH:mm:ss.zzz"));
    return QDateTime::fromMSecsSinceEpoch(at).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

int TLogView::TopRow() const
{
    return verticalScrollBar()->value();
}

void TLogView::SetTopRow(int row)
{
    verticalScrollBar()->setValue(row);
}

int TLogView::RowAt(const QPoint& viewportPos) const
{
    qreal y = kMargin;
    const int rows = RowCount();
    for (int row = TopRow(); row < rows && y < viewport()->height(); ++row) {
        const qreal height = RowHeight(row);
        if (viewportPos.y() >= y && viewportPos.y() < y + height)
            return row;
        y += height;
    }
    return -1;
}

QList<QRectF> TLogView::RowLineRects(int row) const
{
    QList<QRectF> rects;
    if (row < TopRow() || row >= RowCount())
        return rects;
    qreal y = kMargin;
    for (int r = TopRow(); r < row; ++r) {
        y += RowHeight(r);
        if (y >= viewport()->height())
            return rects;
    }
    QTextLayout layout;
    LayoutRow(row, layout, false);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        rects << QRectF(kMargin + line.x(), y + line.y(), line.naturalTextWidth(), line.height());
    }
    return rects;
}

qreal TLogView::ContentX(int row) const
{
    const std::int64_t index = IndexOfRow(row);
    if (index < 0)
        return kMargin;
    QTextLayout layout;
    LayoutRow(row, layout, false);
    const int start = ShownContentStart(m_store.At(static_cast<std::size_t>(index)), m_columns);
    return kMargin + layout.lineAt(0).cursorToX(start);
}

void TLogView::UpdateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    const int rows = RowCount();
    // The last page: as many rows from the end as fit in the view.
    const qreal available = viewport()->height() - kMargin;
    qreal used = 0;
    int fit = 0;
    for (int row = rows - 1; row >= 0; --row) {
        used += RowHeight(row);
        if (used > available)
            break;
        ++fit;
    }
    fit = std::max(fit, 1);
    bar->setRange(0, std::max(0, rows - fit));
    bar->setPageStep(fit);
}

void TLogView::EnsureRowVisible(int row)
{
    if (row < 0)
        return;
    if (row < TopRow()) {
        SetTopRow(row);
        return;
    }
    const qreal available = viewport()->height() - kMargin;
    qreal used = 0;
    for (int r = TopRow(); r <= row; ++r) {
        used += RowHeight(r);
        if (used > available) {
            // Shown near the top, with a few lines before it for context.
            SetTopRow(std::max(0, row - 3));
            return;
        }
    }
}

void TLogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    QScrollBar* bar = verticalScrollBar();
    const bool followTail = bar->value() >= bar->maximum();
    UpdateScrollRange();
    if (followTail)
        bar->setValue(bar->maximum());
}

void TLogView::scrollContentsBy(int, int)
{
    viewport()->update();
}

// ---- selection -----------------------------------------------------------------------------

int TLogView::CurrentRow() const
{
    return m_current < 0 ? -1 : RowOfSequence(static_cast<std::uint64_t>(m_current));
}

void TLogView::SetCurrentRow(int row)
{
    SetCurrent(RowSequence(row), false);
    EnsureRowVisible(row);
}

void TLogView::SetCurrent(std::int64_t sequence, bool extend)
{
    if (extend) {
        if (m_anchor < 0)
            m_anchor = m_current;
    } else {
        m_anchor = -1;
    }
    const bool changed = sequence != m_current;
    m_current = sequence;
    viewport()->update();
    if (changed)
        emit CurrentChanged(sequence);
}

QString TLogView::SelectedText() const
{
    if (m_matchSequence >= 0 && m_matchSequence == m_current) {
        const int row = RowOfSequence(static_cast<std::uint64_t>(m_matchSequence));
        return RowText(row).mid(static_cast<qsizetype>(m_matchPos),
                                static_cast<qsizetype>(m_findUpper.size()));
    }
    const int current = CurrentRow();
    if (current < 0)
        return {};
    int first = current;
    int last = current;
    if (m_anchor >= 0) {
        const int anchorRow = RowOfSequence(static_cast<std::uint64_t>(m_anchor));
        if (anchorRow >= 0) {
            first = std::min(first, anchorRow);
            last = std::max(last, anchorRow);
        }
    }
    QStringList lines;
    for (int row = first; row <= last; ++row)
        lines << RowText(row);
    return lines.join(u'\n');
}

void TLogView::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const int row = RowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row >= 0) {
        m_matchSequence = -1;
        SetCurrent(RowSequence(row), (event->modifiers() & Qt::ShiftModifier) != 0);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TLogView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(SelectedText());
        return;
    }
    const int rows = RowCount();
    int row = CurrentRow();
    const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0;
    switch (event->key()) {
    case Qt::Key_Up:
        row = row < 0 ? TopRow() : std::max(0, row - 1);
        break;
    case Qt::Key_Down:
        row = row < 0 ? TopRow() : std::min(rows - 1, row + 1);
        break;
    case Qt::Key_PageUp:
        row = std::max(0, (row < 0 ? TopRow() : row) - verticalScrollBar()->pageStep());
        break;
    case Qt::Key_PageDown:
        row = std::min(rows - 1, (row < 0 ? TopRow() : row) + verticalScrollBar()->pageStep());
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = rows - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (row < 0 || rows == 0)
        return;
    m_matchSequence = -1;
    SetCurrent(RowSequence(row), extend);
    EnsureRowVisible(row);
}

bool TLogView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        // Anywhere on a line's rows shows its time, not only over its characters.
        const QString tip = RowToolTip(RowAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---- find and filter -----------------------------------------------------------------------

qint64 TLogView::CountMatches(const std::string& line) const
{
    qint64 count = 0;
    for (std::size_t at = FindUpper(line, m_findUpper); at != std::string::npos;
         at = FindUpper(line, m_findUpper, at + 1))
        ++count;
    return count;
}

void TLogView::RecountMatches()
{
    m_matchCount = 0;
    if (m_findUpper.empty())
        return;
    std::string line;
    const auto count = [&](std::size_t index) {
        line.clear();
        FillShownLine(index, line);
        m_matchCount += CountMatches(line);
    };
    if (m_filter.Active()) {
        for (const std::uint64_t sequence : m_shown)
            count(static_cast<std::size_t>(sequence - m_store.FirstSequence()));
    } else {
        for (std::size_t i = 0; i < m_store.Size(); ++i)
            count(i);
    }
}

void TLogView::SetFindText(const QString& text)
{
    m_findText = text;
    // Text that no line can hold finds nothing, like no text.
    m_findUpper = IsLatin1Text(text) ? UpperAscii(text.toLatin1().toStdString()) : std::string();
    RecountMatches();
    // A match of the old text is no match of the new one (and is as long as the old one).
    if (m_matchCount == 0)
        m_matchSequence = -1;
    viewport()->update();
}

bool TLogView::FindNext(bool backward, bool includeCurrent)
{
    const int rows = RowCount();
    if (m_findUpper.empty() || m_matchCount == 0 || rows == 0)
        return false;
    // Where the search starts: the current match, else the current line, else the top.
    int row = -1;
    std::size_t from = 0;
    if (m_matchSequence >= 0)
        row = RowOfSequence(static_cast<std::uint64_t>(m_matchSequence));
    if (row >= 0) {
        from = includeCurrent ? m_matchPos : (backward ? m_matchPos : m_matchPos + 1);
    } else {
        row = CurrentRow();
        if (row < 0)
            row = backward ? rows - 1 : 0;
        from = backward ? std::string::npos : 0;
        includeCurrent = true;
    }
    std::string line;
    // Every row once, and the starting row again from its other side.
    for (int step = 0; step <= rows; ++step) {
        const std::int64_t index = IndexOfRow(row);
        if (index >= 0) {
            line.clear();
            FillShownLine(static_cast<std::size_t>(index), line);
            std::size_t found = std::string::npos;
            if (!backward) {
                if (from != std::string::npos)
                    found = FindUpper(line, m_findUpper, from);
            } else {
                // The last match starting before `from` (or at it, for the current one).
                for (std::size_t at = FindUpper(line, m_findUpper); at != std::string::npos;
                     at = FindUpper(line, m_findUpper, at + 1)) {
                    if (from != std::string::npos && (includeCurrent ? at > from : at >= from))
                        break;
                    found = at;
                }
            }
            if (found != std::string::npos) {
                m_matchSequence = static_cast<std::int64_t>(m_store.FirstSequence()) + index;
                m_matchPos = found;
                SetCurrent(m_matchSequence, false);
                EnsureRowVisible(row);
                viewport()->update();
                return true;
            }
        }
        row = backward ? (row == 0 ? rows - 1 : row - 1) : (row + 1 == rows ? 0 : row + 1);
        from = backward ? std::string::npos : 0;
        includeCurrent = true;
    }
    return false;
}

bool TLogView::Passes(std::size_t index, std::string& scratch) const
{
    scratch.clear();
    if (!m_filter.Text.empty())
        FillShownLine(index, scratch);
    return LogFilterMatches(m_filter, m_store.At(index), m_store.Payload(index), scratch);
}

void TLogView::SetFilter(const LogFilter& filter)
{
    LogFilter upper = filter;
    upper.Text = UpperAscii(filter.Text);
    // Each key typed in the filter bar comes here, a pattern half typed too: a filter that
    // changes nothing costs no pass over the lines.
    if (upper == m_filter)
        return;
    // The line the operator is on (or the one at the top) stays in sight; a view following
    // the tail with no line picked goes on following it.
    QScrollBar* bar = verticalScrollBar();
    const bool followTail = m_current < 0 && bar->value() >= bar->maximum();
    const std::int64_t keep = m_current >= 0 ? m_current : RowSequence(TopRow());
    m_filter = std::move(upper);
    Refilter(keep);
    if (followTail)
        bar->setValue(bar->maximum());
}

void TLogView::Refilter(std::int64_t keepSequence)
{
    m_shown.clear();
    if (m_filter.Active()) {
        std::string scratch;
        for (std::size_t i = 0; i < m_store.Size(); ++i)
            if (Passes(i, scratch))
                m_shown.push_back(m_store.FirstSequence() + i);
        // Hidden lines cannot be current.
        if (m_current >= 0 && RowOfSequence(static_cast<std::uint64_t>(m_current)) < 0) {
            m_current = -1;
            emit CurrentChanged(-1);
        }
    }
    m_anchor = -1;
    if (m_matchSequence >= 0 && RowOfSequence(static_cast<std::uint64_t>(m_matchSequence)) < 0)
        m_matchSequence = -1;
    RecountMatches();
    UpdateScrollRange();
    if (keepSequence >= 0) {
        // The kept line, or the first shown line after it.
        int row = RowOfSequence(static_cast<std::uint64_t>(keepSequence));
        if (row < 0 && m_filter.Active()) {
            const auto it = std::lower_bound(m_shown.begin(), m_shown.end(),
                                             static_cast<std::uint64_t>(keepSequence));
            row = it == m_shown.end() ? RowCount() - 1 : RowOfSequence(*it);
        }
        SetTopRow(std::max(0, row - 3));
    }
    viewport()->update();
}
