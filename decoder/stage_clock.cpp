// Stage clock: exclusive time per stage of one decoding call.
#include "decoder/stage_clock.h"

namespace norvale {

namespace {

using Clock = std::chrono::steady_clock;

void SwitchStage(StageClock& clock, Stage next)
{
    const Clock::time_point now = Clock::now();
    clock.seconds[static_cast<int>(clock.current)] +=
        std::chrono::duration<double>(now - clock.since).count();
    clock.since = now;
    clock.current = next;
}

} // namespace

void StartStageClock(StageClock& clock)
{
    for (double& s : clock.seconds) {
        s = 0.0;
    }
    clock.current = Stage::kOther;
    clock.fallbackDepth = 0;
    clock.since = Clock::now();
}

void StopStageClock(StageClock& clock)
{
    SwitchStage(clock, clock.current);
}

StageScope::StageScope(StageClock* clock, Stage stage) : clock_(clock), previous_(Stage::kOther)
{
    if (clock_ == nullptr) {
        return;
    }
    if (clock_->fallbackDepth > 0) {
        // Charged to the fallback that runs it; nothing to switch back to either.
        clock_->fallbackDepth += stage == Stage::kFallbacks ? 1 : 0;
        if (stage != Stage::kFallbacks) {
            clock_ = nullptr;
        }
        return;
    }
    previous_ = clock_->current;
    SwitchStage(*clock_, stage);
    clock_->fallbackDepth = stage == Stage::kFallbacks ? 1 : 0;
}

StageScope::~StageScope()
{
    if (clock_ == nullptr) {
        return;
    }
    if (clock_->fallbackDepth > 1) {
        clock_->fallbackDepth -= 1;
        return;
    }
    clock_->fallbackDepth = 0;
    SwitchStage(*clock_, previous_);
}

} // namespace norvale
