#include "links/auxframe.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace tallyhost;

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

// Records what the parser reports, in order, as a compact trace ("A", "N", "B", "F:<frame>").
struct Recorder : TAuxFrameParser::Listener
{
    std::vector<std::string> events;
    void AckReceived() override { events.push_back("A"); }
    void NackReceived() override { events.push_back("N"); }
    void BadChecksum() override { events.push_back("B"); }
};

// Feeds `input` to the parser in chunks of `chunk` bytes the way the worker does: a frame
// ends the chunk's parse, the rest of the chunk is parsed on; an ACK ends everything.
std::vector<std::string> Feed(const std::string& input, std::size_t chunk)
{
    TAuxFrameParser parser;
    Recorder rec;
    const auto* buf = reinterpret_cast<const std::uint8_t*>(input.data());
    std::size_t pos = 0;
    for (std::size_t end = std::min(chunk, input.size()); pos < input.size();
         end = std::min(end + chunk, input.size())) {
        while (pos < end) {
            auto outcome = parser.Parse(buf, pos, end, rec);
            if (outcome == TAuxFrameParser::Outcome::Ack)
                return rec.events;
            if (outcome == TAuxFrameParser::Outcome::Frame)
                rec.events.push_back("F:" +
                                     input.substr(parser.FrameStart(), pos - parser.FrameStart()));
        }
    }
    return rec.events;
}

} // namespace

TEST(AuxFrame, BuildsLiteralFrames)
{
    std::string frame;
    ASSERT_TRUE(auxframe::BuildFrame("12", frame));
    EXPECT_EQ(frame, Bytes({0x02, 0x31, 0x32, 0x03, 0x98}));

    // Empty data still makes a frame; a sum that is already 0 mod 256 gives checksum 0.
    ASSERT_TRUE(auxframe::BuildFrame("", frame));
    EXPECT_EQ(frame, Bytes({0x02, 0x03, 0xFB}));
    ASSERT_TRUE(auxframe::BuildFrame(Bytes({0xFB}), frame));
    EXPECT_EQ(frame, Bytes({0x02, 0xFB, 0x03, 0x00}));

    // Control bytes and high bytes are carried unchanged.
    ASSERT_TRUE(auxframe::BuildFrame(Bytes({0x00, 0x06, 0xFF}), frame));
    EXPECT_EQ(frame, Bytes({0x02, 0x00, 0x06, 0xFF, 0x03, 0xF6}));
}

TEST(AuxFrame, EnqGoesAloneAndOnlyWhenItIsTheWholeText)
{
    std::string frame;
    ASSERT_TRUE(auxframe::BuildFrame(Bytes({0x05}), frame));
    EXPECT_EQ(frame, Bytes({0x05}));
    ASSERT_TRUE(auxframe::BuildFrame(Bytes({0x05, 0x05}), frame));
    EXPECT_EQ(frame, Bytes({0x02, 0x05, 0x05, 0x03, 0xF1}));
}

TEST(AuxFrame, DataLimitIs256Bytes)
{
    std::string frame = "untouched";
    ASSERT_TRUE(auxframe::BuildFrame(std::string(256, 'A'), frame));
    EXPECT_EQ(frame.size(), 259u);
    EXPECT_EQ(static_cast<std::uint8_t>(frame.front()), 0x02);
    EXPECT_EQ(static_cast<std::uint8_t>(frame[257]), 0x03);

    frame = "untouched";
    EXPECT_FALSE(auxframe::BuildFrame(std::string(257, 'A'), frame));
    EXPECT_EQ(frame, "untouched");
}

TEST(AuxFrame, EveryFrameSumsToZero)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255), len(0, 256);
    for (int i = 0; i < 500; ++i) {
        std::string data(len(rng), '\0');
        for (char& c : data)
            c = static_cast<char>(byte(rng));
        if (data.size() == 1 && data[0] == 0x05)
            continue;
        std::string frame;
        ASSERT_TRUE(auxframe::BuildFrame(data, frame));
        unsigned sum = 0;
        for (char c : frame)
            sum += static_cast<std::uint8_t>(c);
        ASSERT_EQ(sum % 256, 0u) << "length " << data.size();
    }
}

TEST(AuxFrame, FinalCodes)
{
    std::string frame;
    for (const char* code : {"0001", "0002", "0003", "0004", "0010", "0011", "0000"}) {
        ASSERT_TRUE(auxframe::BuildFrame(std::string(code) + "|rest", frame));
        EXPECT_TRUE(auxframe::CheckFinalFrame(frame)) << code;
        ASSERT_TRUE(auxframe::BuildFrame(code, frame));
        EXPECT_TRUE(auxframe::CheckFinalFrame(frame)) << code << " alone";
    }
    for (const char* data : {"0005", "0012", "1000", "000", "00", "", " 0001", "0x01"}) {
        ASSERT_TRUE(auxframe::BuildFrame(data, frame));
        EXPECT_FALSE(auxframe::CheckFinalFrame(frame)) << '"' << data << '"';
    }
    // Short or empty texts are answered, not read past their end.
    EXPECT_FALSE(auxframe::CheckFinalFrame(""));
    EXPECT_FALSE(auxframe::CheckFinalFrame("\x02"
                                           "000"));
}

TEST(AuxFrame, AnswerDataStripsFraming)
{
    std::string frame;
    ASSERT_TRUE(auxframe::BuildFrame("0003ABC", frame));
    EXPECT_EQ(auxframe::AnswerData(frame), "0003ABC");
    ASSERT_TRUE(auxframe::BuildFrame("", frame));
    EXPECT_EQ(auxframe::AnswerData(frame), "");
    EXPECT_EQ(auxframe::AnswerData("\x02"), "");
}

TEST(AuxFrame, ErrorNamesMatchEnumerators)
{
    EXPECT_STREQ(FErrorTypeName(FEFP_Success), "FEFP_Success");
    EXPECT_STREQ(FErrorTypeName(FEFP_E_MaxDataLengthReached), "FEFP_E_MaxDataLengthReached");
    EXPECT_STREQ(FErrorTypeName(FEFP_E_ReadTimeOut), "FEFP_E_ReadTimeOut");
    EXPECT_STREQ(FErrorTypeName(FEFP_E_NackReceived), "FEFP_E_NackReceived");
    EXPECT_EQ(FEFP_E_NackReceived, 12);
    EXPECT_STREQ(FErrorTypeName(static_cast<TFErrorType>(13)), "FEFP_Unknown");
    EXPECT_STREQ(FCommPortName(FCom4), "COM4");
    EXPECT_STREQ(FCommPortName(static_cast<TFCommPort>(9)), "COM1");
}

TEST(AuxParser, FramesAcksAndNaksInAnyChunking)
{
    std::string good1, good2;
    ASSERT_TRUE(auxframe::BuildFrame(Bytes({'0', '0', '0', '5', 0x06, 0x15, 0x02, 'x'}), good1));
    ASSERT_TRUE(auxframe::BuildFrame("0003end", good2));
    std::string bad = good2;
    bad.back() = static_cast<char>(bad.back() + 1);
    // Noise and a NAK between frames, a bad frame, two good frames, then an ACK that ends it
    // all; the trailing frame must never be seen.
    const std::string input =
        "zz" + Bytes({0x15}) + bad + good1 + "\x01" + good2 + Bytes({0x06}) + good2;
    const std::vector<std::string> expected{"N", "B", "F:" + good1, "F:" + good2, "A"};
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{5}, input.size()})
        EXPECT_EQ(Feed(input, chunk), expected) << "chunk " << chunk;
}

TEST(AuxParser, BadChecksumLeavesParserReadyForTheRepeat)
{
    std::string good;
    ASSERT_TRUE(auxframe::BuildFrame("0001", good));
    std::string bad = good;
    bad[2] = '9'; // corrupted data, checksum unchanged
    EXPECT_EQ(Feed(bad + good, 3), (std::vector<std::string>{"B", "F:" + good}));

    TAuxFrameParser parser;
    Recorder rec;
    const auto* buf = reinterpret_cast<const std::uint8_t*>(bad.data());
    std::size_t pos = 0;
    EXPECT_EQ(parser.Parse(buf, pos, bad.size(), rec), TAuxFrameParser::Outcome::GoOn);
    EXPECT_EQ(parser.state(), TAuxFrameParser::State::OutsideFrame);
    EXPECT_EQ(pos, bad.size());
}
