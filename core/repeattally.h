#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tallyhost {

// Fastest, median and slowest response of a repeat run, whole milliseconds.
struct ResponseFigures
{
    long long MinMs = 0;
    long long MedianMs = 0;
    long long MaxMs = 0;
};

// What one repeat run of a host command came to. The terminal window and tallyhost-cli both
// keep one while they repeat, so the window's summary line and the tool's report always agree.
//
// A response time runs from the command frame having left the port to the final answer of that
// exchange. The link measures it on its worker thread, where the bytes move, and the caller
// hands that figure over; without one the tally takes the times at which the frame-written
// notification and the answer were handled (from the first write of the exchange: a frame
// written again after a NAK does not restart the clock).
class RepeatTally
{
public:
    using Clock = std::chrono::steady_clock;

    explicit RepeatTally(int requested) : m_requested(requested) {}

    // A command was handed to the link: one more sent, its exchange starts.
    void CommandSent();
    // The link reports the command frame written at `at`.
    void FrameWritten(Clock::time_point at);
    // The exchange ended with a final answer at `at`; `measured` is the link's own response
    // time for it, when it has one.
    void Answered(Clock::time_point at, std::optional<Clock::duration> measured = std::nullopt);
    // The exchange ended in a failure (write error, time-out, NAK).
    void Failed();

    int Requested() const { return m_requested; }
    int Sent() const { return m_sent; }
    int AnsweredCount() const { return m_answered; }
    int Errors() const { return m_errors; }
    // Nothing until at least one answer came with its frame-written time.
    std::optional<ResponseFigures> Figures() const;
    // The response time of every answered run, in order.
    const std::vector<Clock::duration>& Responses() const { return m_responses; }

    // "Repeat 500: 500 sent, 498 answered, 2 errors; response min/median/max 41/44/120 ms";
    // without an answer the figures read "-/-/-".
    std::string SummaryText() const;

private:
    int m_requested = 0;
    int m_sent = 0;
    int m_answered = 0;
    int m_errors = 0;
    bool m_exchangeOpen = false;
    std::optional<Clock::time_point> m_written; // frame-written time of the open exchange
    std::vector<Clock::duration> m_responses;
};

} // namespace tallyhost
