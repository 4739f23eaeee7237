#include <gtest/gtest.h>

#include "core/termcache.h"
#include "tests/core/test_files.h"

using namespace tallyhost;

TEST(TerminalCache, KeepsValuesAsWrittenAndMatchesKeysUntrimmed)
{
    TTerminalCache cache;
    cache.LoadFromBytes("; comment\r\n"
                        "orphan=ignored\r\n"
                        "[DailyOpen]\r\n"
                        "Commands=0,\"Open\",\"Hint\",0,\"\",0,0,0,0,0,0,0\r\n"
                        "CL1=\"1,2,3\"\r\n"
                        " Spaced = x \r\n"
                        "\r\n"
                        ";CL2=commented\r\n"
                        "NoEquals\r\n"
                        "cl1=duplicate\r\n"
                        "[Tail] \r\n"
                        "k=in DailyOpen\r\n"
                        "[lf]\n"
                        "k=v=w\n"
                        "last=no line end");
    EXPECT_EQ(cache.ReadString("dailyopen", "COMMANDS"),
              "0,\"Open\",\"Hint\",0,\"\",0,0,0,0,0,0,0");
    EXPECT_EQ(cache.ReadString("DailyOpen", "CL1"), "\"1,2,3\"");
    EXPECT_EQ(cache.ReadString("DailyOpen", " Spaced "), " x ");
    EXPECT_EQ(cache.Find("DailyOpen", "Spaced"), nullptr);
    EXPECT_EQ(cache.Find("DailyOpen", "CL2"), nullptr);
    EXPECT_EQ(cache.ReadString("", "orphan", "d"), "d");
    // "[Tail] " does not end with "]": it is no section, and its keys stay in [DailyOpen].
    EXPECT_FALSE(cache.SectionExists("Tail"));
    EXPECT_EQ(cache.ReadString("DailyOpen", "k"), "in DailyOpen");
    EXPECT_EQ(cache.ReadSection("DailyOpen"),
              (std::vector<std::string>{"Commands", "CL1", " Spaced ", "k"}));
    EXPECT_EQ(cache.ReadString("LF", "k"), "v=w");
    EXPECT_EQ(cache.ReadString("lf", "last"), "no line end");
    EXPECT_EQ(cache.ReadSections(), (std::vector<std::string>{"DailyOpen", "lf"}));
}

TEST(TerminalCache, ByteOrderMarkIsSkipped)
{
    TTerminalCache cache;
    cache.LoadFromBytes("\xEF\xBB\xBF[FiscalAnswer]\r\nRecord1=1,1,1,1,\"t\",clRed\r\n");
    EXPECT_EQ(cache.ReadSection("FiscalAnswer"), std::vector<std::string>{"Record1"});
}

TEST(TerminalCache, LineEndsAsTheProfileLayerReadsThem)
{
    // A lone CR ends a line, as in the profile layer, so both readers see the same keys.
    TTerminalCache cache;
    cache.LoadFromBytes("[S]\rk=1\rj=2\r\n\r\rl=3\n[T]\nm=4");
    EXPECT_EQ(cache.ReadSection("S"), (std::vector<std::string>{"k", "j", "l"}));
    EXPECT_EQ(cache.ReadString("S", "k"), "1");
    EXPECT_EQ(cache.ReadString("S", "j"), "2");
    EXPECT_EQ(cache.ReadString("S", "l"), "3");
    EXPECT_EQ(cache.ReadString("T", "m"), "4");
}

TEST(TerminalCache, FirstOfDuplicateSectionsWins)
{
    TTerminalCache cache;
    cache.LoadFromBytes("[A]\r\nx=1\r\n[B]\r\ny=2\r\n[a]\r\nx=3\r\nz=4\r\n");
    EXPECT_EQ(cache.ReadString("A", "x"), "1");
    EXPECT_EQ(cache.Find("A", "z"), nullptr);
    EXPECT_EQ(cache.ReadSections(), (std::vector<std::string>{"A", "B"}));
}

TEST(TerminalCache, LoadsAndReloadsFiles)
{
    tallyhost::testing::TempDir dir;
    const std::string path = dir.file("t.thf");
    TTerminalCache missing(path);
    EXPECT_TRUE(missing.ReadSections().empty());
    EXPECT_FALSE(missing.Reload());

    tallyhost::testing::writeBytes(path, "[S]\r\nk=1\r\n");
    TTerminalCache cache;
    ASSERT_TRUE(cache.LoadFromFile(path));
    EXPECT_EQ(cache.ReadString("S", "k"), "1");
    tallyhost::testing::writeBytes(path, "[S]\r\nk=2\r\n");
    EXPECT_EQ(cache.ReadString("S", "k"), "1"); // a memory copy until reloaded
    ASSERT_TRUE(cache.Reload());
    EXPECT_EQ(cache.ReadString("S", "k"), "2");
}

TEST(TerminalCache, BinaryGarbageAndHugeLinesLoad)
{
    std::string bytes = "[S]\r\nbig=" + std::string(10 * 1024 * 1024, 'x') + "\r\n";
    for (int i = 0; i < 4096; ++i)
        bytes += static_cast<char>((i * 131) & 0xFF);
    static const char tail[] = "\n[T]\r\nk=\0v\r\n";
    bytes.append(tail, sizeof tail - 1);
    bytes.push_back('\0');
    TTerminalCache cache;
    cache.LoadFromBytes(bytes);
    EXPECT_EQ(cache.ReadString("S", "big").size(), 10u * 1024 * 1024);
    EXPECT_TRUE(cache.SectionExists("T"));
    EXPECT_EQ(cache.ReadString("T", "k"), std::string("\0v", 2));
}
