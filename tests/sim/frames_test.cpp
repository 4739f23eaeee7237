#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tools/sim/frames.h"

namespace tallyhost::sim {
namespace {

using namespace std::string_literals;

// Feeds bytes and collects the events with the frames they produced.
struct HostFeed
{
    HostCommandParser Parser;
    std::vector<HostCommandParser::Event> Events;
    std::vector<HostCommandParser::Frame> Frames;

    void Feed(const std::string& bytes)
    {
        for (char c : bytes) {
            const auto event = Parser.Feed(c);
            if (event == HostCommandParser::Event::None)
                continue;
            Events.push_back(event);
            if (event == HostCommandParser::Event::Frame)
                Frames.push_back(Parser.LastFrame());
        }
    }
};

TEST(HostCommandParser, ReadsCompatibleCommandFrame)
{
    // STX, 0x21, '*', FS, "ABC", ETX and the sum of those eight bytes (0x0132).
    HostFeed feed;
    feed.Feed("\x02\x21\x2A\x1C\x41\x42\x43\x03\x30\x31\x33\x32"s);
    ASSERT_EQ(feed.Frames.size(), 1u);
    EXPECT_EQ(feed.Frames[0].Sequence, 0x21);
    EXPECT_EQ(feed.Frames[0].Variant, HostVariant::Compatible);
    EXPECT_EQ(feed.Frames[0].Fields, (std::vector<std::string>{"*", "ABC"}));
}

TEST(HostCommandParser, ReadsExtendedFrameWithEscapesAndBareControlBytes)
{
    // Field 2 holds x, FS (escaped), y and a bare line feed; the escape counts in the sum.
    HostFeed feed;
    feed.Feed("\x02\x90\x2A\x1C\x78\x1B\x1C\x79\x0A\x03\x30\x32\x30\x44"s);
    ASSERT_EQ(feed.Frames.size(), 1u);
    EXPECT_EQ(feed.Frames[0].Variant, HostVariant::Extended);
    EXPECT_EQ(feed.Frames[0].Fields, (std::vector<std::string>{"*", "x\x1Cy\n"}));

    // An escaped ETX is data, not the end of the frame.
    HostFeed escaped;
    escaped.Feed(BuildHostFrame(0x81, {"a\x03"s
                                       "b"}));
    ASSERT_EQ(escaped.Frames.size(), 1u);
    EXPECT_EQ(escaped.Frames[0].Fields, (std::vector<std::string>{"a\x03"s
                                                                  "b"}));
}

TEST(HostCommandParser, JudgesChecksums)
{
    HostFeed lower;
    lower.Feed("\x02\x90\x2A\x1C\x78\x1B\x1C\x79\x0A\x03"
               "020d"s);
    EXPECT_EQ(lower.Frames.size(), 1u) << "lower-case hex digits are a correct checksum";

    HostFeed wrong;
    wrong.Feed("\x02\x21\x2A\x1C\x41\x42\x43\x03"
               "0133"s);
    wrong.Feed("\x02\x21\x2A\x03"
               "ZZZZ"s);
    EXPECT_EQ(wrong.Events, (std::vector{HostCommandParser::Event::BadFrame,
                                         HostCommandParser::Event::BadFrame}));
}

TEST(HostCommandParser, RefusesWhatAPrinterWouldRefuse)
{
    using E = HostCommandParser::Event;
    // Compatible fields hold 0x20..0x7F only; there are no escapes in that variant.
    HostFeed feed;
    feed.Feed(BuildHostFrame(0x30, {"\x20\x7F"s}));
    feed.Feed(BuildHostFrame(0x31, {"a\nb"}));
    feed.Feed(BuildHostFrame(0x32, {"\xE9"s}));
    feed.Feed("\x02\x33\x1B\x41\x03"s + HexWord(HostChecksum("\x02\x33\x1B\x41\x03"s)));
    EXPECT_EQ(feed.Events,
              (std::vector{E::Frame, E::RefusedFrame, E::RefusedFrame, E::RefusedFrame}));
    EXPECT_EQ(feed.Parser.Refusal(), "byte 1B in a field of a compatible frame");

    // The same bytes are fine in an extended frame.
    HostFeed extended;
    extended.Feed(BuildHostFrame(0x91, {"a\nb\xE9"s}));
    EXPECT_EQ(extended.Events, std::vector{E::Frame});

    // At most 2048 bytes of field data, counted before escaping and without separators.
    HostFeed limit;
    limit.Feed(BuildHostFrame(0x92, {std::string(1000, '\x1C'), std::string(1048, 'x')}));
    limit.Feed(BuildHostFrame(0x93, {std::string(1000, 'x'), std::string(1049, 'x')}));
    EXPECT_EQ(limit.Events, (std::vector{E::Frame, E::RefusedFrame}));
}

TEST(HostCommandParser, ResynchronisesAfterNoiseAndCutFrames)
{
    HostFeed feed;
    // Noise, a frame cut inside its data, one cut inside its checksum, one with a sequence
    // byte no host uses, then a good frame: only the good frame is reported.
    feed.Feed("\xFF\x00garbage\x03\x1C"s);
    feed.Feed("\x02\x22half a fra"s);
    feed.Feed("\x02\x23X\x03"
              "01"s);
    feed.Feed("\x02\x80Y\x03"
              "0000"s);
    feed.Feed(BuildHostFrame(0x24, {"OK", ""}));
    ASSERT_EQ(feed.Events, std::vector{HostCommandParser::Event::Frame});
    EXPECT_EQ(feed.Frames[0].Sequence, 0x24);
    EXPECT_EQ(feed.Frames[0].Fields, (std::vector<std::string>{"OK", ""}));

    // Host replies between frames.
    HostFeed replies;
    replies.Feed("\x06\x15"s);
    EXPECT_EQ(replies.Events,
              (std::vector{HostCommandParser::Event::Ack, HostCommandParser::Event::Nak}));
}

TEST(HostCommandParser, DropsRunawayFramesAndSurvivesRandomNoise)
{
    HostFeed feed;
    feed.Feed("\x02\x21"s + std::string(HostCommandParser::MaxFrameBytes + 10, 'A'));
    EXPECT_FALSE(feed.Parser.InFrame());

    std::mt19937 random(7);
    std::string noise(200000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    feed.Feed(noise);
    const std::size_t before = feed.Frames.size();
    // Noise that ends on an ESC inside a frame makes the next STX data (that is what ESC
    // means), so the second copy is the one that must be read at the latest.
    feed.Feed(BuildHostFrame(0x95, {"after noise"}));
    feed.Feed(BuildHostFrame(0x95, {"after noise"}));
    ASSERT_GT(feed.Frames.size(), before);
    EXPECT_EQ(feed.Frames.back().Fields, std::vector<std::string>{"after noise"});
}

TEST(HostFrames, BuildsAnswersInBothLayouts)
{
    AnswerContent content;
    content.CommandCode = "*";
    content.PrinterStatus = 0x0040;
    content.FiscalStatus = 0x0600;
    content.Extra = {"TH"};
    EXPECT_EQ(
        BuildHostFrame(0x21, AnswerFields(HostVariant::Compatible, content)),
        "\x02\x21\x2A\x1C\x30\x30\x34\x30\x1C\x30\x36\x30\x30\x1C\x54\x48\x03\x30\x32\x43\x41"s);
    EXPECT_EQ(AnswerFields(HostVariant::Compatible, content, StatusText::Decimal)[2], "1536");

    // Extended: raw big-endian status words, whose bytes 0x1C and 0x03 are escaped; field 2
    // and field 4 empty; the return code 2049 in field 3.
    content.PrinterStatus = 0x0600;
    content.FiscalStatus = 0x1C03;
    content.ReturnCode = 2049;
    content.Extra = {"A\x1C"
                     "B"};
    EXPECT_EQ(BuildHostFrame(0x90, AnswerFields(HostVariant::Extended, content)),
              "\x02\x90\x06\x00\x1C\x1B\x1C\x1B\x03\x1C\x1C\x08\x01\x1C\x1C\x41\x1B\x1C\x42\x03"
              "\x30\x32\x33\x46"s);
}

TEST(HostFrames, ChecksumWrapsAndCorruptionIsDetected)
{
    const std::string big(300, '\xFF');
    const std::string frame = BuildHostFrame(0xFF, {big});
    EXPECT_EQ(frame.substr(frame.size() - 4),
              HexWord(static_cast<std::uint16_t>((2 + 0xFF + 300 * 0xFF + 3) % 65536)));

    HostFeed feed;
    feed.Feed(CorruptChecksum(BuildHostFrame(0x30, {"x"})));
    EXPECT_EQ(feed.Events, std::vector{HostCommandParser::Event::BadFrame});
}

TEST(HostFrames, SequenceRanges)
{
    HostVariant variant{};
    EXPECT_TRUE(SequenceVariant(0x20, variant));
    EXPECT_EQ(variant, HostVariant::Compatible);
    EXPECT_TRUE(SequenceVariant(0xFF, variant));
    EXPECT_EQ(variant, HostVariant::Extended);
    EXPECT_FALSE(SequenceVariant(0x80, variant));
    EXPECT_FALSE(SequenceVariant(0x1F, variant));
    EXPECT_EQ(PreviousSequence(0x20), 0x7F);
    EXPECT_EQ(PreviousSequence(0x81), 0xFF);
    EXPECT_EQ(PreviousSequence(0x90), 0x8F);
}

// ---------------------------------------------------------------------------------------------

struct FiscalFeed
{
    FiscalCommandParser Parser;
    std::vector<FiscalCommandParser::Event> Events;
    std::vector<std::string> Data;

    void Feed(const std::string& bytes)
    {
        for (char c : bytes) {
            const auto event = Parser.Feed(c);
            if (event == FiscalCommandParser::Event::None)
                continue;
            Events.push_back(event);
            if (event == FiscalCommandParser::Event::Frame)
                Data.push_back(Parser.LastData());
        }
    }
};

TEST(FiscalFrames, BuildsAndReadsFrames)
{
    EXPECT_EQ(BuildFiscalFrame("12"), "\x02\x31\x32\x03\x98"s);
    EXPECT_EQ(BuildFiscalFrame("0000 READY"),
              "\x02\x30\x30\x30\x30\x20\x52\x45\x41\x44\x59\x03\xA6"s);

    FiscalFeed feed;
    feed.Feed("\x05\x06\x15"s);
    feed.Feed("\x02\x31\x32\x03\x98"s);
    feed.Feed("\x02\x31\x32\x03\x99"s);
    // STX, ACK and NAK inside a frame are data on this port.
    feed.Feed(BuildFiscalFrame("\x02\x06\x15"s));
    using E = FiscalCommandParser::Event;
    EXPECT_EQ(feed.Events, (std::vector{E::Enq, E::Ack, E::Nak, E::Frame, E::BadFrame, E::Frame}));
    EXPECT_EQ(feed.Data, (std::vector<std::string>{"12", "\x02\x06\x15"s}));
}

TEST(FiscalFrames, TakesTheFrameThatFollowsACutOne)
{
    FiscalFeed feed;
    feed.Feed("\x02"
              "abc"s); // cut short by the next frame
    feed.Feed(BuildFiscalFrame("S"));
    EXPECT_EQ(feed.Data, std::vector<std::string>{"S"});

    // A cut frame that already had its ETX: its "checksum" is the next STX.
    FiscalFeed cut;
    cut.Feed("\x02"
             "ab\x03"s);
    cut.Feed(BuildFiscalFrame("T"));
    using E = FiscalCommandParser::Event;
    EXPECT_EQ(cut.Events, (std::vector{E::BadFrame, E::Frame}));
    EXPECT_EQ(cut.Data, std::vector<std::string>{"T"});
}

TEST(FiscalFrames, FinalCodes)
{
    for (const char* code : {"0000", "0001", "0002", "0003", "0004", "0010", "0011"})
        EXPECT_TRUE(IsFinalFiscalCode(std::string(code) + " text")) << code;
    EXPECT_FALSE(IsFinalFiscalCode("0005 more"));
    EXPECT_FALSE(IsFinalFiscalCode("000"));
}

TEST(AnswerText, ExpandsEchoesAndHexEscapes)
{
    const std::vector<std::string> fields{"*", "two", "3"};
    EXPECT_EQ(ExpandAnswerText("$2/$3/$1", fields), "two/3/*");
    EXPECT_EQ(ExpandAnswerText("$9|$0", fields), "|") << "fields the command lacks are empty";
    EXPECT_EQ(ExpandAnswerText("$$2 $", fields), "$2 $");
    EXPECT_EQ(ExpandAnswerText("a x'0105' b", fields), "a \x01\x05 b"s);
    EXPECT_EQ(ExpandAnswerText("x'1A2'", fields), "\x01\xA2"s);
    EXPECT_EQ(ExpandAnswerText("x'zz' x'' x'12", fields), "x'zz' x'' x'12");
    EXPECT_EQ(ExpandHexEscapes("$1x'2A'"), "$1*");
}

} // namespace
} // namespace tallyhost::sim
