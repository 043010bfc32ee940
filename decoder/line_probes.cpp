// Line probes: the finder corner of every traced crossing of a line, either collected into the
// symbol table or run straight through frame fitting, sampling and decoding.
#include "decoder/line_probes.h"

#include <cmath>

#include "decoder/chain_trace.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/decoder_context.h"
#include "decoder/evaluation_chain.h"
#include "decoder/location/finder_corner.h"
#include "decoder/location/line_crossings.h"
#include "decoder/sampling/module_sampling.h"

namespace norvale {

namespace {

// A record whose corner lies farther than this from the first examined symbol is not collected.
constexpr float kExaminedNeighbourhood = 2.0f;
constexpr float kDuplicateEpsilon = 1e-6f;

bool StopAtFirst(const DecoderContext& context)
{
    return (context.flags & kFlagStopAtFirst) != 0;
}

bool IsFarFromFirstSymbol(const DecoderContext& context, const SymbolRecord& record)
{
    const PointF first = context.symbols[0].corner;
    return std::fabs(record.corner.x - first.x) > kExaminedNeighbourhood ||
           std::fabs(record.corner.y - first.y) > kExaminedNeighbourhood;
}

bool IsDuplicate(const DecoderContext& context, const SymbolRecord& record)
{
    for (int32_t i = 0; i < context.symbolCount; ++i) {
        const SymbolRecord& e = context.symbols[i];
        if (std::fabs(e.corner.x - record.corner.x) <= kDuplicateEpsilon &&
            std::fabs(e.corner.y - record.corner.y) <= kDuplicateEpsilon &&
            std::fabs(e.yLegEnd.x - record.yLegEnd.x) <= kDuplicateEpsilon &&
            std::fabs(e.yLegEnd.y - record.yLegEnd.y) <= kDuplicateEpsilon) {
            return true;
        }
    }
    return false;
}

// The retry probe fits with the region-border scan, or else both outline walks, on the current
// plane; the horizontal size estimate bounds the first attempt only.
constexpr ChainOptions kProbeChain{false, false, WalkEstimateCheck::kHorizontalProbe, false, false};
constexpr ChainOptions kProbeRetryChain{false, false, WalkEstimateCheck::kNone, false, false};

bool FitFrame(SymbolRecord& record, DecoderContext& context, const ChainOptions& options, FrameOutcome& frame)
{
    frame = FitCandidateFrame(context, record, options);
    return IsFitted(frame);
}

enum class CrossingOutcome {
    kNext,    // nothing (more) to do for this crossing
    kDecoded, // stored in the table
};

// Runs one crossing through corner, frame, sampling and decoding; the record is left without
// buffers of its own in every case (stored, cleared or never filled).
CrossingOutcome DecodeCrossing(DecoderContext& context, SymbolRecord& record, const EdgeWalker& walker,
                               const EdgeTracer& tracerA, const EdgeTracer& tracerB)
{
    InitSymbolRecord(record, walker.contrast);
    if (BuildCornerCandidate(record, tracerA, tracerB) == 0) {
        return CrossingOutcome::kNext;
    }
    const SymbolRecord found = record;
    const auto give = [&](FrameOutcome frame, SampleOutcome sample) {
        RecordFate(context.trace, found, record, frame, sample, false);
    };
    FrameOutcome frame = FrameOutcome::kFailed;
    if (!FitFrame(record, context, kProbeChain, frame)) {
        give(frame, kSizeRejected);
        ReleaseSymbolBuffers(record);
        return CrossingOutcome::kNext;
    }
    if (SelectSizeAndSample(record, context.image, context.grids) == 0) {
        // Second attempt with the contrast figures of this call's last successful top-border walk.
        ClearSymbolRecord(record);
        InitSymbolRecord(record, walker.contrast);
        const WalkStats stats = context.topWalkStats;
        record.contrast.contrastReference = stats.minimum;
        record.contrast.contrastSign = stats.maximum;
        record.contrast.currentGray = stats.mid;
        if (BuildCornerCandidate(record, tracerA, tracerB) == 0) {
            return CrossingOutcome::kNext;
        }
        if (!FitFrame(record, context, kProbeRetryChain, frame)) {
            give(frame, kSizeRejected);
            ReleaseSymbolBuffers(record);
            return CrossingOutcome::kNext;
        }
        if (SelectSizeAndSample(record, context.image, context.grids) == 0) {
            give(frame, kSizeRejected);
            RememberRejected(context, record);
            return CrossingOutcome::kNext;
        }
    }
    if (PlaceAndCorrect(context, record) != kCorrected) {
        give(frame, kCorrectionFailed);
        RememberRejected(context, record);
        return CrossingOutcome::kNext;
    }
    DecodeDataCodewords(record);
    give(frame, kCorrected);
    // The table entry owns the record's buffers from here on.
    context.symbols[context.symbolCount] = record;
    context.symbolCount += 1;
    return CrossingOutcome::kDecoded;
}

} // namespace

int32_t ProbeScanLine(DecoderContext& context, int direction, int lineCoord, int start, int length,
                      EdgeMarks* marks, CrossingLog* log)
{
    const int32_t before = context.symbolCount;
    if ((StopAtFirst(context) && context.decodedCount > 0) || context.symbolCount >= kMaxSymbolRecords) {
        return 0;
    }
    SymbolRecord record;
    ForEachCrossing(
        context.image, LineSpan{direction, lineCoord, start, length},
        [&](const EdgeWalker& walker, const EdgeTracer& tracerA, const EdgeTracer& tracerB) {
            ResetSymbolRecord(record, walker.contrast);
            if (MeasureCornerCandidate(record, tracerA, tracerB) == 0) {
                return true;
            }
            if (context.symbolCount >= kMaxSymbolRecords) {
                return false;
            }
            if ((context.examinedCount > 0 && IsFarFromFirstSymbol(context, record)) ||
                IsDuplicate(context, record)) {
                return true;
            }
            // Collected records own no buffers yet, so the copy hands nothing on; their frame
            // matrices are built when they are evaluated, as most are only collected.
            context.symbols[context.symbolCount] = record;
            context.symbolCount += 1;
            return context.symbolCount < kMaxSymbolRecords;
        },
        marks, log);
    return context.symbolCount - before;
}

int32_t ProbeAndDecodeLine(DecoderContext& context, int direction, int lineCoord)
{
    if ((StopAtFirst(context) && context.symbolCount > 0) || context.symbolCount >= kMaxSymbolRecords) {
        return context.symbolCount;
    }
    const bool vertical = IsVerticalScan(direction);
    const int length = static_cast<int>(vertical ? context.image.height : context.image.width);
    SymbolRecord record;
    ForEachCrossing(context.image, LineSpan{direction, lineCoord, 0, length},
                    [&](const EdgeWalker& walker, const EdgeTracer& tracerA, const EdgeTracer& tracerB) {
                        return DecodeCrossing(context, record, walker, tracerA, tracerB) !=
                                   CrossingOutcome::kDecoded ||
                               (!StopAtFirst(context) && context.symbolCount < kMaxSymbolRecords);
                    });
    return context.symbolCount;
}

} // namespace norvale
