// Edge tracer: follows a dark/light boundary from a scan-line crossing, one pixel per step along
// its travel axis, relocating the mid-level crossing across it and turning where it turns.
#pragma once

#include <cstdint>

#include "decoder/location/line_geometry.h"
#include "decoder/location/scan_line_edges.h"

namespace norvale {

struct DecoderContext;

// The pixel at (along = p, travel = c) is (x = p, y = c) when travelling vertically (codes 1, 4)
// and (x = c, y = p) when travelling horizontally (codes 2, 8).
struct EdgeTracer
{
    int16_t polarity;  // +1: the contrast level rises towards increasing position
    uint8_t turnCount; // quarter turns taken so far
    int coord;         // current coordinate on the travel axis
    float position;    // sub-pixel position of the boundary on the other axis
    float inkThreshold;
    float contrastReference;
    float contrastSign;
    FittedLine firstLine;  // first straight run (TraceEdgeLines), empty until recorded
    FittedLine secondLine; // second straight run
    int direction;         // travel code, perpendicular to the scan line it started from
};

// Starts at the walker's last crossing, with the local mid level found around it.
void InitEdgeTracer(EdgeTracer& tracer, const EdgeWalker& walker, int direction);
// The tracer's point in image coordinates.
PointF TracerPoint(const EdgeTracer& tracer);
// One step: kTraceMoved (possibly after a turn) or kTraceExhausted at the picture's border.
// `coord` has already moved when a step stops at the border.
int StepEdgeTracer(EdgeTracer& tracer, const DecoderContext& context);

} // namespace norvale
