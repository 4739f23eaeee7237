#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tools/sim/session.h"

namespace tallyhost::sim {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;

// A session driven by a fake clock: every byte the printer writes is recorded with the
// milliseconds since the start, and time only moves when the test says so.
template <class Session> struct Bench
{
    explicit Bench(Scenario s)
        : Scenario_(std::move(s)), Port(Scenario_, [this](std::string_view b) {
              for (char c : b)
                  Written.push_back({Elapsed(), c});
          })
    {
    }

    long Elapsed() const
    {
        return static_cast<long>(std::chrono::duration_cast<Millis>(Now - Start).count());
    }

    void Host(const std::string& bytes) { Port.OnBytes(bytes, Now); }

    // Runs every timed step up to `ms` after the start.
    void RunTo(long ms)
    {
        const TimePoint end = Start + Millis{ms};
        for (auto due = Port.Deadline(); due && *due <= end; due = Port.Deadline()) {
            Now = std::max(Now, *due);
            Port.OnTimer(Now);
        }
        Now = end;
    }

    std::string Bytes() const
    {
        std::string out;
        for (const auto& w : Written)
            out += w.Byte;
        return out;
    }
    // Bytes written at exactly this time.
    std::string BytesAt(long ms) const
    {
        std::string out;
        for (const auto& w : Written)
            if (w.At == ms)
                out += w.Byte;
        return out;
    }
    void Clear() { Written.clear(); }

    struct Write
    {
        long At;
        char Byte;
    };
    Scenario Scenario_;
    TimePoint Start = TimePoint{} + 1h;
    TimePoint Now = Start;
    std::vector<Write> Written;
    Session Port;
};

using HostBench = Bench<HostSession>;
using FiscalBench = Bench<FiscalSession>;

Scenario WithHostRule(HostRule rule)
{
    Scenario s = BuiltInScenario();
    s.HostRules.push_back(std::move(rule));
    return s;
}

HostRule Rule(std::string match, unsigned faults = FaultNone)
{
    HostRule rule;
    rule.Name = match;
    rule.Match = std::move(match);
    rule.Faults = faults;
    return rule;
}

const std::string Ack(1, ACK);
const std::string Nak(1, NAK);

TEST(HostSession, CompatibleExchange)
{
    HostBench bench(BuiltInScenario());
    bench.Host("\x02\x21\x2A\x1C\x41\x42\x43\x03\x30\x31\x33\x32"s);
    EXPECT_EQ(bench.Bytes(), Ack) << "ACK at once, the answer only after the delay";
    bench.RunTo(100);
    EXPECT_EQ(bench.BytesAt(30), "\x02\x21*\x1C"
                                 "0000\x1C"
                                 "0000\x03"
                                 "0208"s);
    EXPECT_TRUE(bench.Port.Deadline()) << "waiting for the host's ACK";
    bench.Host(Ack);
    EXPECT_FALSE(bench.Port.Deadline());
    bench.RunTo(2000);
    EXPECT_EQ(bench.Bytes(), Ack + bench.BytesAt(30)) << "nothing is repeated after the ACK";
}

TEST(HostSession, ExtendedExchangeWithEchoedFields)
{
    HostRule rule = Rule("B");
    rule.PrinterStatus = 0x0600;
    rule.FiscalStatus = 0x1C03;
    rule.ReturnCode = 2049;
    rule.Fields = {"A\x1C"
                   "B",
                   "$2"};
    HostBench bench(WithHostRule(rule));
    bench.Host(BuildHostFrame(0x90, {"B", "qty"}));
    bench.RunTo(30);
    EXPECT_EQ(bench.BytesAt(30),
              "\x02\x90\x06\x00\x1C\x1B\x1C\x1B\x03\x1C\x1C\x08\x01\x1C\x1C\x41\x1B\x1C\x42\x1C"
              "qty\x03"s +
                  HexWord(HostChecksum("\x02\x90\x06\x00\x1C\x1B\x1C\x1B\x03\x1C\x1C\x08"
                                       "\x01\x1C\x1C\x41\x1B\x1C\x42\x1Cqty\x03"s)));
}

TEST(HostSession, AnswersTheHostsNakOnceAndGivesUpWithoutAck)
{
    HostBench bench(BuiltInScenario());
    const std::string command = BuildHostFrame(0x30, {"*"});
    bench.Host(command);
    bench.RunTo(30);
    const std::string answer = bench.BytesAt(30);
    bench.Clear();
    bench.Host(Nak);
    EXPECT_EQ(bench.Bytes(), answer) << "the answer again, at once";
    bench.Clear();
    bench.Host(Nak);
    bench.RunTo(5000);
    EXPECT_EQ(bench.Bytes(), "") << "only one repetition";

    // No reply at all: the printer stops waiting after AckTimeout and repeats nothing.
    HostBench silent(BuiltInScenario());
    silent.Host(command);
    silent.RunTo(5000);
    EXPECT_EQ(silent.Bytes(), Ack + answer);
    EXPECT_FALSE(silent.Port.Deadline());
}

TEST(HostSession, BadCommandChecksumGetsNakAndNewCommandReplacesOldReply)
{
    HostBench bench(BuiltInScenario());
    bench.Host(CorruptChecksum(BuildHostFrame(0x30, {"*"})));
    EXPECT_EQ(bench.Bytes(), Nak);
    EXPECT_FALSE(bench.Port.Deadline());
    bench.Clear();
    bench.Host(BuildHostFrame(0x31, {"*", "line\nfeed"})); // not allowed in a compatible frame
    bench.RunTo(5000);
    EXPECT_EQ(bench.Bytes(), Nak);

    // The host gave up on a slow command and sends the next: only the new one is answered.
    HostRule slow = Rule("SLOW");
    slow.Delay = 4000ms;
    HostBench two(WithHostRule(slow));
    two.Host(BuildHostFrame(0x31, {"SLOW"}));
    two.RunTo(2600);
    two.Host(BuildHostFrame(0x32, {"*"}));
    two.RunTo(10000);
    const std::string bytes = two.Bytes();
    EXPECT_EQ(bytes.find("\x02\x31"s), std::string::npos);
    EXPECT_NE(bytes.find("\x02\x32"s), std::string::npos);
}

TEST(HostSession, FaultsBeforeTheAnswer)
{
    const std::string command = BuildHostFrame(0x21, {"F"});
    const std::string answer = "\x02\x21"
                               "F\x1C"
                               "0000\x1C"
                               "0000\x03"s;

    { // NAK instead of ACK, then nothing.
        HostBench bench(WithHostRule(Rule("F", FaultNak)));
        bench.Host(command);
        bench.RunTo(10000);
        EXPECT_EQ(bench.Bytes(), Nak);
    }
    { // ACK and silence.
        HostBench bench(WithHostRule(Rule("F", FaultSilence)));
        bench.Host(command);
        bench.RunTo(10000);
        EXPECT_EQ(bench.Bytes(), Ack);
    }
    { // Flood: far more than the host's buffer, and never an STX or a DC2 in it.
        HostBench bench(WithHostRule(Rule("F", FaultFlood)));
        bench.Host(command);
        bench.RunTo(10000);
        const std::string bytes = bench.Bytes();
        EXPECT_GT(bytes.size(), 8192u);
        EXPECT_EQ(bytes.find_first_of("\x02\x12\x15"s, 1), std::string::npos);
    }
    { // Garbage first: nothing in it the host could take for a signal or a frame.
        HostBench bench(WithHostRule(Rule("F", FaultGarbage)));
        bench.Host(command);
        bench.RunTo(1000);
        const std::string bytes = bench.Bytes();
        const std::size_t stx = bytes.find('\x02');
        ASSERT_NE(stx, std::string::npos);
        EXPECT_GT(stx, 1u);
        EXPECT_EQ(bytes.substr(1, stx - 1).find_first_of("\x06\x12\x15"s), std::string::npos);
        EXPECT_EQ(bytes.substr(stx, answer.size()), answer);
    }
}

TEST(HostSession, StaleFrameAndBadChecksumComeBeforeTheRealAnswer)
{
    HostBench bench(WithHostRule(Rule("F", FaultStale | FaultBadChecksum)));
    bench.Host(BuildHostFrame(0x20, {"F"}));
    bench.RunTo(30);
    // Stale: the sequence byte before 0x20 in the compatible range, correctly summed.
    const std::string stale = bench.BytesAt(30);
    EXPECT_EQ(stale, BuildHostFrame(0x7F, {"F", "0000", "0000"}));
    bench.Clear();
    bench.Host(Ack); // the host acknowledges and ignores it
    const std::string bad = bench.Bytes();
    const std::string good = BuildHostFrame(0x20, {"F", "0000", "0000"});
    ASSERT_EQ(bad.size(), good.size());
    EXPECT_EQ(bad.substr(0, bad.size() - 4), good.substr(0, good.size() - 4));
    EXPECT_NE(bad, good) << "same frame, wrong checksum";
    bench.Clear();
    bench.Host(Nak);
    EXPECT_EQ(bench.Bytes(), good);
}

TEST(HostSession, SplitAnswerArrivesByteByByte)
{
    Scenario scenario = WithHostRule(Rule("F", FaultSplit));
    scenario.SplitGap = 25ms;
    HostBench bench(scenario);
    bench.Host(BuildHostFrame(0x40, {"F"}));
    bench.RunTo(5000);
    const std::string answer = BuildHostFrame(0x40, {"F", "0000", "0000"});
    EXPECT_EQ(bench.Bytes(), Ack + answer);
    ASSERT_EQ(bench.Written.size(), 1 + answer.size());
    for (std::size_t i = 1; i < bench.Written.size(); ++i)
        EXPECT_EQ(bench.Written[i].At, 30 + 25 * static_cast<long>(i - 1));
}

TEST(HostSession, KeepAlivesFillLongDelays)
{
    HostRule rule = Rule("Z");
    rule.Delay = 3500ms;
    rule.KeepAliveEvery = 1000ms;
    HostBench bench(WithHostRule(rule));
    bench.Host(BuildHostFrame(0x99, {"Z"}));
    bench.RunTo(10000);
    EXPECT_EQ(bench.BytesAt(1000), "\x12");
    EXPECT_EQ(bench.BytesAt(2000), "\x12");
    EXPECT_EQ(bench.BytesAt(3000), "\x12");
    EXPECT_EQ(bench.BytesAt(3500).substr(0, 2), "\x02\x99"s);

    rule.KeepAliveKind = KeepAlive::Frame;
    rule.PrinterStatus = 0x0102;
    HostBench frames(WithHostRule(rule));
    frames.Host(BuildHostFrame(0x99, {"Z"}));
    frames.RunTo(1000);
    EXPECT_EQ(frames.BytesAt(1000), BuildHostFrame(0x80, {"\x01\x02"s, "\x00\x00"s}));
}

TEST(HostSession, NoiseNeverStopsItAnsweringTheNextCommand)
{
    HostBench bench(BuiltInScenario());
    std::mt19937 random(11);
    std::string noise(50000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    bench.Host(noise);
    bench.RunTo(3000);
    bench.Clear();
    bench.Host(std::string(1, ETX) + BuildHostFrame(0x50, {"*"})); // ETX leaves any escape
    bench.RunTo(6000);
    EXPECT_EQ(bench.Bytes().substr(0, 3), Ack + "\x02\x50"s);
}

TEST(HostSession, ResetForgetsTheHalfReadFrameAndTheReply)
{
    HostBench bench(BuiltInScenario());
    bench.Host(BuildHostFrame(0x21, {"*"}));
    bench.Port.Reset();
    bench.Host("\x02\x22half"s);
    bench.Port.Reset();
    bench.Clear();
    bench.RunTo(5000);
    EXPECT_EQ(bench.Bytes(), "");
    const std::string tail = BuildHostFrame(0x23, {"*"}).substr(1); // no STX: must not parse
    bench.Host(tail);
    EXPECT_EQ(bench.Bytes(), "");
}

// ---------------------------------------------------------------------------------------------

Scenario WithFiscalRule(FiscalRule rule)
{
    Scenario s = BuiltInScenario();
    s.FiscalRules.push_back(std::move(rule));
    return s;
}

FiscalRule FRule(std::string match, std::vector<std::string> frames, unsigned faults = FaultNone)
{
    FiscalRule rule;
    rule.Name = match;
    rule.Match = std::move(match);
    rule.Frames = std::move(frames);
    rule.Faults = faults;
    return rule;
}

TEST(FiscalSession, EnqAndDefaultAnswer)
{
    FiscalBench bench(BuiltInScenario());
    bench.Host("\x05"s);
    EXPECT_EQ(bench.Bytes(), Ack);
    bench.Clear();
    bench.Host("\x02\x31\x32\x03\x98"s);
    bench.RunTo(100);
    EXPECT_EQ(bench.BytesAt(30), BuildFiscalFrame("0000"));
    bench.Clear();
    bench.Host("\x02\x31\x32\x03\x97"s);
    EXPECT_EQ(bench.Bytes(), Nak);
}

TEST(FiscalSession, MultiFrameAnswerWaitsForEachAck)
{
    FiscalBench bench(WithFiscalRule(FRule("T", {"0005 first $1", "0005 second", "0003 end"})));
    bench.Host(BuildFiscalFrame("T12"));
    bench.RunTo(100);
    EXPECT_EQ(bench.Bytes(), BuildFiscalFrame("0005 first T12"));
    bench.Clear();
    bench.Host(Nak); // repeated once
    EXPECT_EQ(bench.Bytes(), BuildFiscalFrame("0005 first T12"));
    bench.Clear();
    bench.Host(Ack);
    EXPECT_EQ(bench.Bytes(), BuildFiscalFrame("0005 second"));
    bench.Clear();
    bench.RunTo(5000); // no ACK: after the wait the printer goes on with the last frame
    EXPECT_EQ(bench.Bytes(), BuildFiscalFrame("0003 end"));
    EXPECT_TRUE(IsFinalFiscalCode("0003 end"));
}

TEST(FiscalSession, Faults)
{
    { // ACK alone.
        FiscalBench bench(WithFiscalRule(FRule("P", {})));
        bench.Host(BuildFiscalFrame("Print"));
        bench.RunTo(1000);
        EXPECT_EQ(bench.Bytes(), Ack);
    }
    { // NAK, and silence.
        FiscalBench nak(WithFiscalRule(FRule("N", {"0000"}, FaultNak)));
        nak.Host(BuildFiscalFrame("N"));
        nak.RunTo(5000);
        EXPECT_EQ(nak.Bytes(), Nak);
        FiscalBench quiet(WithFiscalRule(FRule("Z", {"0000"}, FaultSilence)));
        quiet.Host(BuildFiscalFrame("Z"));
        quiet.RunTo(5000);
        EXPECT_EQ(quiet.Bytes(), "");
    }
    { // Bad checksum first, then the frame once the host refused it.
        FiscalBench bench(WithFiscalRule(FRule("K", {"0000 ok"}, FaultBadChecksum)));
        bench.Host(BuildFiscalFrame("K"));
        bench.RunTo(100);
        const std::string good = BuildFiscalFrame("0000 ok");
        const std::string bad = bench.Bytes();
        ASSERT_EQ(bad.size(), good.size());
        EXPECT_NE(bad.back(), good.back());
        bench.Clear();
        bench.Host(Nak);
        EXPECT_EQ(bench.Bytes(), good);
    }
    { // Garbage before the frame holds nothing the host acts on outside a frame.
        FiscalBench bench(WithFiscalRule(FRule("G", {"0000"}, FaultGarbage)));
        bench.Host(BuildFiscalFrame("G"));
        bench.RunTo(1000);
        const std::string bytes = bench.Bytes();
        const std::size_t stx = bytes.find('\x02');
        ASSERT_NE(stx, std::string::npos);
        EXPECT_GT(stx, 0u);
        EXPECT_EQ(bytes.substr(0, stx).find_first_of("\x06\x15"s), std::string::npos);
        EXPECT_EQ(bytes.substr(stx), BuildFiscalFrame("0000"));
    }
    { // Split and flood.
        FiscalBench split(WithFiscalRule(FRule("Q", {"0000"}, FaultSplit)));
        split.Host(BuildFiscalFrame("Q"));
        split.RunTo(1000);
        EXPECT_EQ(split.Bytes(), BuildFiscalFrame("0000"));
        EXPECT_EQ(split.Written.back().At - split.Written.front().At, 20 * 6);
        FiscalBench flood(WithFiscalRule(FRule("L", {"0000"}, FaultFlood)));
        flood.Host(BuildFiscalFrame("L"));
        flood.RunTo(1000);
        EXPECT_GT(flood.Bytes().size(), 8192u);
        EXPECT_EQ(flood.Bytes().find_first_of("\x02\x06\x15"s), std::string::npos);
    }
}

TEST(HostSession, DsrDropAskedForAsSoonAsTheFirstFieldIsIn)
{
    // The line request comes while the frame is still arriving, so that the host's output
    // waits in its middle; the answer follows the delay as usual.
    HostRule hold = Rule("H", FaultDsr);
    hold.Delay = 400ms;
    HostBench bench(WithHostRule(hold));
    const std::string command = BuildHostFrame(0x21, {"H", "rest"});
    bench.Host(command.substr(0, 4)); // STX, sequence, "H", FS
    EXPECT_EQ(bench.Port.TakeLineRequest().DsrLow, 400ms);
    bench.Host(command.substr(4));
    EXPECT_EQ(bench.Port.TakeLineRequest().DsrLow, 0ms) << "asked for once";
    bench.RunTo(1000);
    EXPECT_EQ(bench.Bytes(), Ack + BuildHostFrame(0x21, {"H", "0000", "0000"}));

    // The fiscal port asks for it when the command has come.
    FiscalBench fiscal(WithFiscalRule(FRule("D", {"0000"}, FaultDsr)));
    fiscal.Host(BuildFiscalFrame("D"));
    EXPECT_GT(fiscal.Port.TakeLineRequest().DsrLow, 0ms);
}

} // namespace
} // namespace tallyhost::sim
