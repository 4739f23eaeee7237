#include "core/repeattally.h"

#include <algorithm>

namespace tallyhost {

namespace {

// Whole milliseconds, to the nearest one.
long long RoundedMs(RepeatTally::Clock::duration d)
{
    return std::chrono::round<std::chrono::milliseconds>(d).count();
}

} // namespace

void RepeatTally::CommandSent()
{
    ++m_sent;
    m_exchangeOpen = true;
    m_written.reset();
}

void RepeatTally::FrameWritten(Clock::time_point at)
{
    if (m_exchangeOpen && !m_written)
        m_written = at;
}

void RepeatTally::Answered(Clock::time_point at, std::optional<Clock::duration> measured)
{
    // An answer with no exchange of ours open (a late one after a Cancel) is not this run's.
    if (!m_exchangeOpen)
        return;
    ++m_answered;
    if (measured)
        m_responses.push_back(std::max(Clock::duration::zero(), *measured));
    else if (m_written)
        m_responses.push_back(std::max(Clock::duration::zero(), at - *m_written));
    m_exchangeOpen = false;
    m_written.reset();
}

void RepeatTally::Failed()
{
    if (!m_exchangeOpen)
        return;
    ++m_errors;
    m_exchangeOpen = false;
    m_written.reset();
}

std::optional<ResponseFigures> RepeatTally::Figures() const
{
    if (m_responses.empty())
        return std::nullopt;
    std::vector<Clock::duration> sorted = m_responses;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    // An even count has two middle values; their mean is the median.
    const Clock::duration median =
        n % 2 ? sorted[n / 2] : sorted[n / 2 - 1] + (sorted[n / 2] - sorted[n / 2 - 1]) / 2;
    return ResponseFigures{RoundedMs(sorted.front()), RoundedMs(median), RoundedMs(sorted.back())};
}

std::string RepeatTally::SummaryText() const
{
    std::string text = "Repeat " + std::to_string(m_requested) + ": " + std::to_string(m_sent) +
                       " sent, " + std::to_string(m_answered) + " answered, " +
                       std::to_string(m_errors) + " errors; response min/median/max ";
    if (const std::optional<ResponseFigures> f = Figures())
        text += std::to_string(f->MinMs) + "/" + std::to_string(f->MedianMs) + "/" +
                std::to_string(f->MaxMs);
    else
        text += "-/-/-";
    return text + " ms";
}

} // namespace tallyhost
