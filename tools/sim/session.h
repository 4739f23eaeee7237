#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/sim/frames.h"
#include "tools/sim/scenario.h"

namespace tallyhost::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Output = std::function<void(std::string_view bytes)>;
using Logger = std::function<void(const std::string& line)>;

// One step of the printer's reply to a command.
struct Step
{
    enum class Kind
    {
        Send,       // write Bytes (one byte per Gap when Gap > 0)
        Pause,      // do nothing for Wait
        AwaitReply, // wait up to Wait for the host's ACK or NAK; on NAK write Bytes again
    };
    Kind What = Kind::Send;
    std::string Bytes;
    Millis Gap{0};
    Millis Wait{0};
    int ResendsOnNak = 0;
};

// Plays a list of steps against the clock. The sessions feed it the host's ACK and NAK bytes
// and call Pump() whenever time has passed; it never blocks, so one thread serves both ports.
class StepRunner
{
public:
    void Start(std::vector<Step> steps, TimePoint now, const Output& out);
    void Cancel();
    bool Active() const { return !m_steps.empty(); }
    // Runs every step that is due.
    void Pump(TimePoint now, const Output& out);
    // The host's ACK or NAK; ignored unless a reply is awaited.
    void OnReply(char reply, TimePoint now, const Output& out);
    std::optional<TimePoint> Deadline() const;

private:
    void finishStep(TimePoint now);

    std::deque<Step> m_steps;
    TimePoint m_due{};      // when the current step may act (next byte, end of a pause/wait)
    std::size_t m_sent = 0; // bytes of the current Send already written
    bool m_stepStarted = false;
};

// What a fault asks of the port itself rather than of the protocol.
struct LineRequest
{
    Millis Stall{0};              // stop reading the host's bytes this long
    Millis DsrLow{0};             // hold the host's DSR low this long
    std::optional<Millis> Unplug; // vanish, and come back after this long
};

// The printer's end of one port: bytes from the host in, bytes to the host out, timers.
class PortSession
{
public:
    virtual ~PortSession() = default;
    // The line request raised by the bytes fed last, once.
    LineRequest TakeLineRequest() { return std::exchange(m_request, LineRequest{}); }
    virtual void OnBytes(std::string_view bytes, TimePoint now) = 0;
    virtual void OnTimer(TimePoint now) = 0;
    virtual std::optional<TimePoint> Deadline() const = 0;
    // The host closed the port: forget any half-read frame and any reply in progress.
    virtual void Reset() = 0;

protected:
    LineRequest m_request;
};

// Bytes a printer sends when the line is noisy; they contain no STX, ACK, NAK or DC2, which
// would mean something to the host outside a frame.
std::string GarbageBytes();
// Length of the flood fault: more than the host's 8192-byte receive buffer.
inline constexpr std::size_t FloodLength = 9000;

// The host port: answers command frames of both variants.
class HostSession : public PortSession
{
public:
    HostSession(const Scenario& scenario, Output out, Logger log = {});
    void OnBytes(std::string_view bytes, TimePoint now) override;
    void OnTimer(TimePoint now) override;
    std::optional<TimePoint> Deadline() const override;
    void Reset() override;

    // The reply steps for one command frame (exposed for tests).
    std::vector<Step> PlanReply(const HostCommandParser::Frame& frame) const;

private:
    const Scenario& m_scenario;
    Output m_out;
    Logger m_log;
    HostCommandParser m_parser;
    StepRunner m_runner;
    bool m_frameMatched = false; // the frame being read has been matched against the rules
};

// The fiscal (DGI) port: ENQ is acknowledged, a data frame gets its answer frames.
class FiscalSession : public PortSession
{
public:
    FiscalSession(const Scenario& scenario, Output out, Logger log = {});
    void OnBytes(std::string_view bytes, TimePoint now) override;
    void OnTimer(TimePoint now) override;
    std::optional<TimePoint> Deadline() const override;
    void Reset() override;

    std::vector<Step> PlanReply(const std::string& data) const;

private:
    const Scenario& m_scenario;
    Output m_out;
    Logger m_log;
    FiscalCommandParser m_parser;
    StepRunner m_runner;
};

} // namespace tallyhost::sim
