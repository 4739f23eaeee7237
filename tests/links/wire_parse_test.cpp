// What the two answer parsers set aside, byte for byte: noise, keep-alives, stale frames and
// frames refused for their checksum, in wire order and between the parser's other reports.

#include "links/auxframe.h"
#include "links/hostframe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tallyhost;
using namespace std::string_literals;

namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t count)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

const char* KindName(TWireKind kind)
{
    switch (kind) {
    case TWireKind::BadChecksum:
        return "bad";
    case TWireKind::StaleFrame:
        return "stale";
    case TWireKind::Noise:
        return "noise";
    case TWireKind::KeepAlive:
        return "keep";
    case TWireKind::Late:
        return "late";
    }
    return "?";
}

struct HostRecorder : THostAnswerParser::Listener
{
    std::vector<std::string> events;
    void AckReceived() override { events.push_back("ack"); }
    void NackReceived() override { events.push_back("nak"); }
    void IntermediateAnswer() override { events.push_back("busy"); }
    bool WriteReply(std::uint8_t byte) override
    {
        events.push_back(byte == hostframe::ACK ? "ACK" : "NAK");
        return true;
    }
    void Discarded(TWireKind kind, const std::uint8_t* bytes, std::size_t count) override
    {
        events.push_back(std::string(KindName(kind)) + ":" + Hex(bytes, count));
    }
};

struct AuxRecorder : TAuxFrameParser::Listener
{
    std::vector<std::string> events;
    void AckReceived() override { events.push_back("ack"); }
    void NackReceived() override { events.push_back("nak"); }
    void BadChecksum() override { events.push_back("NAK"); }
    void Discarded(TWireKind kind, const std::uint8_t* bytes, std::size_t count) override
    {
        events.push_back(std::string(KindName(kind)) + ":" + Hex(bytes, count));
    }
};

std::string HostAnswer(std::uint8_t sequence, const std::string& body)
{
    const std::string frame = "\x02"s + static_cast<char>(sequence) + body + "\x03";
    return frame + hostframe::CheckSumText(frame);
}

THostAnswerParser::Outcome FeedHost(THostAnswerParser& parser, HostRecorder& recorder,
                                    const std::string& bytes, std::size_t& pos)
{
    return parser.Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), pos, bytes.size(),
                        recorder);
}

} // namespace

TEST(WireParse, HostParserSetsAsideNoiseKeepAlivesStaleAndRefusedFrames)
{
    THostAnswerParser parser;
    HostRecorder r;
    parser.SetCommandSequence(0x21);

    // Noise before the ACK and after it, a DC2, a stale answer (7E), an intermediate frame (80)
    // and a frame whose checksum digits are wrong, followed by bytes the refusal throws away.
    const std::string stale = HostAnswer(0x7E, "o");
    const std::string busy = HostAnswer(0x80, "b");
    std::string bad = HostAnswer(0x21, "x");
    bad.back() = bad.back() == '0' ? '1' : '0';
    std::string chunk = "\x01\x06zz\x12"s + stale + busy + bad + "\xFFq";
    std::size_t pos = 0;
    EXPECT_EQ(FeedHost(parser, r, chunk, pos), THostAnswerParser::Outcome::GoOn);
    EXPECT_EQ(pos, chunk.size());

    const auto hex = [](const std::string& s) {
        return Hex(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    const std::vector<std::string> expected{"noise:01",
                                            "ack",
                                            "noise:7A",
                                            "noise:7A",
                                            "keep:12",
                                            "busy",
                                            "stale:" + hex(stale),
                                            "ACK",
                                            "keep:" + hex(busy),
                                            "busy",
                                            "bad:" + hex(bad),
                                            "NAK",
                                            "noise:FF71"};
    EXPECT_EQ(r.events, expected);

    // The printer repeats the frame correctly: it ends the exchange, and nothing is set aside.
    r.events.clear();
    const std::string good = HostAnswer(0x21, "x");
    pos = 0;
    EXPECT_EQ(FeedHost(parser, r, good, pos), THostAnswerParser::Outcome::FinalFrame);
    EXPECT_EQ(r.events, std::vector<std::string>{"ACK"});
}

TEST(WireParse, HostFrameSplitOverReadsIsReportedWhole)
{
    // A stale frame arriving in two reads is reported once, with all its bytes: the parser
    // works on positions in the worker's growing receive buffer.
    THostAnswerParser parser;
    HostRecorder r;
    parser.SetCommandSequence(0x30);
    const std::string stale = HostAnswer(0x2F, "old\x1C"
                                               "1");
    std::size_t pos = 0;
    const auto* data = reinterpret_cast<const std::uint8_t*>(stale.data());
    parser.Parse(data, pos, 4, r);
    EXPECT_TRUE(r.events.empty());
    parser.Parse(data, pos, stale.size(), r);
    ASSERT_EQ(r.events.size(), 2u);
    EXPECT_EQ(r.events[0], "stale:" + Hex(data, stale.size()));
}

TEST(WireParse, AuxParserSetsAsideNoiseAndRefusedFrames)
{
    TAuxFrameParser parser;
    AuxRecorder r;
    // Noise, a frame with a wrong checksum byte, more noise, then a good frame.
    std::string good;
    ASSERT_TRUE(auxframe::BuildFrame("0000", good));
    std::string bad = good;
    bad.back() = static_cast<char>(bad.back() ^ 0x01);
    const std::string chunk = "\x00\x7F"s + bad + "n" + good;
    const auto* data = reinterpret_cast<const std::uint8_t*>(chunk.data());
    std::size_t pos = 0;
    EXPECT_EQ(parser.Parse(data, pos, chunk.size(), r), TAuxFrameParser::Outcome::Frame);
    EXPECT_EQ(pos, chunk.size());
    const std::vector<std::string> expected{
        "noise:00", "noise:7F",
        "bad:" + Hex(reinterpret_cast<const std::uint8_t*>(bad.data()), bad.size()), "NAK",
        "noise:6E"};
    EXPECT_EQ(r.events, expected);
}
