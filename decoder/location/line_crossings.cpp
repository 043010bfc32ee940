// Line crossings: span clipping and the two tracers of one crossing.
#include "decoder/location/line_crossings.h"

#include <cstdint>

namespace norvale {

bool ClipSpan(const GrayImage& image, LineSpan& span)
{
    if (image.current == nullptr) {
        return false;
    }
    const bool vertical = IsVerticalScan(span.direction);
    const int64_t lineSize = vertical ? image.width : image.height;
    const int64_t spanSize = vertical ? image.height : image.width;
    if (span.lineCoord < 0 || span.lineCoord >= lineSize || span.length <= 0) {
        return false;
    }
    int64_t first = span.start;
    int64_t last = int64_t{span.start} + span.length - 1;
    if (first < 0) {
        first = 0;
    }
    if (last > spanSize - 1) {
        last = spanSize - 1;
    }
    if (last - first + 1 < 2) {
        return false;
    }
    span.start = static_cast<int>(first);
    span.length = static_cast<int>(last - first + 1);
    return true;
}

void TraceCrossing(EdgeTracer& tracerA, EdgeTracer& tracerB, const EdgeWalker& walker, const GrayImage& image,
                   int direction)
{
    InitEdgeTracer(tracerA, walker, RotateDirection(direction, kTurnBackward));
    InitEdgeTracer(tracerB, walker, RotateDirection(direction, kTurnForward));
    if (image.current == nullptr) {
        TraceEdgeLines(tracerA, image);
        TraceEdgeLines(tracerB, image);
        return;
    }
    // Both tracers start from the walker's threshold and contrast level, so the sides of the
    // threshold are worked out once for the two.
    const TracerView viewA = MakeTracerView(tracerA, image);
    TraceEdgeLines(tracerA, viewA);
    TraceEdgeLines(tracerB, AimedTracerView(viewA, tracerB));
}

} // namespace norvale
