// Edge tracer: follows a dark/light boundary from a scan-line crossing, one pixel per step along
// its travel axis, relocating the mid-level crossing across it and turning where it turns.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "decoder/base/line_geometry.h"
#include "decoder/location/scan_line_edges.h"
#include "image/gray_image.h"

namespace norvale {

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

// The picture as a tracer reads it while it keeps one travel direction: the pixel at (along = p,
// travel = c) is pixels[c * travelStride + p * alongStride], read through the tracer's contrast
// level. A turn re-aims its axes; the threshold bounds below stay.
//
// The level rises or falls with the grey value, so the greys whose level lies below the tracer's
// threshold, those within kTracerLevelEpsilon of it and those above it form three runs of
// 0..255. With u = grey ^ greyFlip (the grey itself, or 255 - grey where the level falls) the
// level lies below the threshold for u < belowEnd, above it for u >= aboveStart, and on it in
// between; the step compares whole greys and works out a level only where it places a crossing.
struct TracerView
{
    const GrayImage* image;
    const uint8_t* pixels;
    size_t alongStride;
    size_t travelStride;
    int alongSize;
    int travelSize;
    int travelStep; // +1 or -1 along the travel axis
    LevelLine level;
    int greyFlip;   // 0 where the level rises with the grey, 255 where it falls
    int belowEnd;   // first u whose level is not below the threshold
    int aboveStart; // first u whose level lies above the threshold
    int nextAlong;  // the sample the last step foresaw the next one starting from, or kUnforeseen
};

// A view's foreseen sample before its first step: no sample of a picture.
constexpr int kUnforeseen = -1;

// The tracer's position rounded to its nearest sample. Kept out of line (and out of the
// optimiser's view of the step) so that the step's check of its foreseen sample stays a branch.
#if defined(__GNUC__) && !defined(__clang__)
[[gnu::noipa]]
#else
[[gnu::noinline]]
#endif
int RoundedPosition(float position);

// Samples across the travel axis searched for the crossing before the tracer turns.
constexpr int kTracerCrossingSearch = 5;
// Nearest the tracer comes to the picture's sides across its travel axis.
constexpr int kTracerBorderMargin = 2;
constexpr float kTracerLevelEpsilon = 1e-6f;

// Starts at the walker's last crossing, with the local mid level found around it.
void InitEdgeTracer(EdgeTracer& tracer, const EdgeWalker& walker, int direction);
// The tracer's point in image coordinates.
PointF TracerPoint(const EdgeTracer& tracer);
// The view of a picture with a current plane for the tracer's present direction.
TracerView MakeTracerView(const EdgeTracer& tracer, const GrayImage& image);
// The view for a tracer with the same threshold and contrast level as the one `view` was made for
// (the other tracer of a crossing): only the axes are aimed again.
TracerView AimedTracerView(const TracerView& view, const EdgeTracer& tracer);
// The turn where no crossing lies within reach: the tracer continues along the old position axis
// from where the boundary was, in the search sense `sense`, and its view turns with it.
void TurnEdgeTracer(EdgeTracer& tracer, TracerView& view, int travel, int sense);

// One step: kTraceMoved (possibly after a turn) or kTraceExhausted at the picture's border.
// `coord` has already moved when a step stops at the border.
int StepEdgeTracer(EdgeTracer& tracer, const GrayImage& image);

// Which side of the tracer's threshold grey g lies on: +1 below, -1 above, 0 on it.
inline int ThresholdSide(const TracerView& view, int g)
{
    const int u = g ^ view.greyFlip;
    return (u < view.belowEnd ? 1 : 0) - (u >= view.aboveStart ? 1 : 0);
}

// The same step through a view kept by the caller (the trace loop). Kept out of line, so that
// every step of a trace, the first ones that fill the ring included, runs through one copy of it:
// inlined where the ring is filled, the copies took fewer instructions but more time.
[[gnu::noinline]] inline int StepEdgeTracer(EdgeTracer& tracer, TracerView& view)
{
    // The position is checked before it is converted, so no out-of-range float meets an int.
    if (!(tracer.position > -1.0f && tracer.position < static_cast<float>(view.alongSize))) {
        return kTraceExhausted;
    }
    // The step starts from the sample nearest the position. The last step foresaw it without the
    // division that placed the position, so the next row is read while that division runs; the
    // foreseen sample is checked (a branch that holds), and worked out where it was wrong.
    int a = view.nextAlong;
    if (__builtin_expect(a != static_cast<int>(tracer.position + 0.5f), 0)) {
        a = RoundedPosition(tracer.position);
    }
    if (a < kTracerBorderMargin || a + 1 >= view.alongSize - 1) {
        return kTraceExhausted;
    }
    const int c = tracer.coord + view.travelStep;
    tracer.coord = c;
    if (c <= 0 || c >= view.travelSize) {
        return kTraceExhausted;
    }
    const uint8_t* line = view.pixels + static_cast<size_t>(c) * view.travelStride;
    const auto grey = [&](int i) {
        return static_cast<int>(line[static_cast<size_t>(i) * view.alongStride]);
    };
    const int grey0 = grey(a);
    const int side0 = ThresholdSide(view, grey0);
    if (side0 == 0) {
        tracer.position = static_cast<float>(a);
        view.nextAlong = a;
        return kTraceMoved;
    }
    // The search runs the way the level moves towards the threshold.
    const int s = side0 * tracer.polarity >= 0 ? 1 : -1;
    // The first search offset whose sample lies within a pixel of the picture's side.
    const int border = s > 0 ? view.alongSize - 2 - a : a - 1;
    // A sample ends the search once it leaves the starting side: from below once u >= belowEnd,
    // from above once u < aboveStart (u = grey ^ greyFlip), both read as g ^ leaveFlip >= leaveStart.
    const int leaveFlip = side0 > 0 ? view.greyFlip : view.greyFlip ^ 255;
    const int leaveStart = side0 > 0 ? view.belowEnd : 256 - view.aboveStart;
    // The pixel at a itself was read above; the search goes on from its neighbour.
    int greyPrev = grey0;
    int iPrev = a;
    for (int k = 1; k < kTracerCrossingSearch; ++k) {
        if (k == border) {
            return kTraceExhausted;
        }
        const int i = a + k * s;
        const int greyHere = grey(i);
        if ((greyHere ^ leaveFlip) >= leaveStart) {
            if (ThresholdSide(view, greyHere) == 0) {
                tracer.position = static_cast<float>(i);
                view.nextAlong = i;
                return kTraceMoved;
            }
            const float threshold = tracer.inkThreshold;
            const float levelPrev = LevelOf(view.level, static_cast<float>(greyPrev));
            const float levelHere = LevelOf(view.level, static_cast<float>(greyHere));
            const float dPrev = threshold - levelPrev;
            const float dCur = threshold - levelHere;
            const float span = std::fabs(levelPrev - levelHere);
            // The crossing is placed from the sample nearer the threshold, chosen without a branch
            // (in noise either side is as likely).
            const bool fromPrev = std::fabs(dCur) > std::fabs(dPrev);
            const int from = fromPrev ? iPrev : i;
            const float d = fromPrev ? dPrev : dCur;
            tracer.position = static_cast<float>(from) + tracer.polarity * d / span;
            // The crossing lies at most half a sample from `from`, so the position rounds to it
            // (but where it lies exactly half a sample up, which the next step's check catches).
            view.nextAlong = from;
            return kTraceMoved;
        }
        greyPrev = greyHere;
        iPrev = i;
    }
    TurnEdgeTracer(tracer, view, c, s);
    return kTraceMoved;
}

} // namespace norvale
