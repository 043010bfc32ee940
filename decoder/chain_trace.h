// Chain trace: what became of each candidate of one decoding call, for the tracing tool. The
// caller owns the trace and hands it to one call; a call without one records nothing.
#pragma once

#include <cstdint>

#include "decoder/base/line_geometry.h"
#include "decoder/chain_outcome.h"

namespace norvale {

struct SymbolRecord;

// Which search of the call a candidate belongs to.
enum class TracedSearch : int {
    kPicture,  // the picture itself
    kMargined, // the copy with an added quiet zone
    kLevelled, // the levelled copy (soft, faint areas at full contrast)
    kRetry,    // the retry step's line probes
};

// The pass number the closer looks of a search that decoded nothing are recorded under.
constexpr int kCloserLookPass = 3;

struct CandidateFate
{
    TracedSearch search;
    int pass; // 1 or 2 in a search, kCloserLookPass for its closer looks, 0 in the retry step
    PointF corner;
    PointF yLegEnd;
    PointF xLegEnd;
    FrameOutcome frame;
    SampleOutcome sample; // when the frame was fitted
    bool smallLook;       // decoded by the quick look from the walks
    int32_t moduleCountHint;
    int32_t side; // of the accepted size, 0 when none
    int32_t erasures;
};

constexpr int kMaxTracedFates = 512;

struct ChainTrace
{
    TracedSearch search;
    int pass;
    int32_t count; // fates recorded; later candidates are counted in `dropped` only
    int32_t dropped;
    CandidateFate fates[kMaxTracedFates];
};

// Records one candidate's fate (no-op for a null trace). `unfitted` is the candidate as found,
// `evaluated` what the chain made of it.
void RecordFate(ChainTrace* trace, const SymbolRecord& unfitted, const SymbolRecord& evaluated,
                FrameOutcome frame, SampleOutcome sample, bool smallLook);

} // namespace norvale
