#include "core/logformat.h"
#include "core/version.h"

#include <gtest/gtest.h>

using namespace tallyhost;

namespace {

LogLine Format(LogEvent event, std::string_view frame = {}, bool lowLevel = false)
{
    LogLineSource source;
    source.hostCommPort = 1;
    source.hostBaudRate = 3;
    source.auxCommPort = 2;
    source.frame = frame;
    return FormatLogLine(event, source, lowLevel);
}

} // namespace

// The log puts a blank after every pair, the command line's reports only between pairs.
TEST(LogFormat, HexTextsRenderEveryByteAsTwoUpperCaseDigits)
{
    struct Case
    {
        std::string bytes;
        std::string log;
        std::string report;
    };
    const Case cases[] = {
        {std::string("\x02\x41\x1C\x03", 4), "02 41 1C 03 ", "02 41 1C 03"},
        {std::string("\x00\xFF\xab\x7f", 4), "00 FF AB 7F ", "00 FF AB 7F"},
        {std::string("\x0A", 1), "0A ", "0A"},
        {std::string(), "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrameHexText(c.bytes), c.log) << c.report;
        EXPECT_EQ(HexText(c.bytes), c.report) << c.report;
    }
}

TEST(LogFormat, HostFramesKeepTheirPrefixInViewAndFile)
{
    const LogLine written = Format(LogEvent::HostWrite, std::string_view("\x02\x41\x1C\x03", 4));
    EXPECT_TRUE(written.inView);
    EXPECT_EQ(written.color, LogColorRole::Host);
    EXPECT_EQ(written.prefix + written.content, "HOST --> 02 41 1C 03 ");
    EXPECT_EQ(written.fileLine, "HOST --> 02 41 1C 03 \r\n");

    const LogLine read = Format(LogEvent::HostRead, std::string_view("\x06\x02", 2));
    EXPECT_EQ(read.color, LogColorRole::Printer);
    EXPECT_EQ(read.fileLine, "FP   --> 06 02 \r\n");

    // Data read from the fiscal port is the printer's too: same prefix and colour.
    const LogLine auxRead = Format(LogEvent::AuxRead, "0");
    EXPECT_EQ(auxRead.color, LogColorRole::Printer);
    EXPECT_EQ(auxRead.fileLine, "FP   --> 30 \r\n");

    const LogLine auxWrite = Format(LogEvent::AuxWrite, "\x05");
    EXPECT_EQ(auxWrite.color, LogColorRole::Fiscal);
    EXPECT_EQ(auxWrite.prefix + auxWrite.content, "FISCAL-> 05 ");
    EXPECT_EQ(auxWrite.fileLine, "FISCAL-> 05 \r\n");
}

TEST(LogFormat, PortLinesShowThePrefixOnlyInTheView)
{
    const LogLine hostOpen = Format(LogEvent::HostOpen);
    EXPECT_EQ(hostOpen.prefix + hostOpen.content, "HOST --> Open COM2 9600,N,8,1");
    EXPECT_EQ(hostOpen.fileLine, "Open COM2 9600,N,8,1\r\n");

    const LogLine hostClose = Format(LogEvent::HostClose);
    EXPECT_EQ(hostClose.prefix + hostClose.content, "HOST --> Close port");
    EXPECT_EQ(hostClose.fileLine, "Close port\r\n");

    const LogLine auxOpen = Format(LogEvent::AuxOpen);
    EXPECT_EQ(auxOpen.color, LogColorRole::Fiscal);
    EXPECT_EQ(auxOpen.prefix + auxOpen.content, "FISCAL-> Open COM3 9600,N,8,1");
    EXPECT_EQ(auxOpen.fileLine, "Open COM3 9600,N,8,1\r\n");

    const LogLine auxClose = Format(LogEvent::AuxClose);
    EXPECT_EQ(auxClose.prefix + auxClose.content, "FISCAL-> Close port");
    EXPECT_EQ(auxClose.fileLine, "Close port\r\n");
}

TEST(LogFormat, HostOpenTextCoversEverySpeedAndNothingForAnUnknownOne)
{
    EXPECT_EQ(HostOpenText(0, 0), "Open COM1 1200,N,8,1");
    EXPECT_EQ(HostOpenText(0, 1), "Open COM1 2400,N,8,1");
    EXPECT_EQ(HostOpenText(0, 2), "Open COM1 4800,N,8,1");
    EXPECT_EQ(HostOpenText(0, 4), "Open COM1 19200,N,8,1");
    EXPECT_EQ(HostOpenText(3, 5), "Open COM4 38400,N,8,1");
    EXPECT_EQ(HostOpenText(0, 6), "Open COM1,N,8,1");
    EXPECT_EQ(HostOpenText(0, -1), "Open COM1,N,8,1");
    EXPECT_EQ(AuxOpenText(0), "Open COM1 9600,N,8,1");
}

TEST(LogFormat, LowLevelLinesAlwaysReachTheFileButTheViewOnlyWithTheFlag)
{
    struct Case
    {
        LogEvent event;
        const char* text;
    };
    for (const Case c : {Case{LogEvent::Ack, "ACK"}, Case{LogEvent::Nack, "NACK"},
                         Case{LogEvent::Intermediate, "INTERMEDIATE ANSWER"}}) {
        SCOPED_TRACE(c.text);
        const LogLine off = Format(c.event, {}, false);
        const LogLine on = Format(c.event, {}, true);
        EXPECT_FALSE(off.inView);
        EXPECT_TRUE(on.inView);
        EXPECT_EQ(off.fileLine, std::string("FP   --> ") + c.text + "\r\n");
        EXPECT_EQ(on.fileLine, off.fileLine);
        EXPECT_EQ(on.prefix + on.content, std::string("FP   --> ") + c.text);
        EXPECT_EQ(on.color, LogColorRole::Printer);
    }
}

TEST(LogFormat, LogFileNameReplacesOnlyTheFileNamesExtension)
{
    EXPECT_EQ(LogFileNameFor("/home/op/printers/epson.thf"), "/home/op/printers/epson.log");
    EXPECT_EQ(LogFileNameFor("/home/op/v1.2/catalogue"), "/home/op/v1.2/catalogue.log");
    EXPECT_EQ(LogFileNameFor("/home/op/a.b.thf"), "/home/op/a.b.log");
    EXPECT_EQ(LogFileNameFor("local.THF"), "local.log");
}

TEST(LogFormat, HeaderAndTimeStampAreCrLfLines)
{
    EXPECT_EQ(LogFileHeader("tallyhost"), VersionString("CompanyName") + "\r\ntallyhost\r\n");
    EXPECT_EQ(LogTimeStampBlock("07/12/2026 09:15:02"), "\r\n07/12/2026 09:15:02\r\n");
}

TEST(LogFormat, PortPanelsDescribeTheLineOrTheFiscalPortsAbsence)
{
    EXPECT_EQ(HostPortPanelText(0, 3), "COM1 9600,N,8,1");
    EXPECT_EQ(HostPortPanelText(3, 0), "COM4 1200,N,8,1");
    EXPECT_EQ(HostPortPanelText(1, 5), "COM2 38400,N,8,1");
    EXPECT_EQ(HostPortPanelText(1, 6), "COM2");
    EXPECT_EQ(HostPortPanelText(0, 255), "COM1");
    EXPECT_EQ(FiscalPortPanelText(true, true, 1), "COM2 9600,N,8,1");
    EXPECT_EQ(FiscalPortPanelText(true, false, 1), "Disabled");
    EXPECT_EQ(FiscalPortPanelText(false, true, 1), "Disabled");
}
