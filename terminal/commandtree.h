#pragma once

#include <QPoint>
#include <QTreeWidget>

// The command tree: root, groups, commands. Besides showing them it lets a node be dragged
// onto another one to copy it there (nothing is ever moved). Dragging starts only after the
// mouse has travelled 15 pixels with the left button down, so that an ordinary click never
// turns into a copy; what may be dropped where is the same table as the popup's Paste.
class TCommandTreeView : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int DragThreshold = 15;

    explicit TCommandTreeView(QWidget* parent = nullptr);

    // Level of a node: 0 root, 1 group, 2 command; -1 for none.
    static int Level(const QTreeWidgetItem* node);
    // Whether `source` may be dropped on `target` (both non-null).
    static bool CanDrop(const QTreeWidgetItem* target, const QTreeWidgetItem* source);

    QTreeWidgetItem* DragSource() const { return m_dragSource; }
    // Called by the window before a node is deleted (null: before the tree is cleared), so
    // that no stale node pointer survives.
    void ForgetNode(const QTreeWidgetItem* node);

signals:
    // A dragged node was dropped on a node of this tree.
    void NodeDropped(QTreeWidgetItem* target, QTreeWidgetItem* source);
    // A left or right click on the tree (the window then shows the Commands tab).
    void Clicked();

protected:
    // Shift+F10 opens the popup menu at the current node, as the Menu key does.
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QTreeWidgetItem* AcceptableTarget(QDropEvent* event) const;

    QTreeWidgetItem* m_dragSource = nullptr;
    QTreeWidgetItem* m_dropTarget = nullptr;
    QTreeWidgetItem* m_dropSource = nullptr;
    QPoint m_pressPos;
    bool m_pressed = false;
};
