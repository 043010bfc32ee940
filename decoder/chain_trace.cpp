// Chain trace: the fate of each evaluated candidate, appended while there is room.
#include "decoder/chain_trace.h"

#include "decoder/base/symbol_record.h"

namespace norvale {

void RecordFate(ChainTrace* trace, const SymbolRecord& unfitted, const SymbolRecord& evaluated,
                FrameOutcome frame, SampleOutcome sample, bool smallLook)
{
    if (trace == nullptr) {
        return;
    }
    if (trace->count >= kMaxTracedFates) {
        trace->dropped += 1;
        return;
    }
    CandidateFate& fate = trace->fates[trace->count];
    fate.search = trace->search;
    fate.pass = trace->pass;
    fate.corner = unfitted.corner;
    fate.yLegEnd = unfitted.yLegEnd;
    fate.xLegEnd = unfitted.xLegEnd;
    fate.frame = frame;
    fate.sample = sample;
    fate.smallLook = smallLook;
    fate.moduleCountHint = evaluated.moduleCountHint;
    // A repeated grid is not sampled again: its side is the equal measurement's.
    const bool sized = IsFitted(frame) && frame != FrameOutcome::kRepeatedGrid && sample != kSizeRejected;
    fate.side = sized ? static_cast<int32_t>(GetSymbolSide(&evaluated)) : 0;
    fate.erasures = evaluated.erasureCount;
    trace->count += 1;
}

} // namespace norvale
