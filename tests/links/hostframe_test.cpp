#include "links/commthread.h"
#include "links/fphostcontrol.h"
#include "links/hostframe.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace tallyhost {
namespace {

using namespace hostframe;

std::string Fields(TProtocolType protocol, const std::vector<std::string>& fields)
{
    std::string buffer;
    for (const auto& f : fields)
        EXPECT_TRUE(AppendField(protocol, f, buffer));
    return buffer;
}

TEST(HostFrame, CommandFramesAreExactOnTheWire)
{
    // 02+21+2A+1C+41+42+43+03 = 0x0132
    EXPECT_EQ(BuildFrame(Fields(protocol_Compatible, {"\x2A", "ABC"}), 0x21), "\x02\x21\x2A\x1C"
                                                                              "ABC\x03"
                                                                              "0132"s);
    // No field at all: STX, sequence, ETX, checksum.
    EXPECT_EQ(BuildFrame("", 0x81), "\x02\x81\x03"
                                    "0086"s);
    // One empty field is not "no field": its FS is the one dropped.
    EXPECT_EQ(BuildFrame(Fields(protocol_Compatible, {"", ""}), 0x20), "\x02\x20\x1C\x03"
                                                                       "0041"s);
    // Upper-case digits; sums beyond 0xFFFF wrap: 2 + 0x81 + 257 * 0xFF + 3 = 0x10085.
    EXPECT_EQ(CheckSumText("\x02\xFA\x03"s), "00FF");
    EXPECT_EQ(BuildFrame(Fields(protocol_Extended, {std::string(257, '\xFF')}), 0x81).substr(259),
              "\x03"
              "0085");
}

TEST(HostFrame, WriteTimeOutGrowsWithFrameAndShrinksWithSpeed)
{
    using std::chrono::milliseconds;
    EXPECT_EQ(TCommThread::WriteTimeOut(br1200, 100), milliseconds(4000));
    EXPECT_EQ(TCommThread::WriteTimeOut(br2400, 100), milliseconds(3500));
    EXPECT_EQ(TCommThread::WriteTimeOut(br4800, 100), milliseconds(2900));
    EXPECT_EQ(TCommThread::WriteTimeOut(br9600, 100), milliseconds(2500));
    EXPECT_EQ(TCommThread::WriteTimeOut(br38400, 1), milliseconds(1510));
    EXPECT_EQ(TCommThread::WriteTimeOut(static_cast<TBaudRate>(17), 0), milliseconds(1500));
}

TEST(HostFrame, FieldBytesPerProtocol)
{
    std::string buffer;
    EXPECT_TRUE(AppendField(protocol_Compatible, "\x20\x7F", buffer));
    EXPECT_EQ(buffer, "\x20\x7F\x1C");
    for (const char bad : {'\x0A', '\xE9', '\x1F', '\x80'}) {
        buffer.clear();
        EXPECT_FALSE(AppendField(protocol_Compatible, "AB"s + bad + "C", buffer)) << int(bad);
        EXPECT_EQ(buffer, "AB") << "the bytes before the bad one stay";
    }

    // Extended: STX, ETX and 0x1A..0x1F go behind an ESC; everything else as it is.
    buffer.clear();
    EXPECT_TRUE(AppendField(protocol_Extended,
                            "\x00\x01\x02\x03\x04\x0A\x19\x1A\x1B\x1C\x1D\x1E\x1F\x20\xE9"s,
                            buffer));
    EXPECT_EQ(buffer, "\x00\x01\x1B\x02\x1B\x03\x04\x0A\x19\x1B\x1A\x1B\x1B\x1B\x1C\x1B\x1D\x1B"
                      "\x1E\x1B\x1F\x20\xE9\x1C"s);
    // The ESC counts in the checksum: 02 81 1B 1C 03 = 0xBD.
    EXPECT_EQ(BuildFrame(Fields(protocol_Extended, {"\x1C"}), 0x81), "\x02\x81\x1B\x1C\x03"
                                                                     "00BD"s);
}

TEST(HostFrame, SequenceBytesStayInRangeAndSkip0x80)
{
    EXPECT_EQ(NextSequence(protocol_Compatible, 0x7F), 0x20);
    EXPECT_EQ(NextSequence(protocol_Compatible, 0x20), 0x21);
    EXPECT_EQ(NextSequence(protocol_Extended, 0xFF), 0x81);
    EXPECT_EQ(NextSequence(protocol_Extended, 0x81), 0x82);
    // A kept value outside the range (a switch of protocol) restarts at the lowest value.
    EXPECT_EQ(NextSequence(protocol_Extended, 0x80), 0x81);
    EXPECT_EQ(NextSequence(protocol_Extended, 0x30), 0x81);
    EXPECT_EQ(NextSequence(protocol_Compatible, 0x90), 0x20);
    EXPECT_EQ(NextSequence(protocol_Compatible, 0x00), 0x20);

    std::set<int> firstCompatible, firstExtended;
    for (std::uint32_t r = 0; r < 1000; ++r) {
        firstCompatible.insert(FirstSequence(protocol_Compatible, r * 7919u));
        firstExtended.insert(FirstSequence(protocol_Extended, r * 7919u));
    }
    EXPECT_EQ(firstCompatible.size(), 0x60u);
    EXPECT_EQ(*firstCompatible.begin(), 0x20);
    EXPECT_EQ(*firstCompatible.rbegin(), 0x7F);
    EXPECT_EQ(firstExtended.size(), 0x7Fu);
    EXPECT_EQ(*firstExtended.begin(), 0x81);
    EXPECT_EQ(*firstExtended.rbegin(), 0xFF);

    // A whole lap of the component's own counter never produces 0x80.
    TFPHostControl link;
    link.SetProtocolType(protocol_Extended);
    std::set<int> seen;
    for (int i = 0; i < 300; ++i) {
        const int s = link.GetNextSequenceNumber();
        EXPECT_NE(s, 0x80);
        EXPECT_GE(s, 0x81);
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 0x7Fu);
}

TEST(HostFrame, StatusFieldsAndFinalAnswerLayout)
{
    EXPECT_EQ(FormatExtenFixedField(""), 0x3030);
    EXPECT_EQ(FormatExtenFixedField("\x05"), 0x3005);
    EXPECT_EQ(FormatExtenFixedField("\x80\x01\x7F"), 0x8001);
    EXPECT_EQ(static_cast<std::int16_t>(FormatExtenFixedField("\xFF\xFF")), -1);

    EXPECT_EQ(CompatibleStatusField("0080"), 0x0080);
    EXPECT_EQ(CompatibleStatusField(" c0A4 "), 0xC0A4);
    EXPECT_EQ(CompatibleStatusField("12345"), 0x2345);
    EXPECT_EQ(CompatibleStatusField(""), 0);
    EXPECT_EQ(CompatibleStatusField("08O0"), 0);
    EXPECT_EQ(CompatibleStatusField("-1"), 0);

    const std::vector<std::string> seven = {"\x00\x01"s, "\x02\x03", "x", "\x10\x20",
                                            "y",         "e1",       "e2"};
    auto extended = ReadFinalAnswer(protocol_Extended, seven);
    EXPECT_EQ(extended.PrinterStatus, 0x0001);
    EXPECT_EQ(extended.FiscalStatus, 0x0203);
    EXPECT_EQ(extended.ReturnCode, 0x1020);
    EXPECT_EQ(extended.ExtraFields, (std::vector<std::string>{"e1", "e2"}));
    extended = ReadFinalAnswer(protocol_Extended, {"AB", "CD", "x", "EF", "y"});
    EXPECT_EQ(extended.ReturnCode, 0x4546);
    EXPECT_FALSE(extended.HasExtraFields);
    // Four fields already carry the return code (field 3); field 4 is not needed for it.
    extended = ReadFinalAnswer(protocol_Extended, {"AB", "CD", "x", "\x08\x01"});
    EXPECT_EQ(extended.PrinterStatus, 0x4142);
    EXPECT_EQ(extended.FiscalStatus, 0x4344);
    EXPECT_EQ(extended.ReturnCode, 0x0801);
    EXPECT_FALSE(extended.HasExtraFields);
    EXPECT_EQ(ReadFinalAnswer(protocol_Extended, {"AB", "CD", "x"}).ReturnCode, 0);
    extended = ReadFinalAnswer(protocol_Extended, {"AB"});
    EXPECT_EQ(extended.PrinterStatus, 0x4142);
    EXPECT_EQ(extended.FiscalStatus, 0);
    EXPECT_EQ(ReadFinalAnswer(protocol_Extended, {}).PrinterStatus, 0);

    auto compatible = ReadFinalAnswer(protocol_Compatible, {"cmd", "0080", "0600", "a", "b"});
    EXPECT_EQ(compatible.PrinterStatus, 0x0080);
    EXPECT_EQ(compatible.FiscalStatus, 0x0600);
    EXPECT_EQ(compatible.ReturnCode, 0);
    EXPECT_EQ(compatible.ExtraFields, (std::vector<std::string>{"a", "b"}));
    compatible = ReadFinalAnswer(protocol_Compatible, {"cmd", "0080"});
    EXPECT_EQ(compatible.PrinterStatus, 0x0080);
    EXPECT_EQ(compatible.FiscalStatus, 0);
    EXPECT_FALSE(compatible.HasExtraFields);
    EXPECT_EQ(ReadFinalAnswer(protocol_Compatible, {"0080"}).PrinterStatus, 0)
        << "field 0 is not a status";
}

// Records what the parser does, in order.
struct Recorder : THostAnswerParser::Listener
{
    std::string log;
    bool replyWorks = true;
    void AckReceived() override { log += "ack "; }
    void NackReceived() override { log += "nak "; }
    void IntermediateAnswer() override { log += "dc2 "; }
    bool WriteReply(std::uint8_t byte) override
    {
        log += byte == ACK ? "ACK " : byte == NAK ? "NAK " : "?? ";
        return replyWorks;
    }
};

std::string Answer(std::uint8_t sequence, std::string_view body, bool lowerCase = false)
{
    std::string frame = "\x02"s + static_cast<char>(sequence) + std::string(body) + "\x03";
    std::string sum = CheckSumText(frame);
    if (lowerCase)
        for (auto& c : sum)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return frame + sum;
}

using Parsed = std::pair<THostAnswerParser::Outcome, std::size_t>;

Parsed Feed(THostAnswerParser& parser, Recorder& recorder, const std::string& bytes,
            std::size_t pos = 0)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const auto outcome = parser.Parse(data, pos, bytes.size(), recorder);
    return {outcome, pos};
}

TEST(HostAnswerParser, SignalsFramesAndTheirReplies)
{
    THostAnswerParser parser;
    Recorder r;
    parser.SetCommandSequence(0x21);
    // NAK and DC2 before the ACK; ACK; a stale answer; an intermediate frame; garbage; then the
    // final frame with lower-case checksum digits, and bytes behind it that are not parsed.
    const std::string final = Answer(0x21,
                                     "A\x1C\x1C"
                                     "B",
                                     true);
    const std::string chunk = "\x15\x12\x01\x06\x15\x06\x12"s + Answer(0x7E, "old") +
                              Answer(0x80, "busy") + "zz" + final + "\x06\x02tail";
    auto outcome = THostAnswerParser::Outcome::GoOn;
    std::size_t pos = 0;
    std::tie(outcome, pos) = Feed(parser, r, chunk);
    EXPECT_EQ(outcome, THostAnswerParser::Outcome::FinalFrame);
    EXPECT_EQ(r.log, "nak dc2 ack dc2 ACK dc2 ACK ");
    EXPECT_EQ(pos, chunk.size() - 6);
    EXPECT_EQ(chunk.substr(parser.FrameStart(), pos - parser.FrameStart()), final);
    EXPECT_EQ(parser.Fields(), (std::vector<std::string>{"A", "", "B"}));
    EXPECT_TRUE(parser.AckWritten());
    EXPECT_TRUE(parser.IntermediateSeen());
    EXPECT_EQ(parser.state(), THostAnswerParser::State::Idle);

    // The same bytes one at a time give the same result.
    THostAnswerParser slow;
    Recorder r2;
    slow.SetCommandSequence(0x21);
    std::size_t p = 0;
    auto out = THostAnswerParser::Outcome::GoOn;
    const auto* data = reinterpret_cast<const std::uint8_t*>(chunk.data());
    while (out == THostAnswerParser::Outcome::GoOn && p < chunk.size())
        out = slow.Parse(data, p, p + 1, r2);
    EXPECT_EQ(out, THostAnswerParser::Outcome::FinalFrame);
    EXPECT_EQ(p, pos);
    EXPECT_EQ(r2.log, r.log);
}

TEST(HostAnswerParser, EscapesAndSignalBytesInsideFieldsAreData)
{
    THostAnswerParser parser;
    Recorder r;
    parser.SetCommandSequence(0x90);
    // ESC ETX, ESC FS and ESC ESC keep the escaped byte; STX, ACK, NAK, DC2 are plain data.
    const std::string frame = Answer(0x90, "a\x1B\x03"
                                           "b\x1B\x1C\x1B\x1B\x02\x06\x15\x12\x1C");
    auto outcome = THostAnswerParser::Outcome::GoOn;
    std::size_t pos = 0;
    std::tie(outcome, pos) = Feed(parser, r, "\x06"s + frame);
    EXPECT_EQ(outcome, THostAnswerParser::Outcome::FinalFrame);
    EXPECT_EQ(parser.Fields(), (std::vector<std::string>{"a\x03"
                                                         "b\x1C\x1B\x02\x06\x15\x12",
                                                         ""}));
    EXPECT_EQ(r.log, "ack ACK ");

    // An empty frame yields one empty field; a NAK after the ACK is ignored.
    parser.Reset();
    r.log.clear();
    std::tie(outcome, pos) = Feed(parser, r, "\x06\x15"s + Answer(0x90, ""));
    EXPECT_EQ(outcome, THostAnswerParser::Outcome::FinalFrame);
    EXPECT_EQ(parser.Fields(), std::vector<std::string>{""});
    EXPECT_EQ(r.log, "ack ACK ");
}

TEST(HostAnswerParser, BadChecksumIsRefusedAndTheRepeatAccepted)
{
    THostAnswerParser parser;
    Recorder r;
    parser.SetCommandSequence(0x30);
    std::string bad = Answer(0x30, "X");
    bad[bad.size() - 1] = bad.back() == '0' ? '1' : '0';
    std::string notHex = Answer(0x30, "X");
    notHex.replace(notHex.size() - 4, 4, "0x1G");
    // The rest of a chunk after a bad frame is dropped, even a good frame in it.
    auto outcome = THostAnswerParser::Outcome::GoOn;
    std::size_t pos = 0;
    std::tie(outcome, pos) = Feed(parser, r, "\x06"s + bad + Answer(0x30, "X"));
    EXPECT_EQ(outcome, THostAnswerParser::Outcome::GoOn);
    EXPECT_EQ(pos, 1 + bad.size() + Answer(0x30, "X").size());
    EXPECT_EQ(r.log, "ack NAK ");
    EXPECT_EQ(parser.state(), THostAnswerParser::State::Acknowledged);
    std::tie(outcome, pos) = Feed(parser, r, notHex);
    EXPECT_EQ(outcome, THostAnswerParser::Outcome::GoOn);
    EXPECT_EQ(r.log, "ack NAK NAK ");
    r.replyWorks = false; // the final ACK cannot be written: still the end of the exchange
    std::tie(outcome, pos) = Feed(parser, r, Answer(0x30, "X"));
    EXPECT_EQ(outcome, THostAnswerParser::Outcome::FinalFrame);
    EXPECT_FALSE(parser.AckWritten());
    EXPECT_EQ(parser.Fields(), std::vector<std::string>{"X"});
}

TEST(HostAnswerParser, GarbageNeverRunsPastTheChunk)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        THostAnswerParser parser;
        Recorder r;
        parser.SetCommandSequence(static_cast<std::uint8_t>(random()));
        std::string bytes(random() % 600, '\0');
        for (auto& c : bytes) {
            // Bias toward the protocol's own bytes so that every state gets visited.
            const unsigned pick = random() % 4;
            c = static_cast<char>(pick == 0 ? "\x02\x03\x06\x15\x12\x1B\x1C\x80"[random() % 8]
                                            : random());
        }
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            const std::size_t end = std::min(bytes.size(), pos + 1 + random() % 64);
            const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
            const auto outcome = parser.Parse(data, pos, end, r);
            ASSERT_LE(pos, end);
            if (outcome == THostAnswerParser::Outcome::FinalFrame) {
                ASSERT_LE(parser.FrameStart() + 7, pos);
                break;
            }
            ASSERT_EQ(pos, end);
        }
    }
}

} // namespace
} // namespace tallyhost
