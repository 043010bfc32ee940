// Stage clock: where the time of one decoding call goes, for the benchmark. The caller owns the
// clock and hands it to one call; a call without a clock pays one null test per stage entered.
#pragma once

#include <chrono>

namespace norvale {

enum class Stage : int {
    kOther,        // the drivers' own bookkeeping
    kLoading,      // file or buffer to the grey picture
    kPlanes,       // the median plane and the margined copy of the quiet-zone search
    kLocation,     // scan lines, edge tracing, finder corners
    kFrameFitting, // region-border scan and outline walks
    kSampling,     // size selection, module sampling, mapping matrix
    kCorrection,   // placement, Reed-Solomon, data decoding
    kFallbacks,    // second looks, retry step, quiet-zone search (everything inside them)
};
constexpr int kStageCount = 8;

struct StageClock
{
    double seconds[kStageCount]; // time spent in each stage, nested stages excluded
    Stage current;
    std::chrono::steady_clock::time_point since;
    int fallbackDepth; // inside a fallback every stage is charged to the fallback
};

// Zeroes the times and starts charging kOther.
void StartStageClock(StageClock& clock);
// Charges the time since the last switch to the current stage.
void StopStageClock(StageClock& clock);

// Charges the time from construction to destruction to `stage` (a null clock does nothing).
class StageScope
{
  public:
    StageScope(StageClock* clock, Stage stage);
    ~StageScope();
    StageScope(const StageScope&) = delete;
    StageScope& operator=(const StageScope&) = delete;

  private:
    StageClock* clock_;
    Stage previous_;
};

} // namespace norvale
