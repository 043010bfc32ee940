// Line probes: scan-line edges, two edge tracers per crossing and the finder corner, either
// collected into the symbol table or run straight through frame fitting, sampling and decoding.
#include "decoder/location/line_probe.h"

#include <cmath>

#include "decoder/codewords/data_encodation.h"
#include "decoder/sampling/module_sampling.h"
#include "decoder/decoder_context.h"
#include "decoder/evaluation_chain.h"
#include "decoder/grid/border_walk.h"
#include "decoder/location/edge_tracer.h"
#include "decoder/location/finder_corner.h"
#include "decoder/location/scan_line_edges.h"
#include "decoder/location/straight_runs.h"
#include "decoder/search_driver.h"

namespace norvale {

namespace {

// A record whose corner lies farther than this from the first examined symbol is not collected.
constexpr float kExaminedNeighbourhood = 2.0f;
constexpr float kDuplicateEpsilon = 1e-6f;

bool StopAtFirst(const DecoderContext& context)
{
    return (context.flags & kFlagStopAtFirst) != 0;
}

// Clips the span [start, start + length) of the line to the picture. False when no line or no
// span of at least two positions is left.
bool ClipSpan(const GrayImage& image, int direction, int lineCoord, int& start, int& length)
{
    if (image.current == nullptr) {
        return false;
    }
    const bool vertical = (direction & kVerticalCodes) != 0;
    const int64_t lineSize = vertical ? image.width : image.height;
    const int64_t spanSize = vertical ? image.height : image.width;
    if (lineCoord < 0 || lineCoord >= lineSize || length <= 0) {
        return false;
    }
    int64_t first = start;
    int64_t last = int64_t{start} + length - 1;
    if (first < 0) {
        first = 0;
    }
    if (last > spanSize - 1) {
        last = spanSize - 1;
    }
    if (last - first + 1 < 2) {
        return false;
    }
    start = static_cast<int>(first);
    length = static_cast<int>(last - first + 1);
    return true;
}

void TraceCrossing(EdgeTracer& tracerA, EdgeTracer& tracerB, const EdgeWalker& walker,
                   const DecoderContext& context, int direction)
{
    InitEdgeTracer(tracerA, walker, RotateDirection(direction, kTurnBackward));
    InitEdgeTracer(tracerB, walker, RotateDirection(direction, kTurnForward));
    TraceEdgeLines(tracerA, context);
    TraceEdgeLines(tracerB, context);
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

bool FitFrame(SymbolRecord& record, DecoderContext& context, const ChainOptions& options)
{
    const FrameOutcome frame = FitCandidateFrame(context, record, options);
    return frame == FrameOutcome::kRegionBorders || frame == FrameOutcome::kWalks;
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
    if (BuildCornerCandidate(record, context, tracerA, tracerB) == 0) {
        return CrossingOutcome::kNext;
    }
    if (!FitFrame(record, context, kProbeChain)) {
        ReleaseSymbolBuffers(record);
        return CrossingOutcome::kNext;
    }
    if (SelectSizeAndSample(record, context) == 0) {
        // Second attempt with the contrast figures of the last successful top-border walk.
        ClearSymbolRecord(record);
        InitSymbolRecord(record, walker.contrast);
        const WalkStats stats = LastTopWalkStats();
        record.contrast.contrastReference = stats.minimum;
        record.contrast.contrastSign = stats.maximum;
        record.contrast.currentGray = stats.mid;
        if (BuildCornerCandidate(record, context, tracerA, tracerB) == 0) {
            return CrossingOutcome::kNext;
        }
        if (!FitFrame(record, context, kProbeRetryChain)) {
            ReleaseSymbolBuffers(record);
            return CrossingOutcome::kNext;
        }
        if (SelectSizeAndSample(record, context) == 0) {
            AddRetryCandidate(context, record);
            AddRejectedSymbol(context, record);
            ClearSymbolRecord(record);
            return CrossingOutcome::kNext;
        }
    }
    if (PlaceAndCorrect(context, record) != kCorrected) {
        AddRetryCandidate(context, record);
        AddRejectedSymbol(context, record);
        ClearSymbolRecord(record);
        return CrossingOutcome::kNext;
    }
    DecodeDataCodewords(record);
    // The table entry owns the record's buffers from here on.
    context.symbols[context.symbolCount] = record;
    context.symbolCount += 1;
    return CrossingOutcome::kDecoded;
}

} // namespace

int32_t ProbeScanLine(DecoderContext& context, int direction, int lineCoord, int start, int length)
{
    const int32_t before = context.symbolCount;
    if (StopAtFirst(context) && context.decodedCount > 0) {
        return 0;
    }
    if (context.symbolCount >= kMaxSymbolRecords ||
        !ClipSpan(context.image, direction, lineCoord, start, length)) {
        return 0;
    }
    ScanLine line;
    EdgeWalker walker;
    EdgeTracer tracerA;
    EdgeTracer tracerB;
    SymbolRecord record;
    InitScanLine(line, direction, lineCoord, start, length);
    bool full = false;
    while (!full && NextScanSegment(line, context) != kTraceExhausted) {
        if (!IsUsableSegment(line)) {
            continue;
        }
        InitEdgeWalker(walker, line);
        while (NextEdgeCrossing(walker, context, line.contrast) != kTraceExhausted) {
            TraceCrossing(tracerA, tracerB, walker, context, direction);
            InitSymbolRecord(record, walker.contrast);
            if (BuildCornerCandidate(record, context, tracerA, tracerB) == 0) {
                continue;
            }
            if (context.symbolCount >= kMaxSymbolRecords) {
                full = true;
                break;
            }
            if (context.examinedCount > 0 && IsFarFromFirstSymbol(context, record)) {
                continue;
            }
            if (IsDuplicate(context, record)) {
                continue;
            }
            // Collected records own no buffers yet, so the copy hands nothing on.
            context.symbols[context.symbolCount] = record;
            context.symbolCount += 1;
            if (context.symbolCount >= kMaxSymbolRecords) {
                full = true;
                break;
            }
        }
    }
    return context.symbolCount - before;
}

int32_t ProbeAndDecodeLine(DecoderContext& context, int direction, int lineCoord)
{
    if (StopAtFirst(context) && context.symbolCount > 0) {
        return context.symbolCount;
    }
    const bool vertical = (direction & kVerticalCodes) != 0;
    int start = 0;
    int length = static_cast<int>(vertical ? context.image.height : context.image.width);
    if (context.symbolCount >= kMaxSymbolRecords ||
        !ClipSpan(context.image, direction, lineCoord, start, length)) {
        return context.symbolCount;
    }
    ScanLine line;
    EdgeWalker walker;
    EdgeTracer tracerA;
    EdgeTracer tracerB;
    SymbolRecord record;
    InitScanLine(line, direction, lineCoord, start, length);
    while (NextScanSegment(line, context) != kTraceExhausted) {
        if (!IsUsableSegment(line)) {
            continue;
        }
        InitEdgeWalker(walker, line);
        while (NextEdgeCrossing(walker, context, line.contrast) != kTraceExhausted) {
            TraceCrossing(tracerA, tracerB, walker, context, direction);
            if (DecodeCrossing(context, record, walker, tracerA, tracerB) == CrossingOutcome::kDecoded &&
                (StopAtFirst(context) || context.symbolCount >= kMaxSymbolRecords)) {
                return context.symbolCount;
            }
        }
        if (StopAtFirst(context) && context.symbolCount > 0) {
            break;
        }
    }
    return context.symbolCount;
}

} // namespace norvale
