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

// The turns indexed by travel code and search sense, so that a turn is looked up, not searched.
constexpr int kTravelCodes = 4;
constexpr int TravelIndex(int code)
{
    return code == kScanDown ? 0 : code == kScanLeft ? 1 : code == kScanUp ? 2 : code == kScanRight ? 3 : -1;
}

struct TurnTable
{
    Turn turns[kTravelCodes][2]; // [travel index][0: sense +1, 1: sense -1]
};

constexpr TurnTable MakeTurnTable()
{
    TurnTable table{};
    for (const Turn& turn : kTurns) {
        table.turns[TravelIndex(turn.direction)][turn.sense > 0 ? 0 : 1] = turn;
    }
    return table;
}

constexpr TurnTable kTurnTable = MakeTurnTable();

// Which side of the threshold a level lies on, as the step reads it: +1 below, -1 above, 0 within
// kTracerLevelEpsilon. A threshold that is not a number puts every level above it.
int LevelSide(float level, float threshold)
{
    if (std::fabs(level - threshold) < kTracerLevelEpsilon) {
        return 0;
    }
    return threshold - level > 0.0f ? 1 : -1;
}

// The first u in 0..256 for which `leaves(u)` holds, given that it holds from some u on, searched
// from `guess` outwards.
template <typename Predicate> int FirstFrom(int guess, Predicate leaves)
{
    int u = guess;
    while (u > 0 && leaves(u - 1)) {
        --u;
    }
    while (u < 256 && !leaves(u)) {
        ++u;
    }
    return u;
}

// The runs of greys below, on and above the tracer's threshold. The level is a rounded linear
// function of the grey, so it moves monotonically with u and the sides follow one another in
// that order. The level of u is about u + shift, which puts the first run's end within a step
// or two of threshold - shift.
void FindThresholdSides(TracerView& view, float threshold)
{
    const bool rising = view.level.scale > 0.0f;
    view.greyFlip = rising ? 0 : 255;
    const double shift = rising ? double{view.level.offset} : double{view.level.offset} - 255.0;
    const double estimate = double{threshold} - shift;
    const int guess = estimate > 0.0 ? (estimate < 256.0 ? static_cast<int>(estimate) : 256) : 0;
    const auto sideAt = [&](int u) {
        return LevelSide(LevelOf(view.level, static_cast<float>(u ^ view.greyFlip)), threshold);
    };
    view.belowEnd = FirstFrom(guess, [&](int u) { return sideAt(u) != 1; });
    view.aboveStart = FirstFrom(view.belowEnd, [&](int u) { return sideAt(u) == -1; });
}

// The axes of the view for the tracer's present direction.
void AimTracerView(TracerView& view, const EdgeTracer& tracer)
{
    const GrayImage& image = *view.image;
    const bool vertical = IsVerticalScan(tracer.direction);
    view.alongStride = vertical ? 1 : image.width;
    view.travelStride = vertical ? image.width : 1;
    view.alongSize = static_cast<int>(vertical ? image.width : image.height);
    view.travelSize = static_cast<int>(vertical ? image.height : image.width);
    view.travelStep = tracer.direction == kScanDown || tracer.direction == kScanRight ? 1 : -1;
}

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
    TracerView view{};
    view.image = &image;
    view.pixels = image.current;
    AimTracerView(view, tracer);
    view.level = LevelLineOf(tracer.contrastReference, tracer.contrastSign);
    FindThresholdSides(view, tracer.inkThreshold);
    view.nextAlong = kUnforeseen;
    return view;
}

TracerView AimedTracerView(const TracerView& view, const EdgeTracer& tracer)
{
    TracerView aimed = view;
    AimTracerView(aimed, tracer);
    aimed.nextAlong = kUnforeseen;
    return aimed;
}

void TurnEdgeTracer(EdgeTracer& tracer, TracerView& view, int travel, int sense)
{
    tracer.coord = static_cast<int>(tracer.position);
    tracer.position = static_cast<float>(travel);
    view.nextAlong = travel;
    tracer.turnCount += 1;
    const int index = TravelIndex(tracer.direction);
    if (index >= 0 && (sense == 1 || sense == -1)) {
        const Turn& turn = kTurnTable.turns[index][sense > 0 ? 0 : 1];
        tracer.direction = turn.newDirection;
        tracer.polarity = static_cast<int16_t>(tracer.polarity * turn.polarityFactor);
    }
    // The threshold's sides stay as they are: only the axes turn.
    AimTracerView(view, tracer);
}

int RoundedPosition(float position)
{
    return static_cast<int>(position + 0.5f);
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
