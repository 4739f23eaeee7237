#include <filesystem>

#include <gtest/gtest.h>

#include "core/profile.h"
#include "core/template.h"
#include "tests/core/test_files.h"

using namespace tallyhost;

namespace {

std::vector<std::string> crlfLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            break;
        }
        lines.emplace_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

} // namespace

TEST(DefaultTemplate, IsTheResourceFileByteForByte)
{
    const std::string_view text = DefaultTemplateText();
    EXPECT_EQ(text.size(), 4080u);
    const auto file = std::filesystem::path(TALLYHOST_SOURCE_DIR) / "core/default.thf";
    EXPECT_EQ(text, tallyhost::testing::readBytes(file.string()));

    // FNV-1a of the template, computed when it was taken into the program.
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    EXPECT_EQ(hash, 0x5598a9b8u);
}

TEST(DefaultTemplate, HasCrLfLinesTrailingBlanksAndTheFiveSections)
{
    const std::string_view text = DefaultTemplateText();
    ASSERT_TRUE(text.ends_with("[Groups]\r\n\r\n\r\n\r\n\r\n\r\n\r\n"));
    const auto lines = crlfLines(text);
    ASSERT_EQ(lines.size(), 148u);
    int blankEnded = 0;
    for (const auto& line : lines) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        if (!line.empty() && line.front() == ';' && line.back() == ' ')
            ++blankEnded;
    }
    EXPECT_EQ(blankEnded, 16);
    EXPECT_EQ(lines.front(), ";");
    EXPECT_EQ(lines[10], ";InputDateFormat= ");

    const IniDocument doc = IniDocument::FromBytes(text);
    EXPECT_EQ(doc.ReadSections(),
              (std::vector<std::string>{"General", "Return code", "FiscalAnswer", "PrinterAnswer",
                                        "Groups"}));
    EXPECT_EQ(doc.ReadSection("General"),
              (std::vector<std::string>{"Protocol", "InputDateFormat", "OutputDateFormat"}));
    EXPECT_EQ(doc.ReadString("General", "OutputDateFormat", "x"), "0");
    EXPECT_TRUE(doc.ReadSection("Groups").empty());
}
