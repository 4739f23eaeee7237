#include "terminal/formoverwritenewcommand.h"
#include "terminal_testutil.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

namespace {

const QByteArray Catalogue = "[General]\r\nProtocol=0\r\n"
                             "[Groups]\r\nDaily=\r\nSetup=\r\n"
                             "[Daily]\r\nOpen=\r\nClose=\r\n"
                             "[DailyOpen]\r\nCommands=0,\"Cashier\",\"\",0,\"\",0,8,0,0,0,0,0\r\n"
                             "Answers=\r\n"
                             "[DailyClose]\r\nCommands=\r\nAnswers=\r\n"
                             "[Setup]\r\nClock=\r\n"
                             "[SetupClock]\r\nCommands=x,\"Bad\",\"\",0,\"\",0,0,0,0,0,0,0\r\n";

} // namespace

TEST_F(TerminalWindowTest, TreeShowsGroupsAndCommandsInFileOrder)
{
    WriteFile(Catalogue);
    auto& w = Open();
    EXPECT_EQ(w.windowTitle(), m_path);
    ASSERT_EQ(w.TreeViewCommand->topLevelItemCount(), 1);
    EXPECT_EQ(Node({})->text(0), "Root");
    EXPECT_EQ(Children(Node({})), QStringList({"Daily", "Setup"}));
    EXPECT_EQ(Children(Node({"Daily"})), QStringList({"Open", "Close"}));
    EXPECT_TRUE(Node({})->isExpanded());
    EXPECT_FALSE(Node({"Daily"})->isExpanded());
}

TEST_F(TerminalWindowTest, MistypedHeadingIsNoPhantomCommand)
{
    // "[broken" lacks its "]": not a heading, and without "=" not a key either. An LF file.
    WriteFile("[Groups]\nDaily=\n[broken\n[Daily]\nOpen=\n[broken\n[DailyOpen]\nCommands=\n");
    Open();
    EXPECT_EQ(Children(Node({})), QStringList({"Daily"}));
    EXPECT_EQ(Children(Node({"Daily"})), QStringList({"Open"}));
}

TEST_F(TerminalWindowTest, MissingFileShowsOnlyTheRootAndTheFirstEditCreatesIt)
{
    auto& w = Open();
    EXPECT_EQ(Children(Node({})), QStringList());
    Select(Node({}));
    m_answers.push_back({"Daily"});
    w.MenuItemGroupAddClick();
    EXPECT_EQ(ReadFile(), "[Groups]\r\nDaily=\r\n");
    EXPECT_EQ(m_dialogTitles, QStringList({"Add a new group"}));
    EXPECT_EQ(Children(Node({})), QStringList({"Daily"}));
}

TEST_F(TerminalWindowTest, PopupMenuFollowsTheSelection)
{
    WriteFile(Catalogue);
    auto& w = Open();
    auto state = [&] {
        w.TerminalWindowPopupMenuPopup();
        return QList<bool>{w.MenuItemCopyCommand->isEnabled(),
                           w.MenuItemPasteCommand->isEnabled(),
                           w.MenuItemGroupPopUp->menuAction()->isEnabled(),
                           w.MenuItemGroupRename->isEnabled(),
                           w.MenuItemCommandPopUp->menuAction()->isEnabled(),
                           w.MenuItemCommandRename->isEnabled(),
                           w.MenuItemEditFields->isEnabled()};
    };
    Select(Node({"Daily", "Open"}));
    EXPECT_EQ(state(), QList<bool>({true, false, false, true, true, true, true}));
    w.MenuItemCopyCommandClick();
    EXPECT_EQ(state(), QList<bool>({true, true, false, true, true, true, true}));
    Select(Node({"Daily"}));
    EXPECT_EQ(state(), QList<bool>({true, true, true, true, true, false, false}));
    // A copied command cannot go to the root.
    Select(Node({}));
    EXPECT_EQ(state(), QList<bool>({false, false, true, false, false, false, false}));
    Select(Node({"Setup"}));
    w.MenuItemCopyCommandClick();
    Select(Node({}));
    EXPECT_EQ(state(), QList<bool>({false, true, true, false, false, false, false}));
    // Opening with nothing selected forgets the copy.
    w.TreeViewCommand->setCurrentItem(nullptr);
    EXPECT_EQ(state(), QList<bool>({false, false, true, false, false, false, false}));
    EXPECT_FALSE(w.Copied());
    EXPECT_TRUE(w.MemuItemCommandAdd->isEnabled());
    EXPECT_TRUE(w.MenuItemGroupAdd->isEnabled());
}

TEST_F(TerminalWindowTest, GroupEditsWriteTheFileAndRefuseTakenNames)
{
    WriteFile(Catalogue);
    auto& w = Open();
    Select(Node({}));
    m_answers.push_back({"groups"});
    m_answers.push_back({"  daily "});
    m_answers.push_back({"Bad=Name"});
    w.MenuItemGroupAddClick();
    w.MenuItemGroupAddClick();
    w.MenuItemGroupAddClick();
    ASSERT_EQ(m_dialogs.Texts().size(), 3);
    EXPECT_EQ(m_dialogs.Texts()[0], "Group already exists");
    EXPECT_EQ(m_dialogs.Texts()[1], "Group already exists");
    EXPECT_TRUE(m_dialogs.Texts()[2].contains("Bad=Name"));
    EXPECT_EQ(ReadFile(), Catalogue);

    // Names are cut to 25 characters.
    m_answers.push_back({"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"});
    w.MenuItemGroupAddClick();
    EXPECT_TRUE(Children(Node({})).contains("ABCDEFGHIJKLMNOPQRSTUVWXY"));

    Select(Node({"Daily"}));
    m_answers.push_back({"Day"});
    w.MenuItemGroupRenameClick();
    EXPECT_EQ(m_dialogTitles.last(), "Rename group \"Daily\"");
    EXPECT_EQ(Children(Node({})).first(), "Day"); // the node stays in place
    EXPECT_TRUE(
        ReadFile().contains("[Groups]\r\nSetup=\r\nABCDEFGHIJKLMNOPQRSTUVWXY=\r\nDay=\r\n"));
    EXPECT_TRUE(ReadFile().contains("[DayOpen]\r\nCommands=0,\"Cashier\""));
    EXPECT_FALSE(ReadFile().contains("[DailyOpen]"));

    Select(Node({"Day"}));
    m_dialogs.Answers.push_back(QMessageBox::Cancel);
    w.MenuItemGroupRemoveClick();
    EXPECT_TRUE(ReadFile().contains("[Day]"));
    w.MenuItemGroupRemoveClick();
    EXPECT_EQ(m_dialogs.Texts().last(), "Are you sure you want to delete group \"Day\" ?");
    EXPECT_FALSE(ReadFile().contains("Day"));
    EXPECT_EQ(Children(Node({})), QStringList({"Setup", "ABCDEFGHIJKLMNOPQRSTUVWXY"}));
}

TEST_F(TerminalWindowTest, CommandEditsRefuseSectionsOfOtherData)
{
    WriteFile("[Groups]\r\nFiscal=\r\n[FiscalAnswer]\r\nRecord1=1,1,1,1,\"x\",clRed\r\n");
    auto& w = Open();
    Select(Node({"Fiscal"}));
    m_answers.push_back({"Answer"});
    w.MemuItemCommandAddClick();
    EXPECT_EQ(m_dialogs.Texts(), QStringList({"The command already exists"}));
    EXPECT_EQ(Children(Node({"Fiscal"})), QStringList());

    m_answers.push_back({"Status"});
    w.MemuItemCommandAddClick();
    EXPECT_EQ(Children(Node({"Fiscal"})), QStringList({"Status"}));
    EXPECT_TRUE(ReadFile().endsWith("[Fiscal]\r\nStatus=\r\n"
                                    "[FiscalStatus]\r\nCommands=\r\nAnswers=\r\n"));

    Select(Node({"Fiscal", "Status"}));
    m_answers.push_back({"Answer"});
    w.MenuItemCommandRenameClick();
    EXPECT_EQ(m_dialogs.Texts().last(), "The command already exists");
    m_answers.push_back({"State"});
    w.MenuItemCommandRenameClick();
    EXPECT_EQ(Node({"Fiscal"})->child(0)->text(0), "State");
    EXPECT_TRUE(ReadFile().contains("[FiscalState]"));

    w.MenuItemCommandRemoveClick();
    EXPECT_EQ(m_dialogs.Texts().last(), "Are you sure you want to delete command \"State\" ?");
    EXPECT_FALSE(ReadFile().contains("State"));
    EXPECT_TRUE(ReadFile().contains("Record1=1,1,1,1,\"x\",clRed"));
}

TEST_F(TerminalWindowTest, PastingGroupsAndCommandsByLevel)
{
    WriteFile(Catalogue);
    auto& w = Open();
    Select(Node({"Daily"}));
    w.MenuItemCopyCommandClick();
    Select(Node({}));
    w.MenuItemPasteCommandClick();
    w.MenuItemPasteCommandClick();
    EXPECT_EQ(Children(Node({})), QStringList({"Daily", "Setup", "Daily1", "Daily2"}));
    EXPECT_EQ(Children(Node({"Daily2"})), QStringList({"Open", "Close"}));
    EXPECT_TRUE(ReadFile().contains("[Daily2Open]\r\nCommands=0,\"Cashier\""));

    // A command onto a command of another group: copied into that group.
    Select(Node({"Daily", "Open"}));
    w.MenuItemCopyCommandClick();
    Select(Node({"Setup", "Clock"}));
    w.MenuItemPasteCommandClick();
    EXPECT_EQ(Children(Node({"Setup"})), QStringList({"Clock", "Open"}));

    // Again: the name exists, so the overwrite question comes; New asks for another name.
    m_answers.push_back({QString(), TFormOverwriteNewCommand::mrNew});
    m_answers.push_back({"Open"}); // still taken: asked again
    m_answers.push_back({QString(), TFormOverwriteNewCommand::mrNew});
    m_answers.push_back({"Reopen"});
    w.MenuItemPasteCommandClick();
    EXPECT_EQ(m_dialogTitles, QStringList({"Warning", "Input text:", "Warning", "Input text:"}));
    EXPECT_EQ(Children(Node({"Setup"})), QStringList({"Clock", "Open", "Reopen"}));
    EXPECT_TRUE(ReadFile().contains("[SetupReopen]\r\nCommands=0,\"Cashier\""));

    // Cancel leaves everything as it was; a command pasted on the root does nothing.
    const QByteArray before = ReadFile();
    m_answers.push_back({QString(), TFormOverwriteNewCommand::mrCancel});
    w.MenuItemPasteCommandClick();
    w.PasteNode(Node({}), Node({"Daily", "Open"}));
    EXPECT_EQ(ReadFile(), before);
    EXPECT_FALSE(TCommandTreeView::CanDrop(Node({}), Node({"Daily", "Open"})));
    EXPECT_FALSE(TCommandTreeView::CanDrop(Node({"Daily"}), Node({})));
    EXPECT_TRUE(TCommandTreeView::CanDrop(Node({"Setup", "Clock"}), Node({"Daily", "Open"})));
}

TEST_F(TerminalWindowTest, MergingAGroupAsksBeforeOverwriting)
{
    WriteFile("[Groups]\r\nA=\r\nB=\r\n"
              "[A]\r\nX=\r\nY=\r\n[AX]\r\nCommands=\r\nAnswers=\"ax\",0,0\r\n"
              "[AY]\r\nCommands=\r\nAnswers=\"ay\",0,0\r\n"
              "[B]\r\nX=\r\n[BX]\r\nCommands=\r\nAnswers=\"bx\",0,0\r\n");
    auto& w = Open();
    m_dialogs.Answers.push_back(QMessageBox::Cancel);
    w.PasteNode(Node({"B"}), Node({"A"}));
    EXPECT_EQ(m_dialogs.Texts(), QStringList({"\"X\" command already exists, ovewrite?"}));
    EXPECT_EQ(Children(Node({"B"})), QStringList({"X", "Y"}));
    EXPECT_TRUE(ReadFile().contains("[BX]\r\nCommands=\r\nAnswers=\"bx\",0,0\r\n"));
    EXPECT_TRUE(ReadFile().contains("[BY]\r\nCommands=\r\nAnswers=\"ay\",0,0\r\n"));

    m_dialogs.Answers.push_back(QMessageBox::Ok);
    m_dialogs.Answers.push_back(QMessageBox::Ok);
    w.PasteNode(Node({"B"}), Node({"A"}));
    EXPECT_TRUE(ReadFile().contains("[BX]\r\nCommands=\r\nAnswers=\"ax\",0,0\r\n"));
    EXPECT_EQ(Children(Node({"B"})), QStringList({"X", "Y"}));
}

TEST_F(TerminalWindowTest, ReadOnlyFileRefusesEditsAndKeepsTheTree)
{
    WriteFile(Catalogue);
    auto& w = Open();
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadUser);
    Select(Node({}));
    m_answers.push_back({"New"});
    w.MenuItemGroupAddClick();
    EXPECT_EQ(m_dialogs.Texts(), QStringList({"Unable to write to " + m_path}));
    Select(Node({"Daily"}));
    m_answers.push_back({"Renamed"});
    w.MenuItemGroupRenameClick();
    EXPECT_EQ(Children(Node({})), QStringList({"Daily", "Setup"}));
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(ReadFile(), Catalogue);
}

TEST_F(TerminalWindowTest, SelectingACommandBuildsItsPanelAfterADelay)
{
    WriteFile(Catalogue);
    auto& w = Open();
    w.PageControl->setCurrentWidget(w.TabSheetFiscalAnswer);
    EXPECT_FALSE(w.ButtonPanel->isVisible());
    w.TreeViewCommand->setCurrentItem(Node({"Daily", "Open"}));
    EXPECT_TRUE(w.CurrentCommand.isEmpty()); // reported only after 50 ms
    EXPECT_TRUE(w.SelectionReportPending());
    QElapsedTimer waited;
    waited.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.SelectionReportPending(); }));
    EXPECT_GE(waited.elapsed(), 45);
    EXPECT_EQ(w.CurrentCommand, "DailyOpen");
    EXPECT_EQ(w.PageControl->currentWidget(), w.TabSheetCommand);
    EXPECT_TRUE(w.ButtonPanel->isVisible());
    ASSERT_NE(w.FieldLabels[0], nullptr);
    EXPECT_EQ(w.FieldLabels[0]->text(), "Cashier");
    // No port is open: the panel leaves Send off, and the selection change turns Repeat on
    // for a host command all the same.
    EXPECT_FALSE(w.ButtonSend->isEnabled());
    EXPECT_TRUE(w.ButtonRepeat->isEnabled());

    Select(Node({"Daily"}));
    EXPECT_TRUE(w.CurrentCommand.isEmpty());
    EXPECT_EQ(w.FieldLabels[0], nullptr);
    EXPECT_FALSE(w.ButtonSend->isEnabled());
    EXPECT_FALSE(w.ButtonRepeat->isEnabled());
}

TEST_F(TerminalWindowTest, BrokenDefinitionShowsOneErrorAndAnEmptyPanel)
{
    WriteFile(Catalogue);
    auto& w = Open();
    Select(Node({"Setup", "Clock"}));
    EXPECT_EQ(m_dialogs.Texts(), QStringList({"'x' is not a valid integer value"}));
    EXPECT_EQ(w.FieldLabels[0], nullptr);
    EXPECT_FALSE(w.ButtonSend->isEnabled());
    EXPECT_FALSE(w.ButtonRepeat->isEnabled());
}

TEST_F(TerminalWindowTest, CloseBoxOnlyMinimizes)
{
    WriteFile(Catalogue);
    auto& w = Open();
    w.close();
    EXPECT_TRUE(w.isMinimized());
    EXPECT_FALSE(TFormChildTerminalWindow::IsFreeSectionName("printeranswer"));
    EXPECT_TRUE(TFormChildTerminalWindow::IsFreeSectionName("Printer"));
}

TEST_F(TerminalWindowTest, FileInADirectoryWithANonAsciiNameIsReadAndWritten)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("caf\u00e9 \u0416")));
    m_path = m_dir.filePath(QStringLiteral("caf\u00e9 \u0416/t.thf"));
    WriteFile(Catalogue);
    auto& w = Open();
    EXPECT_EQ(Children(Node({})), QStringList({"Daily", "Setup"}));
    Select(Node({}));
    m_answers.push_back({"Extra"});
    w.MenuItemGroupAddClick();
    EXPECT_TRUE(ReadFile().contains("Setup=\r\nExtra=\r\n"));
    EXPECT_TRUE(m_dialogs.Texts().isEmpty());
}
