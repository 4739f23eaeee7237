#include "session/framedecode.h"

#include "links/auxframe.h"
#include "links/hostframe.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace tallyhost;

namespace {

const std::string kDemo = TALLYHOST_EXAMPLES_DIR "/demo.thf";

std::string HostFrame(std::uint8_t sequence, const std::vector<std::string>& fields)
{
    std::string buffer;
    for (const std::string& field : fields)
        hostframe::AppendField(protocol_Extended, field, buffer);
    return hostframe::BuildFrame(buffer, sequence);
}

// The decoding as "name=value" lines (children indented by two blanks), for comparison.
std::vector<std::string> Lines(const std::vector<DecodedLine>& decoded)
{
    std::vector<std::string> lines;
    for (const DecodedLine& line : decoded)
        lines.push_back(std::string(line.Depth * 2, ' ') + line.Name + "=" + line.Value +
                        (line.Bad ? " [bad]" : ""));
    return lines;
}

std::string Hex2(char byte)
{
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(byte));
    return hex;
}

bool Has(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& l : lines)
        if (l == line)
            return true;
    return false;
}

} // namespace

TEST(FrameDecodeTest, ACommandIsTakenApartAndNamedByTheCatalogue)
{
    const TLogDecoder decoder(kDemo);
    ASSERT_TRUE(decoder.HasCatalogue()) << decoder.Error();
    const std::string frame =
        HostFrame(0x21, {"B", "Coffee", "00001000", "250", "2100", "S"}); // Sales / Sell item
    const std::vector<std::string> lines =
        Lines(decoder.Decode(LogPort::Host, LogDirection::Sent, frame));
    // Values as the window shows them (Currency fields with their decimals), bytes below.
    const std::vector<std::string> expected = {
        "Command=Sales / Sell item",
        "  Code=B",
        "  Description=Coffee",
        "  Quantity=00001.000",
        "  Unit price=2.50",
        "  VAT rate=21.00",
        "  Sign=S",
        "Frame=" + std::to_string(frame.size()) + " bytes, checksum good",
        "  STX=",
        "  Sequence=21 (compatible)",
        "  Field 1=B",
        "  Field 2=Coffee",
        "  Field 3=00001000",
        "  Field 4=250",
        "  Field 5=2100",
        "  Field 6=S",
        "  ETX=",
        "  Checksum=" + frame.substr(frame.size() - 4) + " (good)",
    };
    EXPECT_EQ(lines, expected);

    // Pickers' dates and times in the catalogue's formats (yymmdd sent, dd/mm/yyyy shown) and
    // the byte-valued types: the command's lines, before its frame's.
    const auto named = [&](const std::vector<std::string>& values) {
        std::vector<std::string> lines =
            Lines(decoder.Decode(LogPort::Host, LogDirection::Sent, HostFrame(0x23, values)));
        lines.erase(std::find_if(lines.begin(), lines.end(),
                                 [](const std::string& l) { return l.rfind("Frame=", 0) == 0; }),
                    lines.end());
        return lines;
    };
    EXPECT_EQ(named({"X", "261208", "093015"}),
              (std::vector<std::string>{"Command=Setup / Set date and time", "  Code=X",
                                        "  Date=08/12/2026", "  Time=09:30:15"}));
    EXPECT_EQ(
        named({"b", "\x05", "\x1A\x2B", "\x01\x2C", "TH-SIM"}),
        (std::vector<std::string>{"Command=Setup / Set options", "  Code=b", "  Options=00000101",
                                  "  Key=1A2B", "  Timeout=300", "  Printer id=TH-SIM"}));

    // A command is known by what its read-only fields send, escapes expanded.
    QTemporaryDir dir;
    const std::string escaped = dir.filePath(QStringLiteral("e.thf")).toStdString();
    std::ofstream(escaped) << "[General]\nProtocol=0\n[Groups]\nG=\n[G]\nEsc=\n[GEsc]\n"
                              "Commands=0,\"Code\",\"\",0,\"x'1B'A\",0,0,1,1,0,0,0,"
                              "0,\"Text\",\"\",0,\"\",0,0,0,0,0,0,0\n";
    EXPECT_TRUE(Has(Lines(TLogDecoder(escaped).Decode(LogPort::Host, LogDirection::Sent,
                                                      HostFrame(0x24, {"\x1B"
                                                                       "A",
                                                                       "v"}))),
                    "Command=G / Esc"));

    // Fields the catalogue's commands do not have: taken apart, not named.
    const std::vector<std::string> unknown =
        Lines(decoder.Decode(LogPort::Host, LogDirection::Sent, HostFrame(0x22, {"~", "x"})));
    EXPECT_TRUE(Has(unknown, "Command=not in the catalogue"));
    EXPECT_TRUE(Has(unknown, "  Field 1=~"));
    const std::vector<std::string> bare =
        Lines(TLogDecoder().Decode(LogPort::Host, LogDirection::Sent, frame));
    EXPECT_TRUE(Has(bare, "Command=no catalogue"));
}

TEST(FrameDecodeTest, AnswersOfBothVariantsShowStatusWordsReturnCodeAndAnswerFields)
{
    const TLogDecoder decoder(kDemo);
    const std::string command = HostFrame(0xA5, {"Y"}); // Status / Date and time
    // Extended: both words as two raw bytes, reserved, the return code as two bytes, reserved,
    // then the answer fields.
    const std::string extended =
        HostFrame(0xA5, {std::string("\x00\x40", 2), std::string("\x06\x00", 2), "",
                         std::string("\x00\x03", 2), "", "261208", "0147"});
    const std::vector<std::string> lines =
        Lines(decoder.Decode(LogPort::Host, LogDirection::Received, extended, command));
    EXPECT_TRUE(Has(lines, "  Sequence=A5 (extended)"));
    EXPECT_TRUE(Has(lines, "Answer to=Status / Date and time"));
    EXPECT_TRUE(Has(lines, "Fiscal status=0600"));
    EXPECT_TRUE(Has(lines, "  Panel 2=Fiscalized"));
    EXPECT_TRUE(Has(lines, "Printer status=0040"));
    EXPECT_TRUE(Has(lines, "  Panel 4=Cash drawer open"));
    EXPECT_TRUE(Has(lines, "Return code=3 (0003) Command not valid in this state"));
    EXPECT_TRUE(Has(lines, "Printer date=08/12/2026")) << ::testing::PrintToString(lines);
    EXPECT_FALSE(Has(lines, "Printer date=261208"));

    // Compatible: the command's code, the printer status and the fiscal status as hex text.
    const std::string compatible = HostFrame(0x30, {"*", "0001", "3000", "extra"});
    const std::vector<std::string> plain =
        Lines(decoder.Decode(LogPort::Host, LogDirection::Received, compatible));
    EXPECT_TRUE(Has(plain, "  Sequence=30 (compatible)"));
    EXPECT_TRUE(Has(plain, "Fiscal status=3000"));
    EXPECT_TRUE(Has(plain, "  Panel 1=Slip document open"));
    EXPECT_TRUE(Has(plain, "Printer status=0001"));
    EXPECT_TRUE(Has(plain, "  Panel 1=Printer error"));
    EXPECT_TRUE(Has(plain, "Field3=extra"));
    for (const std::string& line : plain)
        EXPECT_EQ(line.rfind("Return code=", 0), std::string::npos) << line;
}

TEST(FrameDecodeTest, BadChecksumsAndFiscalFramesAreJudged)
{
    const TLogDecoder decoder(kDemo);
    std::string bad = HostFrame(0x21, {"*"});
    bad.back() = bad.back() == '0' ? '1' : '0';
    const std::vector<DecodedLine> decoded =
        decoder.Decode(LogPort::Host, LogDirection::Received, bad);
    ASSERT_FALSE(decoded.empty());
    const DecodedLine& checksum = decoded.back();
    EXPECT_EQ(checksum.Name, "Checksum");
    EXPECT_TRUE(checksum.Bad);
    EXPECT_TRUE(
        Has(Lines(decoded), "Frame=" + std::to_string(bad.size()) + " bytes, checksum bad [bad]"));
    EXPECT_EQ(checksum.Value, bad.substr(bad.size() - 4) + " (bad: the bytes sum to " +
                                  hostframe::CheckSumText(bad.substr(0, bad.size() - 4)) + ")");
    EXPECT_TRUE(Has(Lines(decoder.Decode(LogPort::Host, LogDirection::Received, "\x02\x21*\x03")),
                    "Not a host frame=4 bytes [bad]"));

    std::string fiscal;
    ASSERT_TRUE(auxframe::BuildFrame("0000Z REPORT", fiscal));
    EXPECT_EQ(Lines(decoder.Decode(LogPort::Fiscal, LogDirection::Received, fiscal)),
              (std::vector<std::string>{"STX=", "Text=0000Z REPORT",
                                        "ETX=", "Checksum=" + Hex2(fiscal.back()) + " (good)",
                                        "Final code=0000"}));
    std::string more;
    ASSERT_TRUE(auxframe::BuildFrame("1234 first part", more));
    more.back() = static_cast<char>(more.back() + 1);
    const std::vector<std::string> partial =
        Lines(decoder.Decode(LogPort::Fiscal, LogDirection::Received, more));
    EXPECT_TRUE(Has(partial, "Final code=none: more frames follow"));
    EXPECT_TRUE(partial[3].find("(bad: it should be") != std::string::npos) << partial[3];
    EXPECT_TRUE(Has(Lines(decoder.Decode(LogPort::Host, LogDirection::Received, "\x06")),
                    "Byte=ACK (taken)"));
}
