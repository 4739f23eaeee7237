// The arrangement of the terminal and log windows: where the operator left them (sizes,
// positions, maximized or minimized) and which groups of the command tree were open, brought
// back when the next file opens, also at the next start. The very first time both windows are
// tiled, the terminal window above the log window, so the log is seen from the start.

#include "app/formmain.h"
#include "app/logwindow.h"
#include "terminal/terminalwindow.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>

namespace {

// Share of the area the terminal window takes above the log window at the first start.
constexpr int TerminalShareOfHeightPercent = 60;

TChildPlacement PlacementOf(const QMdiSubWindow* window, const QRect& normalGeometry)
{
    TChildPlacement p;
    p.Maximized = window->isMaximized();
    p.Minimized = window->isMinimized();
    p.Geometry = p.Maximized || p.Minimized ? normalGeometry : window->geometry();
    return p;
}

// Puts the window where it stood when neither maximized nor minimized; the states come after
// both windows stand, as the area maximizes a window that is activated while another one is
// maximized, and gives it back its previous geometry when that one is restored.
void PlaceNormal(QMdiSubWindow* window, const TChildPlacement& placement, const QRect& area)
{
    window->showNormal();
    QRect geometry = placement.Geometry;
    // The area may be smaller than at the last run: keep the window's title bar within reach.
    geometry.setSize(geometry.size().boundedTo(area.size()));
    if (geometry.right() > area.right())
        geometry.moveRight(area.right());
    if (geometry.bottom() > area.bottom())
        geometry.moveBottom(area.bottom());
    geometry.moveTopLeft(
        QPoint(std::max(geometry.left(), area.left()), std::max(geometry.top(), area.top())));
    window->setGeometry(geometry);
}

void ApplyState(QMdiSubWindow* window, const TChildPlacement& placement)
{
    if (placement.Maximized)
        window->showMaximized();
    else if (placement.Minimized)
        window->showMinimized();
}

} // namespace

void TFormMain::PlaceTerminalWindows(TFormChildTerminalWindow* terminal, TFormChildLogWindow* log)
{
    terminal->ExpandGroups(Settings.Layout.ExpandedGroups);
    const QRect area = m_mdiArea->viewport()->rect();
    const TWindowLayout& layout = Settings.Layout;
    if (area.height() < 200 || area.width() < 200) {
        // No room to arrange anything: the terminal window in full, the log window as an icon.
        log->showMinimized();
        terminal->showMaximized();
        m_mdiArea->setActiveSubWindow(terminal);
        return;
    }
    if (!layout.Terminal.Geometry.isEmpty() && !layout.Log.Geometry.isEmpty()) {
        PlaceNormal(log, layout.Log, area);
        PlaceNormal(terminal, layout.Terminal, area);
        ApplyState(log, layout.Log);
        ApplyState(terminal, layout.Terminal);
        // The maximized window is the one to activate: activating the other would maximize
        // it as well.
        m_mdiArea->setActiveSubWindow(layout.Log.Maximized && !layout.Terminal.Maximized
                                          ? static_cast<QMdiSubWindow*>(log)
                                          : terminal);
        return;
    }
    const int terminalHeight = area.height() * TerminalShareOfHeightPercent / 100;
    terminal->showNormal();
    terminal->setGeometry(area.left(), area.top(), area.width(), terminalHeight);
    log->showNormal();
    log->setGeometry(area.left(), area.top() + terminalHeight, area.width(),
                     area.height() - terminalHeight);
    m_mdiArea->setActiveSubWindow(terminal);
}

void TFormMain::RememberTerminalWindows()
{
    if (!FormChildTerminalWindow || !FormChildLogWindow)
        return;
    Settings.Layout.Terminal = PlacementOf(FormChildTerminalWindow, m_terminalNormalGeometry);
    Settings.Layout.Log = PlacementOf(FormChildLogWindow, m_logNormalGeometry);
    Settings.Layout.ExpandedGroups = FormChildTerminalWindow->ExpandedGroups();
}

void TFormMain::TrackNormalGeometry(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Move && event->type() != QEvent::Resize)
        return;
    QRect* normal = nullptr;
    if (FormChildTerminalWindow && watched == FormChildTerminalWindow)
        normal = &m_terminalNormalGeometry;
    else if (FormChildLogWindow && watched == FormChildLogWindow)
        normal = &m_logNormalGeometry;
    if (!normal)
        return;
    const auto* window = static_cast<QMdiSubWindow*>(watched);
    if (!window->isMaximized() && !window->isMinimized())
        *normal = window->geometry();
}
