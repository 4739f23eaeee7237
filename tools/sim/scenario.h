#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/frames.h"

namespace tallyhost::sim {

using Millis = std::chrono::milliseconds;

// Deliberate misbehaviour of the printer, so that every failure path of a host can be
// exercised on purpose. Several may be combined.
enum Fault : unsigned
{
    FaultNone = 0,
    FaultNak = 1u << 0,         // refuse the command with NAK instead of ACK, then say nothing
    FaultBadChecksum = 1u << 1, // first answer frame with a wrong checksum, correct after NAK
    FaultSilence = 1u << 2,     // ACK (host port) and then nothing at all
    FaultStale = 1u << 3,       // a frame with an older sequence byte before the answer
    FaultGarbage = 1u << 4,     // bytes that are no frame before the answer
    FaultSplit = 1u << 5,       // frames written one byte at a time with gaps
    FaultFlood = 1u << 6,       // more than 8192 bytes without any frame, then nothing
    // The printer stops reading for the rule's Delay (host port: once the command's first
    // field is in, so a long frame waits in the middle; fiscal port: after the command), then
    // takes the rest and answers without a further delay. Only a paced line (Baud) makes the
    // host feel it: a pseudo-terminal takes a whole frame into its buffer at once.
    FaultStall = 1u << 7,
    // The printer drops DSR for the rule's Delay (host port: as soon as the command's first
    // field is in, so the host's output waits in the middle of the frame; fiscal port: after
    // the command). On a serial device the simulator drops its DTR, which a null-modem cable
    // carries to the host's DSR; pseudo-terminals have no modem lines, so there the simulator
    // only logs that it ignores this.
    FaultDsr = 1u << 8,
    // The port disappears when the command has come: the pseudo-terminal is closed and the
    // --link name removed; after the rule's Delay a new one appears under the same name.
    FaultUnplug = 1u << 9,
};

// Parses a comma list of fault names ("nak", "badchecksum", "silence", "stale", "garbage",
// "split", "flood", "stall", "dsr", "unplug"); unknown names are reported in `unknown`.
unsigned ParseFaults(const std::vector<std::string>& names, std::string* unknown = nullptr);
std::string FaultNames(unsigned faults);

// Line speeds a scenario or --baud may ask for (0 = unpaced).
inline constexpr int MinBaud = 300;
inline constexpr int MaxBaud = 115200;

enum class KeepAlive
{
    Dc2,
    Frame
};

// How the printer answers one host command.
struct HostRule
{
    std::string Name;
    std::string Match; // the command's first field, exactly (hex escapes expanded)
    std::uint16_t PrinterStatus = 0;
    std::uint16_t FiscalStatus = 0;
    std::uint16_t ReturnCode = 0;
    std::vector<std::string> Fields; // extra fields; "$N" and x'..' expanded when answering
    Millis Delay{30};
    Millis KeepAliveEvery{0}; // 0: no keep-alive during the delay
    KeepAlive KeepAliveKind = KeepAlive::Dc2;
    unsigned Faults = FaultNone;
};

// How the printer answers one fiscal-port command.
struct FiscalRule
{
    std::string Name;
    std::string Match; // a prefix of the command data (hex escapes expanded)
    // Data of the answer frames in order ("$N" and x'..' expanded); an empty list answers
    // with a lone ACK.
    std::vector<std::string> Frames{"0000"};
    Millis Delay{30};
    unsigned Faults = FaultNone;
};

struct Scenario
{
    // How long the printer waits for the host's ACK or NAK after an answer frame.
    Millis AckTimeout{500};
    // Gap between the bytes of a frame sent with the "split" fault.
    Millis SplitGap{20};
    // Line speed of both ports, ten bits a byte in each direction; 0 moves bytes as fast as
    // the pseudo-terminal does. --baud overrides it.
    int Baud = 0;
    StatusText CompatibleStatus = StatusText::Hex;
    HostRule HostDefault{"Host", {}, 0, 0, 0, {}, Millis{30}, Millis{0}, KeepAlive::Dc2, FaultNone};
    FiscalRule FiscalDefault{"Fiscal", {}, {"0000"}, Millis{30}, FaultNone};
    std::vector<HostRule> HostRules;
    std::vector<FiscalRule> FiscalRules;

    // The first rule (in file order) whose Match equals the command's first field, else the
    // default.
    const HostRule& MatchHost(std::string_view firstField) const;
    // The first rule whose Match begins the data, else the default.
    const FiscalRule& MatchFiscal(std::string_view data) const;
};

// The scenario used without --scenario: every command succeeds with zero status words.
Scenario BuiltInScenario();

// Reads a scenario file (profile-file syntax; format described in examples/demo-sim.ini).
// Throws tallyhost::Error with a message naming the file, section and key at fault.
Scenario LoadScenario(const std::string& path);
Scenario ParseScenario(std::string_view bytes, const std::string& nameForMessages);

} // namespace tallyhost::sim
