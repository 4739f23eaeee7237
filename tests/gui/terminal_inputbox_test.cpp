// The input boxes of the tree edits: wide enough for their whole title, and a rename that
// starts from the name it changes.

#include "terminal_testutil.h"

#include <QApplication>

namespace {

struct SeenBox
{
    QString title;
    QString initial;
    int width = 0;
    int titleWidth = 0;
    int promptWidth = 0;
};

} // namespace

TEST_F(TerminalWindowTest, InputBoxesShowTheirWholeTitleAndRenameStartsWithTheOldName)
{
    const QByteArray catalogue = "[Groups]\r\nEnd of day reports=\r\n"
                                 "[End of day reports]\r\nFinancial summary Z=\r\n"
                                 "[End of day reportsFinancial summary Z]\r\nCommands=\r\n";
    WriteFile(catalogue);
    auto& w = Open();

    std::vector<SeenBox> seen;
    QString answer; // empty: take the box as it opened
    m_dialogs.OnDialog = [&](QDialog& d) {
        auto* input = qobject_cast<QInputDialog*>(&d);
        if (!input)
            return int(QDialog::Rejected);
        d.show();
        QApplication::processEvents();
        seen.push_back({d.windowTitle(), input->textValue(), d.width(),
                        d.fontMetrics().horizontalAdvance(d.windowTitle()),
                        d.fontMetrics().horizontalAdvance(input->labelText())});
        d.hide();
        if (!answer.isEmpty())
            input->setTextValue(answer);
        return int(QDialog::Accepted);
    };

    // OK on the unchanged name renames nothing and says nothing.
    // The popup's items, as the operator picks them: enabled for the selected node.
    auto pick = [&w](QAction* item) {
        w.TerminalWindowPopupMenuPopup();
        ASSERT_TRUE(item->isEnabled()) << item->text().toStdString();
        item->trigger();
    };
    Select(Node({"End of day reports"}));
    pick(w.MenuItemGroupRename);
    Select(Node({"End of day reports", "Financial summary Z"}));
    pick(w.MenuItemCommandRename);
    EXPECT_EQ(ReadFile(), catalogue);
    EXPECT_TRUE(m_dialogs.Boxes.empty()) << m_dialogs.Texts().join('\n').toStdString();

    answer = QStringLiteral("Daily");
    Select(Node({"End of day reports"}));
    w.MemuItemCommandAddClick();

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].title, "Rename group \"End of day reports\"");
    EXPECT_EQ(seen[0].initial, "End of day reports");
    EXPECT_EQ(seen[1].title, "Rename command \"Financial summary Z\"");
    EXPECT_EQ(seen[1].initial, "Financial summary Z");
    EXPECT_EQ(seen[2].title, "Add a new command");
    EXPECT_EQ(seen[2].initial, "");
    for (const SeenBox& box : seen) {
        // The title bar also holds the window buttons; the prompt has margins on both sides.
        EXPECT_GE(box.width, box.titleWidth + 100) << box.title.toStdString();
        EXPECT_GT(box.width, box.promptWidth) << box.title.toStdString();
    }
    EXPECT_EQ(Children(Node({"End of day reports"})),
              QStringList({"Financial summary Z", "Daily"}));
}
