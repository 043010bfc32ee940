#include "decoder/stage_clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace norvale {
namespace {

using Clock = std::chrono::steady_clock;

void BusyWait(std::chrono::microseconds span)
{
    const Clock::time_point until = Clock::now() + span;
    while (Clock::now() < until) {
    }
}

double Seconds(const StageClock& clock, Stage stage)
{
    return clock.seconds[static_cast<int>(stage)];
}

TEST(StageClockTest, NestedStageIsChargedToItselfOnly)
{
    StageClock clock{};
    StartStageClock(clock);
    {
        StageScope outer(&clock, Stage::kLocation);
        StageScope inner(&clock, Stage::kFrameFitting);
        BusyWait(std::chrono::microseconds(2000));
    }
    StopStageClock(clock);
    EXPECT_GE(Seconds(clock, Stage::kFrameFitting), 0.002);
    double sum = 0.0;
    for (double s : clock.seconds) {
        sum += s;
    }
    EXPECT_GE(sum, Seconds(clock, Stage::kFrameFitting));
    // The outer stage is not charged for the time spent in the nested one.
    EXPECT_LT(Seconds(clock, Stage::kLocation), Seconds(clock, Stage::kFrameFitting));
    EXPECT_EQ(clock.current, Stage::kOther);
}

TEST(StageClockTest, FallbackAbsorbsTheStagesInsideIt)
{
    StageClock clock{};
    StartStageClock(clock);
    {
        StageScope fallback(&clock, Stage::kFallbacks);
        StageScope nested(&clock, Stage::kLocation);
        StageScope again(&clock, Stage::kFallbacks);
        BusyWait(std::chrono::microseconds(1000));
    }
    StopStageClock(clock);
    EXPECT_EQ(Seconds(clock, Stage::kLocation), 0.0);
    EXPECT_GE(Seconds(clock, Stage::kFallbacks), 0.001);
    EXPECT_EQ(clock.fallbackDepth, 0);
}

TEST(StageClockTest, NullClockIsIgnored)
{
    StageScope scope(nullptr, Stage::kSampling);
    SUCCEED();
}

} // namespace
} // namespace norvale
