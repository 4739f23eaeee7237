#include "core/treeedit.h"

#include "core/errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace tallyhost;
namespace fs = std::filesystem;

namespace {

// A terminal file in a fresh temporary directory, removed afterwards.
class TreeEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static std::atomic<int> counter{0};
        m_dir = fs::temp_directory_path() /
                ("treeedit_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(m_dir);
        m_path = (m_dir / "terminal.thf").string();
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, ec);
        fs::remove_all(m_dir, ec);
    }

    void Write(const std::string& bytes) const { std::ofstream(m_path, std::ios::binary) << bytes; }
    std::string Read() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path m_dir;
    std::string m_path;
};

// A small file: two groups, one command with fields, a combo list and notes.
const std::string TwoGroups = "; catalogue\r\n"
                              "[Groups]\r\n"
                              "Daily=\r\n"
                              "Setup=\r\n"
                              "[Daily]\r\n"
                              "Open=\r\n"
                              "[DailyOpen]\r\n"
                              "Commands=0,\"Cashier\",\"Who\",0,\"\",1,8,1,0,0,0,0\r\n"
                              "Answers=\"Number\",3,0\r\n"
                              "CL1=\"Ann,\"\"Bob\"\"\"\r\n"
                              "Notes=\"first line\"\r\n"
                              "[Setup]\r\n";

} // namespace

TEST_F(TreeEditTest, MissingFileHasNoGroupsAndTheFirstEditCreatesIt)
{
    EXPECT_TRUE(ReadCommandTree(m_path).empty());
    EXPECT_FALSE(fs::exists(m_path));

    EXPECT_EQ(AddGroup(m_path, "Daily"), TEditResult::Done);
    EXPECT_EQ(Read(), "[Groups]\r\nDaily=\r\n");

    EXPECT_EQ(AddCommand(m_path, "Daily", "Open"), TEditResult::Done);
    EXPECT_EQ(Read(), "[Groups]\r\nDaily=\r\n"
                      "[Daily]\r\nOpen=\r\n"
                      "[DailyOpen]\r\nCommands=\r\nAnswers=\r\n");

    const auto tree = ReadCommandTree(m_path);
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].Name, "Daily");
    EXPECT_EQ(tree[0].Commands, std::vector<std::string>{"Open"});
}

TEST_F(TreeEditTest, RenameGroupMovesItsSectionsAndPutsItsKeyLast)
{
    Write(TwoGroups);
    EXPECT_EQ(RenameGroup(m_path, "Daily", "Day"), TEditResult::Done);
    EXPECT_EQ(Read(), "; catalogue\r\n"
                      "[Groups]\r\n"
                      "Setup=\r\n"
                      "Day=\r\n"
                      "[Setup]\r\n"
                      "[Day]\r\n"
                      "Open=\r\n"
                      "[DayOpen]\r\n"
                      "Commands=0,\"Cashier\",\"Who\",0,\"\",1,8,1,0,0,0,0\r\n"
                      "Answers=\"Number\",3,0\r\n"
                      "CL1=\"Ann,\"\"Bob\"\"\"\r\n"
                      "Notes=\"first line\"\r\n");
    const auto tree = ReadCommandTree(m_path);
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree[1].Name, "Day");
}

TEST_F(TreeEditTest, TakenAndReservedGroupNamesAreRefusedWithoutWriting)
{
    Write(TwoGroups);
    for (const char* name : {"daily", "SETUP", "groups", "General", "return code", "Return Codes",
                             "fiscalanswer", "PRINTERANSWER"}) {
        EXPECT_EQ(AddGroup(m_path, name), TEditResult::Exists) << name;
        EXPECT_EQ(RenameGroup(m_path, "Setup", name), TEditResult::Exists) << name;
    }
    EXPECT_EQ(Read(), TwoGroups);
}

TEST_F(TreeEditTest, NamesWhoseSectionsHoldOtherDataAreRefused)
{
    Write(TwoGroups + "[FiscalAnswer]\r\nRecord1=1,1,FF,01,\"On\",clRed\r\n");
    const std::string before = Read();
    // Command sections are plain concatenations: these would write into foreign sections.
    ASSERT_EQ(AddGroup(m_path, "Fiscal"), TEditResult::Done);
    const std::string withFiscal = Read();
    EXPECT_EQ(AddCommand(m_path, "Fiscal", "Answer"), TEditResult::Exists);
    EXPECT_EQ(AddGroup(m_path, "DailyOpen"), TEditResult::Exists); // a command's section
    EXPECT_EQ(AddGroup(m_path, "Da"), TEditResult::Done);
    EXPECT_EQ(AddCommand(m_path, "Da", "ilyOpen"), TEditResult::Exists);
    EXPECT_EQ(AddCommand(m_path, "Da", "ily"), TEditResult::Exists); // the group Daily
    EXPECT_EQ(RenameCommand(m_path, "Daily", "Open", "Open"), TEditResult::Exists);
    // Renaming Setup to "Dail" is free itself, but a later command "yOpen" would not be; a
    // rename is checked for every command it moves.
    ASSERT_EQ(AddCommand(m_path, "Setup", "yOpen"), TEditResult::Done);
    const std::string beforeRename = Read();
    EXPECT_EQ(RenameGroup(m_path, "Setup", "Dail"), TEditResult::Exists);
    EXPECT_EQ(Read(), beforeRename);
    EXPECT_FALSE(PasteCommand(m_path, "Fiscal", "Answer", "DailyOpen"));
    EXPECT_EQ(Read(), beforeRename);
    EXPECT_NE(before, withFiscal);
}

TEST_F(TreeEditTest, PastingAGroupTwiceMakesNumberedCopies)
{
    Write(TwoGroups);
    const TTreeGroup first = PasteGroupToRoot(m_path, "Daily");
    EXPECT_EQ(first.Name, "Daily1");
    EXPECT_EQ(first.Commands, std::vector<std::string>{"Open"});
    EXPECT_EQ(PasteGroupToRoot(m_path, "Daily").Name, "Daily2");
    const std::string openBody = "Commands=0,\"Cashier\",\"Who\",0,\"\",1,8,1,0,0,0,0\r\n"
                                 "Answers=\"Number\",3,0\r\n"
                                 "CL1=\"Ann,\"\"Bob\"\"\"\r\n"
                                 "Notes=\"first line\"\r\n";
    EXPECT_EQ(Read(), "; catalogue\r\n"
                      "[Groups]\r\nDaily=\r\nSetup=\r\nDaily1=\r\nDaily2=\r\n"
                      "[Daily]\r\nOpen=\r\n"
                      "[DailyOpen]\r\n" +
                          openBody +
                          "[Setup]\r\n"
                          "[Daily1]\r\nOpen=\r\n"
                          "[Daily1Open]\r\n" +
                          openBody +
                          "[Daily2]\r\nOpen=\r\n"
                          "[Daily2Open]\r\n" +
                          openBody);
}

TEST_F(TreeEditTest, PasteSkipsANumberWhoseSectionsAreTaken)
{
    // "Daily" + "1" is a command section of group Dai + ly1: the copy becomes Daily2.
    Write("[Groups]\r\nDaily=\r\nDai=\r\n[Daily]\r\nX=\r\n[Dai]\r\nly1=\r\n[Daily1]\r\n"
          "Commands=\r\n");
    EXPECT_EQ(PasteGroupToRoot(m_path, "Daily").Name, "Daily2");
}

TEST_F(TreeEditTest, OverwritingByPasteKeepsTheDestinationsOwnKeys)
{
    Write("[Groups]\r\nA=\r\nB=\r\n"
          "[A]\r\nCmd=\r\n"
          "[ACmd]\r\nCommands=0,\"New\",\"\",0,\"\",0,0,0,0,0,0,0\r\nAnswers=\r\n"
          "[B]\r\nCmd=\r\n"
          "[BCmd]\r\nCommands=0,\"Old\",\"\",0,\"\",1,0,0,0,0,0,0\r\nAnswers=\"R\",0,0\r\n"
          "CL1=\"x,y\"\r\nNotes=\"keep me\"\r\n");
    ASSERT_TRUE(PasteCommand(m_path, "B", "Cmd", "ACmd"));
    EXPECT_EQ(Read(), "[Groups]\r\nA=\r\nB=\r\n"
                      "[A]\r\nCmd=\r\n"
                      "[ACmd]\r\nCommands=0,\"New\",\"\",0,\"\",0,0,0,0,0,0,0\r\nAnswers=\r\n"
                      "[B]\r\nCmd=\r\n"
                      "[BCmd]\r\nCommands=0,\"New\",\"\",0,\"\",0,0,0,0,0,0,0\r\nAnswers=\r\n"
                      "CL1=\"x,y\"\r\nNotes=\"keep me\"\r\n");

    // A new name in the group: the key goes to the end of the group, the section to the end.
    ASSERT_TRUE(PasteCommand(m_path, "A", "Copy", "BCmd"));
    EXPECT_NE(Read().find("[A]\r\nCmd=\r\nCopy=\r\n"), std::string::npos);
    EXPECT_NE(Read().find("[ACopy]\r\nCommands=0,\"New\",\"\",0,\"\",0,0,0,0,0,0,0\r\n"
                          "Answers=\r\nCL1=\"x,y\"\r\nNotes=\"keep me\"\r\n"),
              std::string::npos);
}

TEST_F(TreeEditTest, RenameAndRemoveCommand)
{
    Write(TwoGroups);
    EXPECT_EQ(RenameCommand(m_path, "Daily", "Open", "Start"), TEditResult::Done);
    EXPECT_EQ(Read(), "; catalogue\r\n[Groups]\r\nDaily=\r\nSetup=\r\n"
                      "[Daily]\r\nStart=\r\n"
                      "[Setup]\r\n"
                      "[DailyStart]\r\n"
                      "Commands=0,\"Cashier\",\"Who\",0,\"\",1,8,1,0,0,0,0\r\n"
                      "Answers=\"Number\",3,0\r\n"
                      "CL1=\"Ann,\"\"Bob\"\"\"\r\n"
                      "Notes=\"first line\"\r\n");
    RemoveCommand(m_path, "Daily", "Start");
    EXPECT_EQ(Read(), "; catalogue\r\n[Groups]\r\nDaily=\r\nSetup=\r\n[Daily]\r\n[Setup]\r\n");
}

TEST_F(TreeEditTest, RemoveGroupErasesItsCommandsAndKeepsTheRest)
{
    Write(TwoGroups);
    RemoveGroup(m_path, "Daily");
    EXPECT_EQ(Read(), "; catalogue\r\n[Groups]\r\nSetup=\r\n[Setup]\r\n");
}

TEST_F(TreeEditTest, ReadOnlyFileIsRefusedAndLeftAsItWas)
{
    Write(TwoGroups);
    fs::permissions(m_path, fs::perms::owner_read | fs::perms::group_read);
    try {
        AddGroup(m_path, "New");
        FAIL() << "a read-only file was written";
    } catch (const IniWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + m_path);
    }
    EXPECT_THROW(RenameGroup(m_path, "Daily", "Day"), IniWriteError);
    EXPECT_THROW(PasteGroupToRoot(m_path, "Daily"), IniWriteError);
    EXPECT_EQ(Read(), TwoGroups);
}

TEST(TreeEditNames, NamesThatWouldNotReadBackAreRefused)
{
    EXPECT_FALSE(NameProblem("Daily report 2"));
    EXPECT_FALSE(NameProblem("x;y"));
    for (const char* bad : {"a=b", ";comment", "[x", "x]", " lead", "trail ", "tab\there", ""})
        EXPECT_TRUE(NameProblem(bad)) << bad;
}

TEST(TreeEditTables, PasteActionsFollowTheLevels)
{
    EXPECT_EQ(PasteActionFor(0, 1), TPasteAction::GroupToRoot);
    EXPECT_EQ(PasteActionFor(1, 1), TPasteAction::MergeGroup);
    EXPECT_EQ(PasteActionFor(1, 2), TPasteAction::CommandToGroup);
    EXPECT_EQ(PasteActionFor(2, 2), TPasteAction::CommandToParentGroup);
    for (auto [t, s] : {std::pair{0, 0}, {0, 2}, {2, 1}, {1, 0}, {2, 0}, {-1, 1}})
        EXPECT_EQ(PasteActionFor(t, s), TPasteAction::None) << t << "," << s;
}

TEST(TreeEditTables, PopupMenuEnabling)
{
    const TPopupMenuState none = PopupMenuStateFor(-1, true, 1);
    EXPECT_TRUE(none.ClearCopied);
    EXPECT_FALSE(none.Copy || none.Paste || none.CommandMenu || none.EditFields);
    EXPECT_TRUE(none.GroupMenu);
    EXPECT_FALSE(none.GroupRename.has_value());

    EXPECT_TRUE(PopupMenuStateFor(0, true, 1).Paste);
    EXPECT_FALSE(PopupMenuStateFor(0, true, 2).Paste); // a command cannot go to the root
    EXPECT_FALSE(PopupMenuStateFor(0, false, 1).Paste);
    const TPopupMenuState root = PopupMenuStateFor(0, false, -1);
    EXPECT_FALSE(root.Copy || root.CommandMenu || root.EditFields);
    EXPECT_EQ(root.GroupRename, false);
    EXPECT_EQ(root.GroupRemove, false);

    const TPopupMenuState group = PopupMenuStateFor(1, true, 2);
    EXPECT_TRUE(group.Copy && group.Paste && group.GroupMenu && group.CommandMenu);
    EXPECT_EQ(group.GroupRename, true);
    EXPECT_EQ(group.CommandRename, false);
    EXPECT_FALSE(group.EditFields);

    const TPopupMenuState command = PopupMenuStateFor(2, false, 2);
    EXPECT_TRUE(command.Copy && command.CommandMenu && command.EditFields);
    EXPECT_FALSE(command.Paste || command.GroupMenu);
    EXPECT_EQ(command.CommandRemove, true);
    EXPECT_FALSE(command.GroupRemove.has_value());
}
