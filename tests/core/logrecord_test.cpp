#include "core/logrecord.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace tallyhost;

namespace {

constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

LogRecord Frame(LogPrefix prefix, LogPort port, LogDirection direction, int responseMs = -1)
{
    LogRecord record;
    record.HandledAtMs = ((13 * 60 + 5) * 60 + 9) * 1000 + 42; // 13:05:09.042 UTC
    record.Prefix = prefix;
    record.Content = LogContent::Hex;
    record.Port = port;
    record.Direction = direction;
    record.Kind = LogKind::Frame;
    record.HasBytes = true;
    record.ResponseMs = responseMs;
    return record;
}

std::string Shown(const LogRecord& record, std::string_view payload, LogColumns columns,
                  std::int64_t offsetMs = 0)
{
    std::string line;
    AppendShownLine(record, payload, columns, offsetMs, line);
    return line;
}

} // namespace

TEST(LogRecordTest, ALineIsDrawnInEveryColumnSetting)
{
    const LogRecord answer = Frame(LogPrefix::Printer, LogPort::Host, LogDirection::Received, 44);
    LogRecord wire = answer;
    wire.Prefix = LogPrefix::Noise;
    wire.Content = LogContent::Wire;
    wire.Kind = LogKind::SetAside;
    wire.ResponseMs = -1;
    LogRecord text;
    text.Prefix = LogPrefix::Host;
    text.HandledAtMs = kNoTime;
    const struct
    {
        const LogRecord* Record;
        std::string_view Payload;
        LogColumns Columns;
        std::int64_t OffsetMs;
        std::string Expected;
    } rows[] = {
        {&answer, "\x02\x41\x42\x03", {}, 0, "FP   --> 02 41 42 03 "},
        {&answer,
         "\x02\x41\x42\x03",
         {true, false, false},
         0,
         "13:05:09.042 FP   --> 02 41 42 03 "},
        // Local time: the offset of the zone, round midnight.
        {&answer,
         "\x02\x41\x42\x03",
         {true, false, false},
         11 * 3600000,
         "00:05:09.042 FP   --> 02 41 42 03 "},
        {&answer, "\x02\x41\x42\x03", {false, true, false}, 0, "FP   --> 02 41 42 03 | .AB."},
        {&answer, "\x02\x41\x42\x03", {false, false, true}, 0, "FP   --> 02 41 42 03  [44 ms]"},
        {&answer,
         "\x02\x41\x42\x03",
         {true, true, true},
         0,
         "13:05:09.042 FP   --> 02 41 42 03 | .AB. [44 ms]"},
        {&wire,
         std::string_view("\x00z", 2),
         {false, true, true},
         0,
         "NOISE -> host, 2 bytes: 00 7A | .z"},
        // A line of words has no bytes for the text column; a line without a time, blanks.
        {&text,
         "Open COM1 9600,N,8,1",
         {true, true, true},
         0,
         "             HOST --> Open COM1 9600,N,8,1"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Shown(*row.Record, row.Payload, row.Columns, row.OffsetMs), row.Expected);
    EXPECT_EQ(ShownContentStart(answer, {true, false, false}), 22);
}

TEST(LogRecordTest, TheStoreKeepsPayloadsAndSequencesWhileTheOldestLeave)
{
    LogStore store;
    const std::string big(300 * 1024, 'x'); // a payload larger than a chunk
    for (int i = 0; i < 50000; ++i) {
        const std::string payload = i == 20000 ? big : std::to_string(i);
        store.Append(LogRecord{}, payload);
    }
    EXPECT_EQ(store.Size(), 50000u);
    EXPECT_EQ(store.Payload(12345), "12345");
    EXPECT_EQ(store.Payload(20000).size(), big.size());
    store.DropFront(20001);
    EXPECT_EQ(store.FirstSequence(), 20001u);
    EXPECT_EQ(store.Payload(0), "20001");
    EXPECT_EQ(store.Payload(store.Size() - 1), "49999");
    store.Append(LogRecord{}, "new");
    EXPECT_EQ(store.EndSequence(), 50001u);
    EXPECT_EQ(store.Payload(store.Size() - 1), "new");
    store.Clear();
    EXPECT_TRUE(store.Empty());
    store.Append(LogRecord{}, "again");
    EXPECT_EQ(store.Payload(0), "again");
    EXPECT_EQ(store.FirstSequence(), 50001u);
}

TEST(LogRecordTest, FilterSelectsByPortDirectionKindTextAndBytes)
{
    const LogRecord command = Frame(LogPrefix::Host, LogPort::Host, LogDirection::Sent);
    const LogRecord answer = Frame(LogPrefix::Printer, LogPort::Host, LogDirection::Received);
    const LogRecord fiscal = Frame(LogPrefix::Fiscal, LogPort::Fiscal, LogDirection::Sent);
    LogRecord ack;
    ack.Prefix = LogPrefix::Printer;
    ack.Port = LogPort::Host;
    ack.Direction = LogDirection::Received;
    ack.Kind = LogKind::Ack;
    LogRecord noise = answer;
    noise.Kind = LogKind::SetAside;
    noise.Content = LogContent::Wire;
    const std::string_view bytes = "\x02\x21\x1C\x30\x30\x03";
    const auto passes = [&](const LogFilter& filter, const LogRecord& record,
                            std::string_view payload) {
        LogFilter upper = filter;
        upper.Text = UpperAscii(filter.Text);
        return LogFilterMatches(upper, record, payload, Shown(record, payload, {}));
    };
    LogFilter byPort;
    byPort.Port = LogPort::Fiscal;
    LogFilter byDirection;
    byDirection.Direction = LogDirection::Received;
    LogFilter frames;
    frames.Kind = LogFilter::Kinds::Frames;
    LogFilter acks;
    acks.Kind = LogFilter::Kinds::Acks;
    LogFilter errors;
    errors.Kind = LogFilter::Kinds::Errors;
    LogFilter text;
    text.Text = "fp   --> 02 21";
    LogFilter pattern;
    ASSERT_TRUE(ParseHexPattern("1c 30 30", pattern.Bytes));
    const struct
    {
        const LogFilter* Filter;
        bool Command, Answer, Fiscal, Ack, Noise;
    } rows[] = {
        {&byPort, false, false, true, false, false}, {&byDirection, false, true, false, true, true},
        {&frames, true, true, true, false, false},   {&acks, false, false, false, true, false},
        {&errors, false, false, false, false, true}, {&text, false, true, false, false, false},
        {&pattern, true, true, true, false, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(passes(*row.Filter, command, bytes), row.Command);
        EXPECT_EQ(passes(*row.Filter, answer, bytes), row.Answer);
        EXPECT_EQ(passes(*row.Filter, fiscal, bytes), row.Fiscal);
        EXPECT_EQ(passes(*row.Filter, ack, "ACK"), row.Ack);
        EXPECT_EQ(passes(*row.Filter, noise, bytes), row.Noise);
    }
    std::string out;
    EXPECT_TRUE(ParseHexPattern("1C3030", out));
    EXPECT_EQ(out, "\x1C\x30\x30");
    for (const char* bad : {"1C 3", "1 C", "xy", "1C 30 3G"})
        EXPECT_FALSE(ParseHexPattern(bad, out)) << bad;
    EXPECT_EQ(FindUpper("host, 2 bytes", "BYTES"), 8u);
    EXPECT_EQ(FindUpper("abcabc", "BC", 2), 4u);
}

TEST(LogRecordTest, LinesOfALogFileBecomeTheirRecordsAndUnreadableOnesStayAsTheyStand)
{
    const struct
    {
        std::string_view Line;
        LogKind Kind;
        LogPort Port;
        LogDirection Direction;
        std::string_view Payload;
        int ResponseMs;
    } rows[] = {
        {"HOST --> 02 21 2A 03 30 30 46 46 ", LogKind::Frame, LogPort::Host, LogDirection::Sent,
         "\x02\x21\x2A\x03\x30\x30\x46\x46", -1},
        {"HOST --> 06 ", LogKind::Ack, LogPort::Host, LogDirection::Sent, "\x06", -1},
        {"FP   --> 02 41 03 ", LogKind::Frame, LogPort::Fiscal, LogDirection::Received,
         "\x02\x41\x03", -1},
        {"FP   --> ACK", LogKind::Ack, LogPort::Fiscal, LogDirection::Received, "ACK", -1},
        {"FISCAL-> 02 30 03 ", LogKind::Frame, LogPort::Fiscal, LogDirection::Sent, "\x02\x30\x03",
         -1},
        {"LATE  -> fiscal, 3 bytes: 02 30 03 ", LogKind::SetAside, LogPort::Fiscal,
         LogDirection::Received, "\x02\x30\x03", -1},
        {"Open COM2 38400,N,8,1", LogKind::Port, LogPort::None, LogDirection::None,
         "Open COM2 38400,N,8,1", -1},
        // A saved view with every column.
        {"13:05:09.042 FP   --> 02 41 42 03 | .AB. [44 ms]", LogKind::Frame, LogPort::Fiscal,
         LogDirection::Received, "\x02\x41\x42\x03", 44},
        {"HOST --> COM1 lost (/dev/ttyUSB0: gone)", LogKind::PortNote, LogPort::Host,
         LogDirection::None, "COM1 lost (/dev/ttyUSB0: gone)", -1},
        // A fiscal ACK carries its response time; a saved view's port changes their prefix.
        {"13:05:09.042 FP   --> ACK [31 ms]", LogKind::Ack, LogPort::Fiscal, LogDirection::Received,
         "ACK", 31},
        {"HOST --> Open COM1 9600,N,8,1", LogKind::Port, LogPort::Host, LogDirection::None,
         "Open COM1 9600,N,8,1", -1},
        {"FISCAL-> Close port", LogKind::Port, LogPort::Fiscal, LogDirection::None, "Close port",
         -1},
        // The file's port notes have no prefix, and so no port.
        {"COM1 lost (/dev/ttyUSB0: gone)", LogKind::PortNote, LogPort::None, LogDirection::None,
         "COM1 lost (/dev/ttyUSB0: gone)", -1},
        {"COM12: another device at /dev/ttyUSB1 (1a86:7523), not the one lost (0403:6001); it is "
         "not used until OK in Preferences",
         LogKind::PortNote, LogPort::None, LogDirection::None,
         "COM12: another device at /dev/ttyUSB1 (1a86:7523), not the one lost (0403:6001); it is "
         "not used until OK in Preferences",
         -1},
        {"COM port list refreshed", LogKind::Note, LogPort::None, LogDirection::None,
         "COM port list refreshed", -1},
        // What the program never writes: kept whole.
        {"FP   --> 02 4", LogKind::Unread, LogPort::None, LogDirection::None, "FP   --> 02 4", -1},
        {"NOISE -> host, 3 bytes: 00 01 ", LogKind::Unread, LogPort::None, LogDirection::None,
         "NOISE -> host, 3 bytes: 00 01 ", -1},
        {"8/12/26 01:47:51", LogKind::Note, LogPort::None, LogDirection::None, "8/12/26 01:47:51",
         -1},
    };
    for (const auto& row : rows) {
        const ParsedLogLine parsed = ParseLogFileLine(row.Line, LogPort::Fiscal);
        EXPECT_EQ(parsed.Record.Kind, row.Kind) << row.Line;
        EXPECT_EQ(parsed.Record.Port, row.Port) << row.Line;
        EXPECT_EQ(parsed.Record.Direction, row.Direction) << row.Line;
        EXPECT_EQ(parsed.Payload, row.Payload) << row.Line;
        EXPECT_EQ(parsed.Record.ResponseMs, row.ResponseMs) << row.Line;
        // Drawn again, with every column for a line of a saved view (one with a time), a line
        // the program wrote reads as it was written.
        const bool saved = parsed.Record.HandledAtMs != std::numeric_limits<std::int64_t>::min();
        EXPECT_EQ(Shown(parsed.Record, parsed.Payload,
                        saved ? LogColumns{true, true, true} : LogColumns{}),
                  row.Line);
        // Only lost ports, set-aside bytes and unread lines are errors.
        LogFilter errors;
        errors.Kind = LogFilter::Kinds::Errors;
        EXPECT_EQ(LogFilterMatches(errors, parsed.Record, parsed.Payload, row.Line),
                  row.Kind == LogKind::PortNote || row.Kind == LogKind::SetAside ||
                      row.Kind == LogKind::Unread)
            << row.Line;
    }
}
