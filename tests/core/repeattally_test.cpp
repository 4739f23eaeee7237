#include "core/repeattally.h"

#include <gtest/gtest.h>

using namespace tallyhost;
using namespace std::chrono_literals;

namespace {

using Clock = RepeatTally::Clock;

// One exchange: sent, frame written at `written`, answered `response` later.
void AnswerAfter(RepeatTally& tally, Clock::time_point written, Clock::duration response)
{
    tally.CommandSent();
    tally.FrameWritten(written);
    tally.Answered(written + response);
}

} // namespace

TEST(RepeatTally, SummaryCountsEveryEndAndTakesTheMiddleResponse)
{
    const Clock::time_point t0{};
    RepeatTally tally(500);
    AnswerAfter(tally, t0, 120ms);
    AnswerAfter(tally, t0 + 1s, 41ms);
    tally.CommandSent();
    tally.FrameWritten(t0 + 2s);
    tally.Failed();
    AnswerAfter(tally, t0 + 3s, 44ms);
    tally.CommandSent();
    tally.Failed(); // never written: a write error

    EXPECT_EQ(tally.Sent(), 5);
    EXPECT_EQ(tally.AnsweredCount(), 3);
    EXPECT_EQ(tally.Errors(), 2);
    EXPECT_EQ(tally.SummaryText(),
              "Repeat 500: 5 sent, 3 answered, 2 errors; response min/median/max 41/44/120 ms");
}

TEST(RepeatTally, EvenCountTakesTheMeanOfTheTwoMiddleResponsesRoundedToMilliseconds)
{
    const Clock::time_point t0{};
    RepeatTally tally(4);
    AnswerAfter(tally, t0, 10ms);
    AnswerAfter(tally, t0, 40ms);
    AnswerAfter(tally, t0, 43ms);
    AnswerAfter(tally, t0, 2400us); // 2.4 ms reads 2
    const auto f = tally.Figures();
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->MinMs, 2);
    EXPECT_EQ(f->MedianMs, 25); // (10 + 40) / 2
    EXPECT_EQ(f->MaxMs, 43);
}

TEST(RepeatTally, ResponseRunsFromTheFirstWriteOfTheExchange)
{
    // A frame written again after a NAK does not restart the clock.
    const Clock::time_point t0{};
    RepeatTally tally(1);
    tally.CommandSent();
    tally.FrameWritten(t0);
    tally.FrameWritten(t0 + 30ms);
    tally.Answered(t0 + 50ms);
    EXPECT_EQ(tally.Figures()->MinMs, 50);
}

TEST(RepeatTally, TheLinksOwnMeasureTakesPrecedence)
{
    // The handling times only stand in when the link has no figure of its own.
    const Clock::time_point t0{};
    RepeatTally tally(2);
    tally.CommandSent();
    tally.FrameWritten(t0 + 20ms); // handled late
    tally.Answered(t0 + 30ms, Clock::duration(40ms));
    AnswerAfter(tally, t0, 60ms);
    EXPECT_EQ(tally.Figures()->MinMs, 40);
    EXPECT_EQ(tally.Figures()->MaxMs, 60);
}

TEST(RepeatTally, AnswersAndFailuresOutsideAnExchangeAreNotCounted)
{
    // After a Cancel the dropped exchange's late answer or time-out report arrives with no
    // exchange of the run open; neither belongs to the summary.
    const Clock::time_point t0{};
    RepeatTally tally(3);
    AnswerAfter(tally, t0, 5ms);
    tally.Answered(t0 + 1s);
    tally.Failed();
    tally.FrameWritten(t0 + 2s);
    EXPECT_EQ(tally.AnsweredCount(), 1);
    EXPECT_EQ(tally.Errors(), 0);
    EXPECT_EQ(tally.Figures()->MaxMs, 5);
}

TEST(RepeatTally, WithoutAnAnswerTheFiguresAreDashes)
{
    RepeatTally tally(10);
    tally.CommandSent();
    tally.Failed();
    EXPECT_FALSE(tally.Figures().has_value());
    EXPECT_EQ(tally.SummaryText(),
              "Repeat 10: 1 sent, 0 answered, 1 errors; response min/median/max -/-/- ms");
}
