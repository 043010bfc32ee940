// Chain outcomes: how far a candidate got through the evaluation chain, and the memo of its
// region-border scans. Records only, shared by the chain, the context that keeps the memos and
// the trace that reports them.
#pragma once

#include <cstdint>

#include "decoder/base/line_geometry.h"
#include "decoder/grid/border_walk.h"

namespace norvale {

enum class FrameOutcome {
    kRegionBorders, // module grid lines built
    kRepeatedGrid,  // the grid of an equal measurement, already sampled without success
    kWalks,         // frame tapers fitted by the outline walks
    kClockTracks,   // module grid lines through the clock modules, read one by one
    kFailed,
    kNoEvidence, // the far sides show no clock: not worth a frame
    kBlank,      // nothing beside the finder: the record is marked kStatusSkip
    kNoPlane,    // a plane could not be switched to (memory exhausted)
};

// True for the outcomes that leave a frame to sample from.
constexpr bool IsFitted(FrameOutcome frame)
{
    return frame == FrameOutcome::kRegionBorders || frame == FrameOutcome::kRepeatedGrid ||
           frame == FrameOutcome::kWalks || frame == FrameOutcome::kClockTracks;
}

enum SampleOutcome { kSizeRejected, kCorrectionFailed, kCorrected };

// A region-border scan already made on this plane for the same finder measurement: corner and
// both leg ends within kSameMeasurement pixels, the same module count hint going in. Near-equal
// candidates are common (every scan line across a finder gives one); a repeat reuses the verdict
// instead of scanning the symbol again.
struct FrameMemo
{
    PointF corner;
    PointF yLegEnd;
    PointF xLegEnd;
    int32_t hintIn;
    uint8_t onMedian;
    uint8_t verdict;         // FrameMemoVerdict
    int32_t hintOut;         // module count of a grid
    int32_t gridOutcome;     // SampleOutcome of the grid's line-mode sampling, -1 until known
    uint8_t largeLookDone;   // the walk-fitted large look was made and did not decode
    int32_t firstRowChanges; // along the scan's first row, on the memo's plane
};
constexpr int kMaxFrameMemos = 64;

// What a border walk reads: the plane, the record's frame matrix, finder corner, leg ends and
// contrast model (reference, sign, threshold), and for the right walk its ink sense. Laid out
// without padding, so that two keys are equal exactly when their bytes are.
struct WalkKey
{
    const uint8_t* plane;
    uint32_t width;
    uint32_t height;
    float values[18];
    int32_t inkSense;
    int32_t side; // 0 top, 1 right
};
static_assert(sizeof(WalkKey) == sizeof(const uint8_t*) + 4 * (2 + 18 + 2), "a walk key has no padding");

// A border walk of this search. Candidates that read exactly the same (twin measurements of one
// finder, a candidate walked again for a closer look) take its outcome without walking again.
struct WalkMemo
{
    WalkKey key;
    BorderWalk walk;
};
constexpr int kMaxWalkMemos = 64;
constexpr float kSameMeasurement = 1.0f;

enum FrameMemoVerdict : uint8_t { kMemoNoGrid, kMemoBlank, kMemoGrid };

} // namespace norvale
