// Edge tracer: steps along the travel axis and looks for the mid-level crossing within five
// pixels across it; when none is found the boundary has turned and so does the tracer.
#include "decoder/location/edge_tracer.h"

#include <cmath>
#include <cstring>

#include "decoder/base/image_sampling.h"

namespace norvale {

namespace {

struct Turn
{
    int direction;
    int sense;
    int newDirection;
    int16_t polarityFactor;
};

// The new travel direction is the old position axis, taken in the search sense.
constexpr Turn kTurns[] = {
    {kScanDown, 1, kScanRight, -1}, {kScanDown, -1, kScanLeft, 1}, {kScanLeft, 1, kScanDown, 1},
    {kScanLeft, -1, kScanUp, -1},   {kScanUp, 1, kScanRight, 1},   {kScanUp, -1, kScanLeft, -1},
    {kScanRight, 1, kScanDown, -1}, {kScanRight, -1, kScanUp, 1},
};

} // namespace

void InitEdgeTracer(EdgeTracer& tracer, const EdgeWalker& walker, int direction)
{
    std::memset(&tracer, 0, sizeof tracer);
    tracer.polarity = walker.levelB > walker.levelA ? 1 : -1;
    tracer.coord = walker.lineCoord;
    tracer.position = static_cast<float>(walker.posA) + walker.fraction;
    tracer.inkThreshold = walker.contrast.inkThreshold;
    tracer.contrastReference = walker.contrast.contrastReference;
    tracer.contrastSign = walker.contrast.contrastSign;
    tracer.direction = direction;
}

PointF TracerPoint(const EdgeTracer& tracer)
{
    const float coord = static_cast<float>(tracer.coord);
    return IsVerticalScan(tracer.direction) ? PointF{tracer.position, coord} : PointF{coord, tracer.position};
}

TracerView MakeTracerView(const EdgeTracer& tracer, const GrayImage& image)
{
    const bool vertical = IsVerticalScan(tracer.direction);
    TracerView view{};
    view.image = &image;
    view.pixels = image.current;
    view.alongStride = vertical ? 1 : image.width;
    view.travelStride = vertical ? image.width : 1;
    view.alongSize = static_cast<int>(vertical ? image.width : image.height);
    view.travelSize = static_cast<int>(vertical ? image.height : image.width);
    view.travelStep = tracer.direction == kScanDown || tracer.direction == kScanRight ? 1 : -1;
    view.level = LevelLineOf(tracer.contrastReference, tracer.contrastSign);
    return view;
}

void TurnEdgeTracer(EdgeTracer& tracer, TracerView& view, int travel, int sense)
{
    tracer.coord = static_cast<int>(tracer.position);
    tracer.position = static_cast<float>(travel);
    tracer.turnCount += 1;
    for (const Turn& turn : kTurns) {
        if (turn.direction == tracer.direction && turn.sense == sense) {
            tracer.direction = turn.newDirection;
            tracer.polarity = static_cast<int16_t>(tracer.polarity * turn.polarityFactor);
            break;
        }
    }
    view = MakeTracerView(tracer, *view.image);
}

int StepEdgeTracer(EdgeTracer& tracer, const GrayImage& image)
{
    if (image.current == nullptr) {
        return kTraceExhausted;
    }
    TracerView view = MakeTracerView(tracer, image);
    return StepEdgeTracer(tracer, view);
}

} // namespace norvale
