// Line crossings: every mid-level crossing along a span of one scan line, with the two edge
// tracers traced from it to their straight runs. What a crossing becomes is the caller's affair.
#pragma once

#include "decoder/location/crossing_log.h"
#include "decoder/location/edge_marks.h"
#include "decoder/location/edge_tracer.h"
#include "decoder/location/scan_line_edges.h"
#include "decoder/location/straight_runs.h"
#include "image/gray_image.h"

namespace norvale {

// Positions start .. start + length - 1 of a column (direction 1, x = lineCoord) or a row
// (direction 8, y = lineCoord).
struct LineSpan
{
    int direction;
    int lineCoord;
    int start;
    int length;
};

// Clips the span to the picture. False when there is no current plane, the line lies outside
// the picture or fewer than two positions are left.
bool ClipSpan(const GrayImage& image, LineSpan& span);

// The walker's last crossing traced both ways: tracerA turned backward from the scan direction,
// tracerB forward.
void TraceCrossing(EdgeTracer& tracerA, EdgeTracer& tracerB, const EdgeWalker& walker, const GrayImage& image,
                   int direction);

// Calls visit(walker, tracerA, tracerB) for each crossing of each usable segment of the clipped
// span whose levels swing like a transition's, in scan order, until visit returns false. With
// `marks`, a crossing on an edge that kTracesPerEdge earlier lines have traced is passed over, and
// the runs traced here are marked on the grid's other lines. With `log`, the runs of each crossing
// are logged (record mode) or taken from the log where it holds the crossing (replay mode, for a
// plane with the same pixels). The visitor reads only the tracers' runs: a replayed tracer holds
// nothing else of its crossing.
template <typename Visit>
void ForEachCrossing(const GrayImage& image, LineSpan span, Visit visit, EdgeMarks* marks = nullptr,
                     CrossingLog* log = nullptr)
{
    if (!ClipSpan(image, span)) {
        return;
    }
    ScanLine line;
    EdgeWalker walker;
    EdgeTracer tracerA;
    EdgeTracer tracerB;
    InitScanLine(line, span.direction, span.lineCoord, span.start, span.length);
    while (NextScanSegment(line, image) != kTraceExhausted) {
        if (!IsUsableSegment(line)) {
            continue;
        }
        InitEdgeWalker(walker, line);
        while (NextEdgeCrossing(walker, image, line.contrast) != kTraceExhausted) {
            if (!SwingsLikeTransition(walker)) {
                continue;
            }
            const int earlier = marks != nullptr ? EarlierTraces(*marks, walker) : 0;
            if (earlier >= kTracesPerEdge) {
                continue;
            }
            const CrossingKey key = log != nullptr ? KeyOfCrossing(walker, span.direction) : CrossingKey{};
            if (log == nullptr || log->mode != CrossingLogMode::kReplay ||
                !ReplayCrossing(*log, key, tracerA, tracerB)) {
                TraceCrossing(tracerA, tracerB, walker, image, span.direction);
                if (log != nullptr && log->mode == CrossingLogMode::kRecord) {
                    LogCrossing(*log, key, tracerA, tracerB);
                }
            }
            if (marks != nullptr) {
                MarkTracedRuns(*marks, tracerA, tracerB, walker, earlier);
            }
            if (!visit(static_cast<const EdgeWalker&>(walker), static_cast<const EdgeTracer&>(tracerA),
                       static_cast<const EdgeTracer&>(tracerB))) {
                return;
            }
        }
    }
}

} // namespace norvale
