#pragma once

#include "core/logrecord.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

class QTextLayout;

// Whether every character of `text` is a Latin-1 one, as every character of a shown line is:
// text that is not can match no line (QString::toLatin1 would make its other characters '?').
bool IsLatin1Text(const QString& text);

// A read-only view of log records (core/logrecord.h), each turned into text only when it is
// drawn: a million lines cost their records, not a laid-out document. A line too long for the
// view wraps, and its second and later rows start the hanging indent to the right of its first
// row (48 points on a 96 dpi screen, 44 points otherwise), under the frame text rather than
// under the prefix.
//
// The view scrolls by line: the scroll bar's value is the line at the top. A filter shows
// only the lines that pass it (a list of their sequence numbers, not copies); find highlights
// every match in the lines shown and moves to the next or previous one. A notice (the lines
// that left the view) may stand above the first line. Lines are selected with the mouse and
// the keyboard; the current line is what the decode pane shows.
class TLogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TLogView(QWidget* parent = nullptr);
    ~TLogView() override;

    // ---- lines ----
    // Adds a line; it shows after the next Commit (batches are committed together).
    void Append(const tallyhost::LogRecord& record, std::string_view payload);
    // Shows what was appended: the scroll range grows, and a view at its last line follows
    // the new ones.
    void Commit();
    // The oldest lines leave; an operator reading further up keeps the line they read at the
    // top (or gets the top of what is left when that line went).
    void DropOldest(std::size_t count);
    void Clear();
    // Shows `lines` in place of what the view held (a log read back).
    void SetLines(tallyhost::LogStore lines);
    const tallyhost::LogStore& Store() const { return m_store; }
    std::size_t LineCount() const { return m_store.Size(); }
    // A line of the program's own above the first line (empty: none), in grey italics.
    void SetNotice(const QString& text);
    QString Notice() const { return m_notice; }

    // ---- how lines are drawn ----
    void SetColumns(const tallyhost::LogColumns& columns);
    const tallyhost::LogColumns& Columns() const { return m_columns; }
    // Handling times are local already (a log read back from a file): the time column shows
    // them as they are.
    void SetTimesAreLocal(bool local);
    static int HangingIndentPoints(int dotsPerInch) { return dotsPerInch == 96 ? 48 : 44; }
    // The screen resolution the indent is chosen and measured by (the screen's by default).
    void SetResolution(int dotsPerInch);
    int Resolution() const { return m_dpi; }
    qreal HangingIndentPixels() const;

    // ---- rows: the notice (when there is one) and the lines the filter shows ----
    int RowCount() const;
    QString RowText(int row) const;
    QColor RowColor(int row) const;
    // The line's sequence number (LogStore); -1 for the notice or a row beyond the end.
    std::int64_t RowSequence(int row) const;
    // The row of a line, -1 when it left the view or the filter hides it.
    int RowOfSequence(std::uint64_t sequence) const;
    QStringList Lines() const;
    // The line's handling time as its tool tip shows it; empty for the notice and beyond.
    QString RowToolTip(int row) const;
    int TopRow() const;
    void SetTopRow(int row);
    // The row drawn at a point of the viewport, -1 for none.
    int RowAt(const QPoint& viewportPos) const;
    // The rows a shown line is wrapped into, in viewport coordinates (empty when not shown),
    // and the x of its content (after the columns and the prefix) on its first row.
    QList<QRectF> RowLineRects(int row) const;
    qreal ContentX(int row) const;

    // ---- selection ----
    int CurrentRow() const;
    std::int64_t CurrentSequence() const { return m_current; }
    void SetCurrentRow(int row);
    // The current match of find, else the selected lines (one a line).
    QString SelectedText() const;

    // ---- find and filter ----
    void SetFindText(const QString& text);
    QString FindText() const { return m_findText; }
    // Matches of the find text in the rows shown.
    qint64 MatchCount() const { return m_matchCount; }
    // Moves to the next (or previous) match, going round the ends; false when there is none.
    // From the start of the current match with `includeCurrent` (the text was just typed).
    bool FindNext(bool backward, bool includeCurrent = false);
    void SetFilter(const tallyhost::LogFilter& filter);
    const tallyhost::LogFilter& Filter() const { return m_filter; }

signals:
    // The current line changed (-1: none).
    void CurrentChanged(qint64 sequence);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The record index of a row, -1 for the notice, -2 beyond the end.
    std::int64_t IndexOfRow(int row) const;
    std::string ShownLine(std::size_t index) const;
    void FillShownLine(std::size_t index, std::string& out) const;
    qint64 CountMatches(const std::string& line) const;
    void RecountMatches();
    void Refilter(std::int64_t keepSequence);
    bool Passes(std::size_t index, std::string& scratch) const;
    // Lays out a row's text with the hanging indent; its height in pixels.
    qreal LayoutRow(int row, QTextLayout& layout, bool withFormats) const;
    qreal RowHeight(int row) const;
    void UpdateScrollRange();
    void EnsureRowVisible(int row);
    void SetCurrent(std::int64_t sequence, bool extend);
    void UpdateUtcOffset();

    tallyhost::LogStore m_store;
    tallyhost::LogColumns m_columns;
    tallyhost::LogFilter m_filter;
    std::vector<std::uint64_t> m_shown; // sequences the filter lets through (when active)
    QString m_notice;
    bool m_timesLocal = false;
    std::int64_t m_utcOffsetMs = 0;
    int m_dpi = 96;

    std::int64_t m_current = -1; // sequence of the current line
    std::int64_t m_anchor = -1;  // the other end of a selection of lines
    QString m_findText;
    std::string m_findUpper;
    qint64 m_matchCount = 0;
    std::int64_t m_matchSequence = -1; // the current match
    std::size_t m_matchPos = 0;
};
