#include "app_fixture.h"
#include "terminal/commandtree.h"
#include "terminal/terminalwindow.h"

#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>

namespace {

// The terminal window inside the running program: the settings it reads and writes.
class TerminalInMainWindowTest : public AppShellTest
{
protected:
    void Select(const QString& group, const QString& command)
    {
        TFormChildTerminalWindow* w = FormChildTerminalWindow;
        QTreeWidgetItem* root = w->TreeViewCommand->topLevelItem(0);
        for (int g = 0; g < root->childCount(); ++g) {
            for (int c = 0; root->child(g)->text(0) == group && c < root->child(g)->childCount();
                 ++c) {
                if (root->child(g)->child(c)->text(0) == command)
                    w->TreeViewCommand->setCurrentItem(root->child(g)->child(c));
            }
        }
        ASSERT_TRUE(QTest::qWaitFor([w] { return !w->SelectionReportPending(); }));
        ASSERT_EQ(w->CurrentCommand, group + command);
    }
};

const QByteArray HostAndFiscal =
    "[General]\r\nProtocol=0\r\n[Groups]\r\nG=\r\n[G]\r\nHost=\r\nFiscal=\r\n"
    "[GHost]\r\nCommands=0,\"A\",\"\",0,\"\",0,0,0,0,0,0,0\r\n"
    "[GFiscal]\r\nCommands=1,\"B\",\"\",0,\"\",0,0,0,0,0,0,0\r\n";

} // namespace

TEST_F(TerminalInMainWindowTest, PortsDecideSendAndRepeat)
{
    TFormMain& main = Start({WriteTerminalFile(QStringLiteral("files/a.thf"), HostAndFiscal)});
    ASSERT_NE(FormChildTerminalWindow, nullptr);
    TFormChildTerminalWindow* w = FormChildTerminalWindow;

    main.Settings.HostPortOpen = false;
    main.Settings.FiscalPortOpen = true;
    Select("G", "Host");
    EXPECT_TRUE(w->ButtonSend->isEnabled());
    EXPECT_TRUE(w->ButtonRepeat->isEnabled()); // turned on again by the selection change
    Select("G", "Fiscal");
    EXPECT_TRUE(w->ButtonSend->isEnabled());
    EXPECT_FALSE(w->ButtonRepeat->isEnabled());

    main.Settings.FiscalPortOpen = false;
    Select("G", "Host");
    EXPECT_FALSE(w->ButtonSend->isEnabled());
    Select("G", "Fiscal");
    EXPECT_FALSE(w->ButtonSend->isEnabled());
    EXPECT_FALSE(w->ButtonRepeat->isEnabled());

    main.Settings.HostPortOpen = true;
    Select("G", "Host");
    EXPECT_TRUE(w->ButtonSend->isEnabled());
    EXPECT_TRUE(w->ButtonRepeat->isEnabled());
}

TEST_F(TerminalInMainWindowTest, TreeWidthIsStoredOnCloseAndUsedOnOpen)
{
    const QString file = WriteTerminalFile(QStringLiteral("files/a.thf"), HostAndFiscal);
    TFormMain& main = Start({file});
    ASSERT_NE(FormChildTerminalWindow, nullptr);
    FormChildTerminalWindow->Splitter->setSizes({150, 600});
    ASSERT_EQ(FormChildTerminalWindow->TreeViewCommand->width(), 150);
    main.CloseTerminalWindows();
    EXPECT_EQ(main.Settings.TVWidth, 150u);

    auto reopened = std::make_unique<TFormChildTerminalWindow>(file, &main);
    reopened->resize(900, 500);
    reopened->show();
    EXPECT_EQ(reopened->TreeViewCommand->width(), 150);
}
