// Edge tracer: steps along the travel axis and looks for the mid-level crossing within five
// pixels across it; when none is found the boundary has turned and so does the tracer.
#include "decoder/location/edge_tracer.h"

#include <cmath>
#include <cstring>

#include "decoder/decoder_context.h"
#include "decoder/location/image_sampling.h"

namespace norvale {

namespace {

// Samples across the travel axis searched for the crossing before the tracer turns.
constexpr int kCrossingSearch = 5;
// Nearest the tracer comes to the picture's sides across its travel axis.
constexpr int kBorderMargin = 2;
constexpr float kLevelEpsilon = 1e-6f;

bool IsVertical(int direction)
{
    return (direction & kVerticalCodes) != 0;
}

// The pixels of one line across the travel axis: pixel (along = i) is line[i * stride]. The caller
// has checked that the line and every i it reads lie inside the picture.
struct AcrossLine
{
    const uint8_t* line;
    size_t stride;
    float reference;
    float sign;

    float Level(int i) const
    {
        const float v = line[static_cast<size_t>(i) * stride];
        return sign > 0.0f ? v - reference : reference - v;
    }
};

AcrossLine LineAcross(const EdgeTracer& tracer, const GrayImage& image, int travel)
{
    const bool vertical = IsVertical(tracer.direction);
    const size_t t = static_cast<size_t>(travel);
    AcrossLine across{};
    across.line = vertical ? image.current + t * image.width : image.current + t;
    across.stride = vertical ? 1 : image.width;
    across.reference = tracer.contrastReference;
    across.sign = tracer.contrastSign;
    return across;
}

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
    return IsVertical(tracer.direction) ? PointF{tracer.position, coord} : PointF{coord, tracer.position};
}

int StepEdgeTracer(EdgeTracer& tracer, const DecoderContext& context)
{
    const GrayImage& image = context.image;
    const bool vertical = IsVertical(tracer.direction);
    const int alongSize = static_cast<int>(vertical ? image.width : image.height);
    const int travelSize = static_cast<int>(vertical ? image.height : image.width);
    const float threshold = tracer.inkThreshold;

    // The position is checked before it is converted, so no out-of-range float meets an int.
    if (!(tracer.position > -1.0f && tracer.position < static_cast<float>(alongSize))) {
        return kTraceExhausted;
    }
    const int a = static_cast<int>(tracer.position + 0.5f);
    if (a < kBorderMargin || a + 1 >= alongSize - 1) {
        return kTraceExhausted;
    }
    const bool forward = tracer.direction == kScanDown || tracer.direction == kScanRight;
    const int c = forward ? tracer.coord + 1 : tracer.coord - 1;
    tracer.coord = c;
    if (c <= 0 || c >= travelSize) {
        return kTraceExhausted;
    }
    const AcrossLine across = LineAcross(tracer, image, c);
    const float level0 = across.Level(a);
    const int s = (threshold - level0) * tracer.polarity >= 0.0f ? 1 : -1;
    if (std::fabs(level0 - threshold) < kLevelEpsilon) {
        tracer.position = static_cast<float>(a);
        return kTraceMoved;
    }

    // The pixel at a itself was read above; the search goes on from its neighbour.
    float levelPrev = level0;
    int iPrev = a;
    for (int k = 1; k < kCrossingSearch; ++k) {
        const int i = a + k * s;
        if (i - 1 <= 0 || i + 1 >= alongSize - 1) {
            return kTraceExhausted;
        }
        const float level = across.Level(i);
        if (std::fabs(level - threshold) < kLevelEpsilon) {
            tracer.position = static_cast<float>(i);
            return kTraceMoved;
        }
        const float dPrev = threshold - levelPrev;
        const float dCur = threshold - level;
        if (dCur * dPrev < 0.0f) {
            const float span = std::fabs(levelPrev - level);
            if (std::fabs(dCur) > std::fabs(dPrev)) {
                tracer.position = static_cast<float>(iPrev) + tracer.polarity * dPrev / span;
            } else {
                tracer.position = static_cast<float>(i) + tracer.polarity * dCur / span;
            }
            return kTraceMoved;
        }
        levelPrev = level;
        iPrev = i;
    }

    // No crossing nearby: the boundary turns. The tracer continues along the old position axis
    // from where the boundary was, in the sense it searched.
    tracer.coord = static_cast<int>(tracer.position);
    tracer.position = static_cast<float>(c);
    tracer.turnCount += 1;
    for (const Turn& turn : kTurns) {
        if (turn.direction == tracer.direction && turn.sense == s) {
            tracer.direction = turn.newDirection;
            tracer.polarity = static_cast<int16_t>(tracer.polarity * turn.polarityFactor);
            break;
        }
    }
    return kTraceMoved;
}

} // namespace norvale
