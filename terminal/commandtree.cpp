#include "terminal/commandtree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include <cstdlib>

namespace {

// The drag carries no data of its own: the dragged node is the tree's drag source. The MIME
// type only marks the drag as ours.
constexpr const char* NodeMimeType = "application/x-tallyhost-tree-node";

// A small drag picture: a stack of pages for a group, one page for a command.
QPixmap DragPixmap(const QWidget* w, int level)
{
    const QIcon icon =
        w->style()->standardIcon(level == 1 ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    QPixmap pm(28, 28);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    if (level == 1)
        p.drawPixmap(8, 8, icon.pixmap(18, 18));
    p.drawPixmap(2, 2, icon.pixmap(18, 18));
    return pm;
}

} // namespace

TCommandTreeView::TCommandTreeView(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setMouseTracking(true); // hot tracking
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

int TCommandTreeView::Level(const QTreeWidgetItem* node)
{
    if (!node)
        return -1;
    int level = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        ++level;
    return level;
}

bool TCommandTreeView::CanDrop(const QTreeWidgetItem* target, const QTreeWidgetItem* source)
{
    const int t = Level(target);
    const int s = Level(source);
    if (s == 1)
        return t == 0 || t == 1;
    if (s == 2)
        return t == 1 || t == 2;
    return false; // the root is never dropped anywhere
}

namespace {
// Whether `node` is `ancestor` or lies below it; a null ancestor stands for every node.
bool IsWithin(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor)
{
    if (!ancestor)
        return true;
    for (const QTreeWidgetItem* p = node; p; p = p->parent()) {
        if (p == ancestor)
            return true;
    }
    return false;
}
} // namespace

void TCommandTreeView::ForgetNode(const QTreeWidgetItem* node)
{
    if (m_dragSource && IsWithin(m_dragSource, node)) {
        m_dragSource = nullptr;
        m_pressed = false;
    }
    if ((m_dropTarget && IsWithin(m_dropTarget, node)) ||
        (m_dropSource && IsWithin(m_dropSource, node))) {
        m_dropTarget = nullptr;
        m_dropSource = nullptr;
    }
}

void TCommandTreeView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QPoint at =
            currentItem() ? visualItemRect(currentItem()).center() : viewport()->rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport(), &menu);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TCommandTreeView::mousePressEvent(QMouseEvent* event)
{
    emit Clicked();
    if (event->button() == Qt::LeftButton) {
        m_dragSource = itemAt(event->position().toPoint());
        m_pressPos = event->position().toPoint();
        m_pressed = m_dragSource != nullptr;
    }
    QTreeWidget::mousePressEvent(event);
}

void TCommandTreeView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton) || !m_dragSource) {
        // Plain hover: keep the hot tracking, never the base class's own drag start.
        if (!(event->buttons() & Qt::LeftButton))
            QTreeWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint d = event->position().toPoint() - m_pressPos;
    if (std::abs(d.x()) < DragThreshold && std::abs(d.y()) < DragThreshold)
        return;
    m_pressed = false;

    auto* drag = new QDrag(this); // owned by Qt's drag manager, deleted after exec
    auto* mime = new QMimeData;
    mime->setData(NodeMimeType, QByteArray());
    drag->setMimeData(mime);
    const int level = Level(m_dragSource);
    if (level > 0)
        drag->setPixmap(DragPixmap(this, level));
    // The root can be picked up but is never accepted: the no-drop cursor shows throughout.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void TCommandTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressed = false;
    QTreeWidget::mouseReleaseEvent(event);
}

QTreeWidgetItem* TCommandTreeView::AcceptableTarget(QDropEvent* event) const
{
    // Only a drag started by a command tree is ours, and only while over a node.
    auto* sourceTree = qobject_cast<TCommandTreeView*>(event->source());
    if (!sourceTree || sourceTree != this || !event->mimeData()->hasFormat(NodeMimeType))
        return nullptr;
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    if (!target || !m_dragSource || !CanDrop(target, m_dragSource))
        return nullptr;
    return target;
}

void TCommandTreeView::dragEnterEvent(QDragEnterEvent* event)
{
    auto* sourceTree = qobject_cast<TCommandTreeView*>(event->source());
    if (sourceTree == this && event->mimeData()->hasFormat(NodeMimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TCommandTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (AcceptableTarget(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TCommandTreeView::dropEvent(QDropEvent* event)
{
    QTreeWidgetItem* target = AcceptableTarget(event);
    QTreeWidgetItem* source = m_dragSource;
    m_dragSource = nullptr;
    if (!target) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Handled after the drag has unwound, since the edit may show boxes. A node removed in
    // the meantime clears the pending pair (ForgetNode), so no stale node is ever used.
    m_dropTarget = target;
    m_dropSource = source;
    QMetaObject::invokeMethod(
        this,
        [this] {
            QTreeWidgetItem* t = m_dropTarget;
            QTreeWidgetItem* s = m_dropSource;
            m_dropTarget = m_dropSource = nullptr;
            if (t && s)
                emit NodeDropped(t, s);
        },
        Qt::QueuedConnection);
}
