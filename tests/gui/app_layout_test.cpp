// A layout that stays: the terminal and log windows, the tree width and the expanded groups as
// the operator left them come back at the next start; the first start shows both windows.

#include "app/logwindow.h"
#include "app_fixture.h"
#include "terminal/commandtree.h"
#include "terminal/terminalwindow.h"

#include <QApplication>
#include <QMdiArea>
#include <QSplitter>
#include <QTest>
#include <QTreeWidgetItem>

namespace {

const QByteArray Catalogue = "[General]\r\nProtocol=0\r\n[Groups]\r\nA=\r\nB=\r\nC=\r\n"
                             "[A]\r\nOne=\r\n[B]\r\nTwo=\r\n[C]\r\nThree=\r\n";

QTreeWidgetItem* Group(const QString& name)
{
    QTreeWidgetItem* root = FormChildTerminalWindow->TreeViewCommand->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (root->child(i)->text(0) == name)
            return root->child(i);
    }
    return nullptr;
}

} // namespace

TEST_F(AppShellTest, FirstStartShowsBothWindowsAndARestartBringsBackTheLayout)
{
    const QString file = WriteTerminalFile(QStringLiteral("layout.thf"), Catalogue);
    Store()->setValue(QStringLiteral("File"), file);
    {
        TFormMain& w = Start();
        QApplication::processEvents();
        QMdiSubWindow* terminal = FormChildTerminalWindow;
        QMdiSubWindow* log = FormChildLogWindow;
        ASSERT_TRUE(terminal && log);
        // Nothing remembered yet: the terminal window above the log window, both in view.
        const QRect area = w.MdiArea()->viewport()->rect();
        EXPECT_FALSE(terminal->isMinimized() || terminal->isMaximized());
        EXPECT_FALSE(log->isMinimized() || log->isMaximized());
        EXPECT_LE(terminal->geometry().bottom(), log->geometry().top());
        EXPECT_TRUE(area.contains(terminal->geometry()));
        EXPECT_TRUE(area.contains(log->geometry()));
        EXPECT_EQ(terminal->width(), area.width());
    }

    // The operator's arrangement: a bigger frame, the log window moved, the terminal window
    // maximized, the tree dragged wider than it could ever be before, group B opened.
    TFormMain& w = *m_window;
    w.resize(1100, 800);
    QApplication::processEvents();
    QMdiSubWindow* log = FormChildLogWindow;
    log->setGeometry(20, 300, 700, 250);
    FormChildTerminalWindow->showMaximized();
    QApplication::processEvents();

    QSplitterHandle* handle = FormChildTerminalWindow->Splitter->handle(1);
    const QPoint grip = handle->rect().center();
    const int before = FormChildTerminalWindow->TreeViewCommand->width();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(150, 0));
    QTest::mouseMove(handle, grip + QPoint(300, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(300, 0));
    QApplication::processEvents();
    const int treeWidth = FormChildTerminalWindow->TreeViewCommand->width();
    ASSERT_GT(treeWidth, 400) << "dragged from " << before;

    // Group B opened from the keyboard: clicked, then the right arrow.
    auto* tree = FormChildTerminalWindow->TreeViewCommand;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(Group(QStringLiteral("B"))).center());
    QTest::keyClick(tree, Qt::Key_Right);
    ASSERT_TRUE(Group(QStringLiteral("B"))->isExpanded());
    ASSERT_FALSE(Group(QStringLiteral("A"))->isExpanded());

    Exit();
    EXPECT_TRUE(Store()->contains(QStringLiteral("Layout/TerminalGeometry")));

    TFormMain& again = Start();
    QApplication::processEvents();
    EXPECT_EQ(again.size(), QSize(1100, 800));
    ASSERT_TRUE(FormChildTerminalWindow && FormChildLogWindow);
    EXPECT_TRUE(FormChildTerminalWindow->isMaximized());
    EXPECT_FALSE(static_cast<QMdiSubWindow*>(FormChildLogWindow)->isMinimized());
    EXPECT_EQ(static_cast<QMdiSubWindow*>(FormChildLogWindow)->geometry(),
              QRect(20, 300, 700, 250));
    EXPECT_EQ(FormChildTerminalWindow->TreeViewCommand->width(), treeWidth);
    EXPECT_EQ(FormChildTerminalWindow->ExpandedGroups(), QStringList({"B"}));
}
