// Commands named in scripts and on tallyhost-cli's command line are found in the tree the
// catalogue was read into once, by name without regard to case, and come back spelled as the
// file spells them.

#include "session/commandvalues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace tallyhost {
namespace {

TEST(CommandTree, FindsByNameWithoutRegardToCaseAndSpellsAsTheFile)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("t.thf")).toStdString();
    std::ofstream(path, std::ios::binary) << "[Groups]\r\nSales=\r\nSetup=\r\n\xC9tat=\r\n\r\n"
                                             "[Sales]\r\nSell item=\r\nVoid=\r\n\r\n"
                                             "[Setup]\r\nVoid=\r\n\r\n"
                                             "[\xC9tat]\r\nLecture=\r\n";
    const TCommandTree tree(path);
    using Names = std::pair<std::string, std::string>;
    const struct
    {
        const char* Group;
        const char* Command;
        std::optional<Names> Found;
    } cases[] = {
        {"Sales", "Sell item", Names{"Sales", "Sell item"}},
        {"SALES", "sell ITEM", Names{"Sales", "Sell item"}},
        {"setup", "void", Names{"Setup", "Void"}},           // the group decides which Void
        {"\xE9TAT", "lecture", Names{"\xC9tat", "Lecture"}}, // Latin-1, as the files are
        {"Sales", "Lecture", std::nullopt},
        {"Sale", "Sell item", std::nullopt},
        {"", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Group) + "/" + c.Command);
        EXPECT_EQ(tree.Find(c.Group, c.Command), c.Found);
        EXPECT_EQ(FindCommand(path, c.Group, c.Command), c.Found);
    }
}

} // namespace
} // namespace tallyhost
