// "&Edit fields" from the tree's popup on a new command: the list editor opens, a field is
// added, the window rebuilds the panel, and the command goes to the printer simulator.

#include "editors/formeditcmdans.h"
#include "editors/formeditcommandrecord.h"
#include "sending_fixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "editors/fieldtypecombobox.h"

using namespace sendingtest;

TEST_F(SendingTest, EditFieldsBuildsANewCommandThatCanBeSent)
{
    StartSimulator(QuickScenario());
    OpenFile("[General]\r\nProtocol=0\r\n[Groups]\r\nG=\r\n[G]\r\nC=\r\n[GC]\r\nCommands=\r\n"
             "Answers=\r\n");
    Select("G", "C");
    EXPECT_EQ(m_window->Definition.FieldCount, 0);
    EXPECT_FALSE(m_window->ButtonSend->isEnabled());

    m_dialogs.OnDialog = [](QDialog& d) {
        d.show();
        QApplication::setActiveWindow(&d);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
        if (auto* rec = qobject_cast<TFormEditCommandRecord*>(&d)) {
            QTest::keyClicks(rec->FieldTypeComboBoxCaption, "&Amount");
            QTest::keyClick(rec, Qt::Key_N, Qt::AltModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // DropDown
            QTest::keyClicks(rec->MemoComboLines, "A1");
            QTest::mouseClick(rec->ButtonOk, Qt::LeftButton);
            return d.result();
        }
        auto* list = qobject_cast<TFormEditCmdAns*>(&d);
        EXPECT_TRUE(list);
        if (!list)
            return int(QDialog::Rejected);
        EXPECT_EQ(list->windowTitle(), "Edit GC commands and answers");
        QTest::mouseClick(list->ButtonAdd, Qt::LeftButton);
        QTest::mouseClick(list->ButtonClose, Qt::LeftButton);
        return d.result();
    };
    QTreeWidget* tree = m_window->TreeViewCommand;
    const QPoint at = tree->visualItemRect(tree->currentItem()).center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &menuEvent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->TerminalWindowPopupMenu->isVisible(); }));
    QTest::keyClick(m_window->TerminalWindowPopupMenu, Qt::Key_E);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->Definition.FieldCount == 1; }));

    EXPECT_EQ(m_window->CurrentCommand, "GC");
    ASSERT_TRUE(m_window->FieldLabels[0]);
    // Alt+A belongs to the "Host &Answer" tab: the label's accelerator moves to a free letter.
    EXPECT_EQ(m_window->Definition.Fields[0].Caption, "&Amount");
    EXPECT_EQ(m_window->FieldLabels[0]->text(), "Am&ount");
    ASSERT_TRUE(m_window->ButtonSend->isEnabled());
    QTest::mouseClick(m_window->ButtonSend, Qt::LeftButton);
    ASSERT_TRUE(WaitForStatus("Ready"));
    EXPECT_EQ(m_framesWritten, 1);
    EXPECT_EQ(m_window->SentCommand, "GC");
    EXPECT_TRUE(m_dialogs.Boxes.empty()) << m_dialogs.Texts().join('|').toStdString();
}
