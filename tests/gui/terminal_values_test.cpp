// Values that stay: what is typed into a command's panel comes back when the command is
// selected again, until "Reset values" or a reload of the definitions.

#include "terminal_testutil.h"

#include "editors/fieldtypecombobox.h"

#include <QDateEdit>
#include <QLineEdit>

namespace {

const QByteArray Catalogue = "[Groups]\r\nG=\r\n[G]\r\nA=\r\nB=\r\n"
                             "[GA]\r\nCommands=0,\"&Text\",\"\",0,\"a\",0,20,0,0,0,0,0,0,\"&Day\","
                             "\"\",8,\"\",3,0,0,0,0,0,0\r\n"
                             "[GB]\r\nCommands=0,\"&Name\",\"\",0,\"b\",0,20,0,0,0,0,0\r\n";

} // namespace

class TerminalValuesTest : public TerminalWindowTest
{
protected:
    // Clicks the node as the operator does and waits for the panel it shows.
    void Click(const QStringList& path)
    {
        QTreeWidgetItem* node = Node(path);
        ASSERT_TRUE(node);
        auto* tree = m_window->TreeViewCommand;
        tree->scrollToItem(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(node).center());
        const QString section = path.size() == 2 ? path[0] + path[1] : QString();
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return !m_window->SelectionReportPending() && m_window->CurrentCommand == section;
        }));
    }
    TFieldTypeComboBox* Box(int field) const
    {
        return qobject_cast<TFieldTypeComboBox*>(m_window->FieldInputs[field]);
    }
    void Type(int field, const QString& text)
    {
        QLineEdit* edit = Box(field)->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
};

TEST_F(TerminalValuesTest, TypedValuesComeBackWithTheirCommandUntilReset)
{
    WriteFile(Catalogue);
    auto& w = Open();
    Node({})->setExpanded(true);
    Node({"G"})->setExpanded(true);

    Click({"G", "A"});
    Type(0, QStringLiteral("typed"));
    auto* day = qobject_cast<QDateEdit*>(w.FieldInputs[1]);
    ASSERT_TRUE(day);
    day->setDate(QDate(2024, 2, 29));
    Click({"G", "B"});
    EXPECT_EQ(Box(0)->text(), "b");
    Type(0, QStringLiteral("other"));

    Click({"G", "A"});
    EXPECT_EQ(Box(0)->text(), "typed");
    EXPECT_EQ(qobject_cast<QDateEdit*>(w.FieldInputs[1])->date(), QDate(2024, 2, 29));
    // Through a group, which empties the panel, the values stay too.
    Click({"G"});
    Click({"G", "B"});
    EXPECT_EQ(Box(0)->text(), "other");

    // Reset values brings back the defaults of the shown command only.
    w.TerminalWindowPopupMenuPopup();
    ASSERT_TRUE(w.MenuItemResetValues->isEnabled());
    w.MenuItemResetValues->trigger();
    EXPECT_EQ(Box(0)->text(), "b");
    Click({"G", "A"});
    EXPECT_EQ(Box(0)->text(), "typed");

    // Definitions read again (after Edit fields): every command starts from its defaults.
    w.TerminalWindowPopupMenuPopup();
    ASSERT_TRUE(w.MenuItemEditFields->isEnabled());
    w.MenuItemEditFields->trigger();
    EXPECT_EQ(Box(0)->text(), "a");
    Click({"G", "B"});
    EXPECT_EQ(Box(0)->text(), "b");
    // Nothing of it reached the file.
    EXPECT_EQ(ReadFile(), Catalogue);
}
