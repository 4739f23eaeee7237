#include "links/fphostcontrol.h"
#include "tests/links/hostlink_support.h"
#include "tests/links/ptyprinter.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using namespace std::string_literals;

namespace tallyhost {
namespace {

using testing::EventLog;
using testing::Hex;
using testing::PrinterFrame;
using testing::PtyPrinter;
using testing::ReadCommandFrame;
using testing::RunUntil;

std::string Sum4(unsigned sum)
{
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04X", sum & 0xFFFF);
    return digits;
}

std::uint8_t Sequence(const std::string& frame)
{
    return frame.size() > 1 ? static_cast<std::uint8_t>(frame[1]) : 0;
}

TEST(HostLink, OpenCloseAndRefusals)
{
    TFPHostControl link;
    EXPECT_EQ(link.State(), EFP_S_Close);
    EXPECT_EQ(link.LastError(), EFP_Success);
    EXPECT_EQ(link.CommPort(), Com1);
    EXPECT_EQ(link.BaudRate(), br1200);
    EXPECT_EQ(link.ProtocolType(), protocol_Compatible);
    EventLog log(link);

    EXPECT_FALSE(link.ClosePort());
    EXPECT_EQ(link.LastError(), EFP_E_ComAlreadyClose);
    EXPECT_FALSE(link.SendCommand());
    EXPECT_EQ(link.LastError(), EFP_E_ComClose);
    link.SetDevicePath("/dev/tallyhost-missing");
    EXPECT_FALSE(link.OpenPort());
    EXPECT_EQ(link.LastError(), EFP_E_InvalidCom);
    EXPECT_EQ(link.State(), EFP_S_Close);

    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    link.SetDevicePath(printer.DevicePath());
    link.SetBaudRate(br9600);
    ASSERT_TRUE(link.OpenPort()) << link.OpenErrorText();
    EXPECT_EQ(link.State(), EFP_S_Idle);
    EXPECT_EQ(log.Lines, std::vector<std::string>{"open"});
    EXPECT_FALSE(link.OpenPort());
    EXPECT_EQ(link.LastError(), EFP_E_ComAlreadyOpen);

    TFPHostControl other; // a port held by another link
    other.SetDevicePath(printer.DevicePath());
    EXPECT_FALSE(other.OpenPort());
    EXPECT_EQ(other.LastError(), EFP_E_ComInUse);

    // Port settings wait for the next open.
    link.SetCommPort(Com3);
    link.SetBaudRate(br38400);
    link.SetDevicePath("/dev/null");
    EXPECT_EQ(link.CommPort(), Com1);
    EXPECT_EQ(link.BaudRate(), br9600);
    EXPECT_EQ(link.DevicePath(), printer.DevicePath());

    // A refused field refuses the whole command until Purge: no half field is ever sent.
    EXPECT_TRUE(link.AddDataField("OK"));
    EXPECT_FALSE(link.AddDataField("A\nB"));
    EXPECT_EQ(link.LastError(), EFP_E_InvalidDataInField);
    EXPECT_FALSE(link.SendCommand());
    EXPECT_EQ(link.LastError(), EFP_E_InvalidDataInField);
    link.Purge();
    EXPECT_EQ(link.LastError(), EFP_Success);

    // 2049 bytes of data are refused; so is a frame that outgrows the send buffer.
    EXPECT_TRUE(link.AddDataField(std::string(2000, 'a')));
    EXPECT_TRUE(link.AddDataField(std::string(49, 'b')));
    EXPECT_FALSE(link.SendCommand());
    EXPECT_EQ(link.LastError(), EFP_E_MaxDataLengthReached);
    link.Purge();
    for (int i = 0; i < 8200; ++i)
        link.AddDataField("");
    EXPECT_FALSE(link.SendCommand());
    EXPECT_EQ(link.LastError(), EFP_E_MaxDataLengthReached);
    link.Purge();
    EXPECT_EQ(printer.Read(1, 50ms), "") << "nothing refused reaches the printer";

    // Exactly 2048 bytes go out.
    EXPECT_TRUE(link.AddDataField(std::string(2047, 'a')));
    EXPECT_TRUE(link.AddDataField("b"));
    ASSERT_TRUE(link.SendCommand());
    EXPECT_EQ(link.State(), EFP_S_Busy);
    EXPECT_EQ(ReadCommandFrame(printer, 2000ms).size(), 2 + 2047 + 1 + 1 + 1 + 4u);
    EXPECT_FALSE(link.SendCommand());
    EXPECT_EQ(link.LastError(), EFP_E_OperationInProgress);
    link.SetProtocolType(protocol_Extended);
    EXPECT_EQ(link.ProtocolType(), protocol_Compatible) << "no protocol change while busy";

    EXPECT_TRUE(link.ClosePort());
    EXPECT_EQ(link.State(), EFP_S_Close);
    EXPECT_FALSE(link.ClosePort());
    EXPECT_EQ(link.LastError(), EFP_E_ComAlreadyClose);
    RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(log.Lines.back(), "close");
    EXPECT_EQ(log.Ends, 0) << "a closed link reports nothing of the dropped command";
    EXPECT_TRUE(other.OpenPort()) << "closing gives the port back";
}

TEST(HostLink, CompatibleExchangeOnTheWire)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    TFPHostControl link;
    link.SetDevicePath(printer.DevicePath());
    ASSERT_TRUE(link.OpenPort());
    EventLog log(link);

    ASSERT_TRUE(link.AddDataField("\x2A"));
    ASSERT_TRUE(link.AddDataField("ABC"));
    ASSERT_TRUE(link.SendCommand());
    const std::string frame = ReadCommandFrame(printer, 2000ms);
    const std::uint8_t seq = Sequence(frame);
    ASSERT_GE(seq, 0x20);
    ASSERT_LE(seq, 0x7F);
    // 02 + 2A + 1C + 41 + 42 + 43 + 03 = 0x111, plus the sequence byte.
    EXPECT_EQ(Hex(frame), Hex("\x02"s + char(seq) +
                              "\x2A\x1C"
                              "ABC\x03" +
                              Sum4(0x111u + seq)));

    const std::string answer = PrinterFrame(seq, "*\x1C"
                                                 "0080\x1C"
                                                 "C600\x1C"
                                                 "first\x1C\x1C"
                                                 "third");
    ASSERT_TRUE(printer.Write("\x06"));
    ASSERT_TRUE(printer.Write(answer));
    EXPECT_EQ(Hex(printer.Read(1, 2000ms)), "06") << "the host acknowledges the final frame";
    ASSERT_TRUE(log.WaitEnds(1, 3000ms));
    EXPECT_EQ(log.Joined(), "write " + Hex(frame) + "\nack\nread " + Hex(answer) +
                                "\nwrite 06\nfinal EFP_S_Idle\n");
    EXPECT_EQ(link.PrinterStatus(), 0x0080);
    EXPECT_EQ(static_cast<std::uint16_t>(link.FiscalStatus()), 0xC600);
    EXPECT_EQ(link.ReturnCode(), 0);
    ASSERT_EQ(link.ExtraFieldsCount(), 3);
    EXPECT_EQ(link.GetExtraField(1), "first");
    EXPECT_EQ(link.GetExtraField(2), "");
    EXPECT_EQ(link.LastError(), EFP_Success);
    EXPECT_EQ(link.GetExtraField(3), "third");
    EXPECT_EQ(link.GetExtraField(0), "");
    EXPECT_EQ(link.LastError(), EFP_E_InvalidIndex);
    EXPECT_EQ(link.GetExtraField(4), "");
    EXPECT_EQ(link.LastError(), EFP_E_InvalidIndex);

    // The next command, with no field at all, takes the next sequence byte; sending clears
    // the previous answer's extra fields at once.
    ASSERT_TRUE(link.SendCommand());
    EXPECT_EQ(link.ExtraFieldsCount(), 0);
    const std::uint8_t next = seq == 0x7F ? 0x20 : seq + 1;
    const std::string empty = ReadCommandFrame(printer, 2000ms);
    EXPECT_EQ(Hex(empty), Hex("\x02"s + char(next) + "\x03" + Sum4(0x05u + next)));
    // A short answer: statuses the list does not reach are 0, extra fields stay empty.
    ASSERT_TRUE(printer.Write(PrinterFrame(next, "x\x1C"
                                                 "0001")));
    ASSERT_TRUE(log.WaitEnds(2, 3000ms));
    EXPECT_EQ(link.PrinterStatus(), 1);
    EXPECT_EQ(link.FiscalStatus(), 0);
    EXPECT_EQ(link.ExtraFieldsCount(), 0);
}

TEST(HostLink, ExtendedExchangeWithRepliesToEveryKindOfFrame)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    TFPHostControl link;
    link.SetDevicePath(printer.DevicePath());
    link.SetProtocolType(protocol_Extended);
    ASSERT_TRUE(link.OpenPort());
    EventLog log(link);

    ASSERT_TRUE(link.AddDataField("\x1C\x0A\x03\xE9"s));
    ASSERT_TRUE(link.SendCommand());
    const std::string frame = ReadCommandFrame(printer, 2000ms);
    const std::uint8_t seq = Sequence(frame);
    ASSERT_GE(seq, 0x81);
    // 02 + 1B 1C + 0A + 1B 03 + E9 + 03 = 0x14D, plus the sequence byte.
    EXPECT_EQ(Hex(frame),
              Hex("\x02"s + char(seq) + "\x1B\x1C\x0A\x1B\x03\xE9\x03" + Sum4(0x14Du + seq)));

    const std::uint8_t staleSeq = seq == 0x81 ? 0xFF : seq - 1;
    ASSERT_TRUE(printer.Write("\x06\x12"));
    // A stale answer is acknowledged and ignored.
    ASSERT_TRUE(printer.Write(PrinterFrame(staleSeq, "\x00\x00\x1C\x00\x00"s)));
    EXPECT_EQ(Hex(printer.Read(1, 2000ms)), "06");
    // An intermediate frame gets no reply.
    ASSERT_TRUE(printer.Write(PrinterFrame(0x80, "busy")));
    EXPECT_EQ(printer.Read(1, 200ms), "");
    // The final frame with a broken checksum is refused with NAK ...
    const std::string body = "\x80\x01\x1C\x1B\x02\x1B\x03\x1C"
                             "x\x1C\x10\x20\x1Cy\x1C"
                             "e1\x1B\x03\x1C"
                             "e2"s;
    std::string broken = PrinterFrame(seq, body);
    broken.back() = broken.back() == 'A' ? 'B' : 'A';
    ASSERT_TRUE(printer.Write(broken));
    EXPECT_EQ(Hex(printer.Read(1, 2000ms)), "15");
    // ... and its repeat accepted; bytes behind it in the same write are not part of it.
    const std::string good = PrinterFrame(seq, body);
    ASSERT_TRUE(printer.Write(good + "\x06\x02junk"));
    EXPECT_EQ(Hex(printer.Read(1, 2000ms)), "06");
    ASSERT_TRUE(log.WaitEnds(1, 3000ms));
    EXPECT_EQ(log.Joined(), "write " + Hex(frame) +
                                "\nack\nintermediate\nintermediate\nwrite 15\nread " + Hex(good) +
                                "\nwrite 06\nfinal EFP_S_Idle\n");
    EXPECT_EQ(static_cast<std::uint16_t>(link.PrinterStatus()), 0x8001);
    EXPECT_EQ(link.FiscalStatus(), 0x0203);
    EXPECT_EQ(link.ReturnCode(), 0x1020);
    ASSERT_EQ(link.ExtraFieldsCount(), 2);
    EXPECT_EQ(link.GetExtraField(1), "e1\x03");
    EXPECT_EQ(link.GetExtraField(2), "e2");

    // The leftovers were purged: the next exchange starts clean.
    ASSERT_TRUE(link.SendCommand());
    const std::string second = ReadCommandFrame(printer, 2000ms);
    ASSERT_TRUE(printer.Write(PrinterFrame(Sequence(second), "\x05")));
    ASSERT_TRUE(log.WaitEnds(2, 3000ms));
    EXPECT_EQ(log.Lines.back(), "final EFP_S_Idle");
    EXPECT_EQ(link.PrinterStatus(), 0x3005);
    EXPECT_EQ(link.ExtraFieldsCount(), 0);
    // Closing right after the answer does not cut off the host's acknowledgement.
    EXPECT_TRUE(link.ClosePort());
    EXPECT_EQ(Hex(printer.Read(1, 1000ms)), "06");
}

// A long report: the printer keeps telling it is still working with intermediate frames that
// together hold more than the 8192-byte receive buffer. Each one is dropped once read, so the
// final answer still finds room. The final frame has exactly four fields, which already carry
// the return code.
TEST(HostLink, LongReportOfIntermediateFramesBeyondTheReceiveBuffer)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    TFPHostControl link;
    link.SetDevicePath(printer.DevicePath());
    link.SetProtocolType(protocol_Extended);
    ASSERT_TRUE(link.OpenPort());
    EventLog log(link);

    ASSERT_TRUE(link.AddDataField("report"));
    ASSERT_TRUE(link.SendCommand());
    const std::string frame = ReadCommandFrame(printer, 2000ms);
    ASSERT_FALSE(frame.empty());
    ASSERT_TRUE(printer.Write("\x06"));
    constexpr int IntermediateFrames = 12;
    const std::string line(1000, 'L');
    std::string report;
    std::vector<std::size_t> frameEnds;
    for (int i = 0; i < IntermediateFrames; ++i) {
        report += PrinterFrame(0x80, line);
        frameEnds.push_back(report.size());
    }
    ASSERT_GT(report.size(), 8192u);
    const std::string final = PrinterFrame(Sequence(frame), "AB\x1C"
                                                            "CD\x1Cx\x1C\x08\x01");
    report += final;
    // Each piece completes a frame and brings half of the next, as the bytes reach a reader
    // that is late or paced by the line: no read ever ends between two frames.
    std::size_t written = 0;
    for (int i = 0; i < IntermediateFrames; ++i) {
        const std::size_t upTo =
            std::min(frameEnds[static_cast<std::size_t>(i)] + line.size() / 2, report.size() - 1);
        ASSERT_TRUE(printer.Write(report.substr(written, upTo - written)));
        written = upTo;
        ASSERT_TRUE(RunUntil(
            [&] { return std::count(log.Lines.begin(), log.Lines.end(), "intermediate") > i; },
            3000ms))
            << log.Joined();
    }
    ASSERT_TRUE(printer.Write(report.substr(written)));
    EXPECT_EQ(Hex(printer.Read(1, 3000ms)), "06");
    ASSERT_TRUE(log.WaitEnds(1, 5000ms));
    EXPECT_EQ(log.Lines.back(), "final EFP_S_Idle");
    EXPECT_EQ(std::count(log.Lines.begin(), log.Lines.end(), "intermediate"), IntermediateFrames);
    EXPECT_NE(std::find(log.Lines.begin(), log.Lines.end(), "read " + Hex(final)), log.Lines.end());
    EXPECT_EQ(link.PrinterStatus(), 0x4142);
    EXPECT_EQ(link.FiscalStatus(), 0x4344);
    EXPECT_EQ(link.ReturnCode(), 0x0801);
    EXPECT_EQ(link.ExtraFieldsCount(), 0);
}

// The slow cases of the 2500 ms silence rule run side by side, each on its own port.
TEST(HostLink, SilenceRulePerWait)
{
    PtyPrinter keepAlive, refusing, silent;
    ASSERT_TRUE(keepAlive.Ok() && refusing.Ok() && silent.Ok());
    TFPHostControl a, b, c;
    a.SetDevicePath(keepAlive.DevicePath());
    b.SetDevicePath(refusing.DevicePath());
    c.SetDevicePath(silent.DevicePath());
    ASSERT_TRUE(a.OpenPort() && b.OpenPort() && c.OpenPort());
    EventLog logA(a), logB(b), logC(c);

    std::thread printerA([&] {
        const std::string frame = ReadCommandFrame(keepAlive, 2000ms);
        keepAlive.Write("\x06");
        for (int i = 0; i < 4; ++i) { // 3.6 s in all, never 2.5 s of silence
            std::this_thread::sleep_for(900ms);
            keepAlive.Write("\x12");
        }
        keepAlive.Write(PrinterFrame(Sequence(frame), "done\x1C"
                                                      "0000\x1C"
                                                      "0000"));
    });
    std::thread printerB([&] {
        ReadCommandFrame(refusing, 2000ms);
        refusing.Write("\x15");
    });
    ASSERT_TRUE(a.SendCommand());
    ASSERT_TRUE(b.SendCommand());
    ASSERT_TRUE(c.SendCommand());
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_TRUE(RunUntil([&] { return logA.Ends && logB.Ends && logC.Ends; }, 8000ms));
    printerA.join();
    printerB.join();

    EXPECT_EQ(logA.Lines.size(), 9u) << logA.Joined();
    EXPECT_EQ(logA.Lines.back(), "final EFP_S_Idle");
    EXPECT_EQ(std::count(logA.Lines.begin(), logA.Lines.end(), "intermediate"), 4);
    EXPECT_GT(logA.Times.back() - sent, 3000ms);

    // NAK at once; the exchange then ends by silence and keeps the NAK as its cause.
    ASSERT_EQ(logB.Lines.size(), 3u) << logB.Joined();
    EXPECT_EQ(logB.Lines[1], "nack");
    EXPECT_EQ(logB.Lines[2], "error EFP_E_NackReceived");
    EXPECT_LT(logB.Times[1] - sent, 1500ms);
    EXPECT_GE(logB.Times[2] - logB.Times[1], 2300ms);
    EXPECT_EQ(b.LastError(), EFP_E_NackReceived);
    EXPECT_EQ(b.State(), EFP_S_Idle);

    ASSERT_EQ(logC.Lines.size(), 2u) << logC.Joined();
    EXPECT_EQ(logC.Lines[1], "error EFP_E_ReadTimeOut");
    EXPECT_GE(logC.Times[1] - logC.Times[0], 2400ms);
    EXPECT_EQ(c.State(), EFP_S_Idle);
}

TEST(HostLink, FloodsAndGarbageNeverBreakTheLink)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    TFPHostControl link;
    link.SetDevicePath(printer.DevicePath());
    ASSERT_TRUE(link.OpenPort());
    EventLog log(link);

    // More than the receive buffer without ever finishing a frame: the exchange fails as soon
    // as the buffer is full, not after a silence.
    ASSERT_TRUE(link.SendCommand());
    ReadCommandFrame(printer, 2000ms);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(printer.Write("\x06\x02\x41" + std::string(9000, 'z')));
    ASSERT_TRUE(log.WaitEnds(1, 3000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
    EXPECT_EQ(log.Lines.back(), "error EFP_E_ReadTimeOut");

    // Random bytes before each final frame: every exchange still ends with its final answer.
    std::mt19937 random(2024);
    for (int round = 0; round < 25; ++round) {
        ASSERT_TRUE(link.AddDataField("R" + std::to_string(round)));
        ASSERT_TRUE(link.SendCommand());
        const std::string frame = ReadCommandFrame(printer, 2000ms);
        const std::uint8_t seq = Sequence(frame);
        std::string garbage(random() % 300, '\0');
        for (auto& ch : garbage) {
            ch = static_cast<char>(
                random() % 3 == 0 ? "\x02\x03\x06\x15\x12\x1B\x1C\x80"[random() % 8] : random());
            if (static_cast<std::uint8_t>(ch) == seq)
                ch = 'g';
        }
        printer.Write(garbage);
        const std::string answer = PrinterFrame(seq, "R" + std::to_string(round) +
                                                         "\x1C"
                                                         "0001\x1C"
                                                         "0002\x1C"
                                                         "ok");
        printer.Write(answer);
        // A NAK asks for the answer again (the garbage may have swallowed its start).
        for (int attempt = 0; attempt < 5; ++attempt) {
            // The host reads once the frame's wire time is over: wait for its reply.
            std::string reply = printer.ReadSome(2000ms);
            reply += printer.Drain(30ms);
            if (reply.find('\x15') == std::string::npos || reply.back() == '\x06')
                break;
            printer.Write(answer);
        }
        ASSERT_TRUE(log.WaitEnds(2 + round, 5000ms)) << "round " << round;
        EXPECT_EQ(log.Lines.back(), "final EFP_S_Idle") << "round " << round;
        EXPECT_EQ(link.GetExtraField(1), "ok");
        EXPECT_EQ(link.PrinterStatus(), 1);
    }
}

TEST(HostLink, DeviceVanishingMidExchange)
{
    auto printer = std::make_unique<PtyPrinter>();
    ASSERT_TRUE(printer->Ok());
    TFPHostControl link;
    link.SetDevicePath(printer->DevicePath());
    ASSERT_TRUE(link.OpenPort());
    printer->CloseSlave();
    EventLog log(link);

    ASSERT_TRUE(link.SendCommand());
    ReadCommandFrame(*printer, 2000ms);
    printer->Write("\x06");
    const auto start = std::chrono::steady_clock::now();
    printer->CloseMaster();
    ASSERT_TRUE(log.WaitEnds(1, 3000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms) << "a hang-up is no silence";
    EXPECT_EQ(log.Lines.back(), "error EFP_E_ReadTimeOut");

    // Nothing can be written any more; the link says so and stays in one piece.
    ASSERT_TRUE(link.SendCommand());
    ASSERT_TRUE(log.WaitEnds(2, 3000ms));
    EXPECT_EQ(log.Lines.back(), "error EFP_E_WriteError");
    EXPECT_EQ(link.State(), EFP_S_Idle);
    EXPECT_TRUE(link.ClosePort());
}

TEST(HostLink, PurgeAndCloseEndABlockedReadAtOnce)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    auto link = std::make_unique<TFPHostControl>();
    link->SetDevicePath(printer.DevicePath());
    ASSERT_TRUE(link->OpenPort());
    EventLog log(*link);

    // Purge while the worker waits: the command is dropped and reported as timed out.
    ASSERT_TRUE(link->SendCommand());
    ReadCommandFrame(printer, 2000ms);
    RunUntil([&] { return !log.Lines.empty(); }, 1000ms);
    auto start = std::chrono::steady_clock::now();
    link->Purge();
    EXPECT_EQ(link->State(), EFP_S_Idle);
    EXPECT_EQ(link->LastError(), EFP_Success);
    ASSERT_TRUE(log.WaitEnds(1, 2000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_EQ(log.Lines.back(), "error EFP_E_ReadTimeOut");

    // Purge and send again before the link had a chance to report the dropped command: the
    // late report of the old command must not end the new one.
    ASSERT_TRUE(link->SendCommand());
    const std::string old = ReadCommandFrame(printer, 2000ms);
    link->Purge();
    ASSERT_TRUE(link->AddDataField("new"));
    ASSERT_TRUE(link->SendCommand());
    const std::string fresh = ReadCommandFrame(printer, 2000ms);
    EXPECT_NE(Sequence(fresh), Sequence(old));
    ASSERT_TRUE(printer.Write(PrinterFrame(Sequence(fresh), "new\x1C"
                                                            "0004")));
    ASSERT_TRUE(log.WaitEnds(2, 3000ms));
    EXPECT_EQ(log.Lines.back(), "final EFP_S_Idle") << log.Joined();
    EXPECT_EQ(std::count(log.Lines.begin(), log.Lines.end(), "error EFP_E_ReadTimeOut"), 1);
    EXPECT_EQ(link->PrinterStatus(), 4);

    // ClosePort while the worker waits returns at once; nothing is reported after OnClose.
    ASSERT_TRUE(link->SendCommand());
    ReadCommandFrame(printer, 2000ms);
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link->ClosePort());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    RunUntil([] { return false; }, 100ms);
    EXPECT_EQ(log.Lines.back(), "close");

    // Destroying an open, busy link is just as prompt and raises no OnClose.
    ASSERT_TRUE(link->OpenPort());
    ASSERT_TRUE(link->SendCommand());
    ReadCommandFrame(printer, 2000ms);
    const auto lines = log.Lines.size();
    start = std::chrono::steady_clock::now();
    link.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(log.Lines.size(), lines);
}

TEST(HostLink, PurgedCommandStillReportsWhatCrossedTheWire)
{
    // The printer answers and the host acknowledges; then Purge and the next command come
    // before the link has reported any of it. The old command's frames and the host's ACK
    // crossed the wire, so they reach the log; its end does not end the new command.
    PtyPrinter printer;
    ASSERT_TRUE(printer.Ok());
    TFPHostControl link;
    link.SetDevicePath(printer.DevicePath());
    link.SetBaudRate(br9600);
    ASSERT_TRUE(link.OpenPort());
    EventLog log(link);

    ASSERT_TRUE(link.AddDataField("old"));
    ASSERT_TRUE(link.SendCommand());
    const std::string old = ReadCommandFrame(printer, 2000ms);
    const std::string oldAnswer = PrinterFrame(Sequence(old), "old\x1C"
                                                              "0001");
    ASSERT_TRUE(printer.Write("\x06" + oldAnswer));
    ASSERT_EQ(printer.Read(1, 2000ms), "\x06"); // the host's ACK: the exchange is over
    link.Purge();
    ASSERT_TRUE(link.AddDataField("new"));
    ASSERT_TRUE(link.SendCommand());
    const std::string fresh = ReadCommandFrame(printer, 2000ms);
    const std::string freshAnswer = PrinterFrame(Sequence(fresh), "new\x1C"
                                                                  "0004");
    ASSERT_TRUE(printer.Write("\x06" + freshAnswer));
    ASSERT_TRUE(log.WaitEnds(1, 3000ms)) << log.Joined();
    RunUntil([] { return false; }, 50ms);

    const std::vector<std::string> expected = {
        "write " + Hex(old),
        "read " + Hex(oldAnswer),
        "write 06",
        "write " + Hex(fresh),
        "ack",
        "read " + Hex(freshAnswer),
        "write 06",
        "final EFP_S_Idle",
    };
    EXPECT_EQ(log.Lines, expected) << log.Joined();
    EXPECT_EQ(link.PrinterStatus(), 4);
}

} // namespace
} // namespace tallyhost
