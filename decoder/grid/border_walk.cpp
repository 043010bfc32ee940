// Border outline walks: trace the clocked border at frame y = 100 (top) or frame x = 100 (right)
// as a staircase of climbs and advances, fit the perspective taper from its breakpoints and keep
// the longest stretch between two climbs (two module widths) for the size estimate.
#include "decoder/grid/border_walk.h"

#include <cmath>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_record.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

// Search units: a shrink along the walked axis and a taper tilt the frame so that its far border,
// read in search units, rises by a third (from 100 at the near end to 133.33 at the far one).
// A line of constant search height therefore falls by a quarter across the frame (from 100 to
// 75): the walk starts inside the symbol's far border and climbs out across it.
constexpr float kSearchTaper = 133.33333f;
constexpr float kSearchShrink = 0.8f;
constexpr float kMaxStep = 0.2f;
// Below this step a walk would take millions of samples (a leg of over a million pixels).
constexpr float kMinStep = 1e-4f;
constexpr float kClimbLimit = 300.0f;
constexpr float kEpsilon = 1e-6f;
// A y leg whose components are both below this is degenerate: leaving the image ends the walk.
constexpr float kDegenerateLeg = 0.999f;
// Diagonal relocation only when the walked-along leg is this much longer than the other.
constexpr float kRelocateMargin = 5.0f;

// Which border is walked. The top walk advances along x and climbs along y; the right walk is
// its mirror image.
enum WalkSide : int {
    kWalkTop = 0,
    kWalkRight = 1,
};

// The walked and the climbed axis (0: x, 1: y) of a side; the loop's functions take the side as a
// template argument, so that the walk's position stays in registers instead of being written and
// read back through an axis known only at run time.
constexpr int WalkAxisOf(int side)
{
    return side == kWalkTop ? 0 : 1;
}
template <int kSide> constexpr int kWalkAxis = WalkAxisOf(kSide);
constexpr int ClimbAxisOf(int side)
{
    return 1 - WalkAxisOf(side);
}
template <int kSide> constexpr int kClimbAxis = ClimbAxisOf(kSide);

float& Coordinate(PointF& p, int axis)
{
    return axis == 0 ? p.x : p.y;
}

float Coordinate(const PointF& p, int axis)
{
    return axis == 0 ? p.x : p.y;
}

bool InsideImage(const PointF& t, const GrayImage& image)
{
    return t.x >= 0.0f && t.y >= 0.0f && t.x < static_cast<float>(image.width) &&
           t.y < static_cast<float>(image.height);
}

// The top walk counts a contrast equal to the threshold as light, the right walk as ink.
bool IsInk(float c, float threshold, int inkSense, int side)
{
    if (side == kWalkTop) {
        return inkSense == 1 ? c > threshold : c <= threshold;
    }
    return inkSense == 1 ? c >= threshold : c < threshold;
}

// Search units to frame units: the shrink along the walked axis, then the taper (see above), so
// the frame square is (0,0), (125,0), (125,133.33), (0,100) in search units.
void BuildSearchToFrame(Transform2D& q, int side)
{
    Transform2D taper;
    if (side == kWalkTop) {
        TransformScale(q, kSearchShrink, 1.0f);
        TransformTaperX(taper, kFrameSide, kSearchTaper, kFrameSide);
    } else {
        TransformScale(q, 1.0f, kSearchShrink);
        TransformTaperY(taper, kFrameSide, kSearchTaper, kFrameSide);
    }
    TransformPostMultiply(q, taper);
}

// What stays fixed during one walk.
struct WalkSetup
{
    int side;
    Transform2D searchToFrame;
    Transform2D searchToImage;
    float step;               // search units per move, at most a pixel
    bool legOutsideTolerated; // positions off the picture read as paper
    bool mayRelocate;         // a start off the picture may slide in diagonally
    int inkSense;             // the record's, or for the top walk the one it sensed
};

// False when the legs give a step too small to walk with (a leg of over a million pixels).
bool PrepareWalk(const SymbolRecord& record, int side, WalkSetup& setup)
{
    setup.side = side;
    BuildSearchToFrame(setup.searchToFrame, side);
    TransformMultiply(setup.searchToImage, setup.searchToFrame, record.frameToImage);

    const double d1x = double{record.yLegEnd.x} - record.corner.x;
    const double d1y = double{record.yLegEnd.y} - record.corner.y;
    const double d2x = double{record.xLegEnd.x} - record.corner.x;
    const double d2y = double{record.xLegEnd.y} - record.corner.y;
    const double yLeg = std::sqrt(d1x * d1x + d1y * d1y);
    const double xLeg = std::sqrt(d2x * d2x + d2y * d2y);
    // Both walks step by the y leg: one step is at most a pixel.
    float step = static_cast<float>(kFrameSide / yLeg);
    if (!(step <= kMaxStep)) {
        step = std::isnan(step) ? 0.0f : kMaxStep;
    }
    setup.step = step;
    setup.legOutsideTolerated = std::fabs(d1x) > kDegenerateLeg || std::fabs(d1y) > kDegenerateLeg;
    setup.mayRelocate = side == kWalkTop ? yLeg + kRelocateMargin < xLeg : xLeg + kRelocateMargin < yLeg;
    setup.inkSense = record.inkSense;
    return step >= kMinStep;
}

// The ink sense the top walk goes by: the class of the first sample at least one pixel along the
// border from its start.
int SenseInk(const WalkSetup& setup, const SymbolRecord& record, const GrayImage& image, PointF start)
{
    PointF origin{};
    TransformApply(origin, start, setup.searchToImage);
    PointF probe = start;
    PointF t{};
    while (probe.x < kFrameSide) {
        probe.x += setup.step;
        TransformApply(t, probe, setup.searchToImage);
        if (std::fabs(double{t.x} - origin.x) >= 1.0 || std::fabs(double{t.y} - origin.y) >= 1.0) {
            break;
        }
    }
    float sample = 0.0f;
    SampleBicubic(sample, image, t.x, t.y);
    return ContrastLevel(record.contrast, sample) > record.contrast.inkThreshold ? 1 : -1;
}

// The staircase a walk leaves: climbs while on ink, advances while on paper.
struct Staircase
{
    PointF position;   // where the walk stands
    PointF previous;   // where it stood before its last move
    PointF lastRiser;  // the last position reached by two climbs in a row
    PointF firstBreak; // the first corner where an advance follows a climb
    PointF lastBreak;  // the last such corner, one search unit or more on from the first
    PointF stretchStart;
    PointF stretchEnd; // the longest advance between two risers: two module widths
    float longest;
    bool relocated; // the start slid in from off the picture since the first break
    WalkStats range;
};

const PointF kUnsetBreak{kFrameSide, kFrameSide};

// The contrast level at the walk's position; false when the walk must end there (off the picture
// with no tolerance, or past the near side after relocation).
template <int kSide>
bool LevelHere(const WalkSetup& setup, const SymbolRecord& record, const GrayImage& image, Staircase& stair,
               float& level)
{
    PointF t{};
    PointF& u = stair.position;
    TransformApply(t, u, setup.searchToImage);
    // A start outside the picture slides diagonally in while the walked leg is clearly longer.
    while (!InsideImage(t, image) && Coordinate(u, kWalkAxis<kSide>) < kFrameSide && setup.mayRelocate) {
        Coordinate(u, kWalkAxis<kSide>) += setup.step;
        Coordinate(u, kClimbAxis<kSide>) -= setup.step;
        TransformApply(t, u, setup.searchToImage);
        stair.relocated = true;
    }
    if (Coordinate(u, kWalkAxis<kSide>) >= kFrameSide) {
        return false;
    }
    const ScanContrast& contrast = record.contrast;
    if (InsideImage(t, image)) {
        float sample = 0.0f;
        SampleBicubic(sample, image, t.x, t.y);
        level = ContrastLevel(contrast, sample);
        return true;
    }
    if (setup.legOutsideTolerated) {
        level = setup.inkSense == 1 ? contrast.inkThreshold - 1.0f : contrast.inkThreshold + 1.0f;
        return true;
    }
    return false;
}

// The extremes and mid level of the levels seen, as the top walk reports them.
void TrackRange(WalkStats& range, float level)
{
    if (level > range.maximum) {
        range.maximum = level;
        range.mid = (level + range.minimum) * 0.5f;
    } else if (level < range.minimum) {
        range.minimum = level;
        range.mid = (level + range.maximum) * 0.5f;
    }
}

// On ink: climb, and measure the advance since the last riser when this is a second climb.
template <int kSide> void Climb(const WalkSetup& setup, Staircase& stair)
{
    const PointF u = stair.position;
    if (std::fabs(Coordinate(u, kWalkAxis<kSide>) - Coordinate(stair.previous, kWalkAxis<kSide>)) <
        kEpsilon) {
        const float gap = Coordinate(u, kWalkAxis<kSide>) - Coordinate(stair.lastRiser, kWalkAxis<kSide>);
        if (gap > stair.longest) {
            stair.longest = gap;
            stair.stretchStart = stair.lastRiser;
            stair.stretchEnd = u;
        }
        stair.lastRiser = u;
    }
    stair.previous = u;
    Coordinate(stair.position, kClimbAxis<kSide>) += setup.step;
}

// On paper: advance, and note a break when the move before was a climb.
template <int kSide> void Advance(const WalkSetup& setup, Staircase& stair)
{
    const PointF u = stair.position;
    if (std::fabs(Coordinate(u, kClimbAxis<kSide>) - Coordinate(stair.previous, kClimbAxis<kSide>)) >
        kEpsilon) {
        if (Coordinate(u, kWalkAxis<kSide>) - Coordinate(stair.firstBreak, kWalkAxis<kSide>) >= 1.0f &&
            !stair.relocated) {
            stair.lastBreak = u;
        } else {
            stair.firstBreak = u;
            if (std::fabs(stair.lastBreak.x - kUnsetBreak.x) < kEpsilon &&
                std::fabs(stair.lastBreak.y - kUnsetBreak.y) < kEpsilon) {
                stair.lastBreak = u;
            }
            stair.relocated = false;
        }
    }
    stair.previous = u;
    Coordinate(stair.position, kWalkAxis<kSide>) += setup.step;
}

// Walks from frame height (or width) 100 at the near side until the far side, the climb limit or
// the picture's edge.
template <int kSide>
void WalkStaircase(const WalkSetup& setup, const SymbolRecord& record, const GrayImage& image,
                   Staircase& stair)
{
    while (Coordinate(stair.position, kClimbAxis<kSide>) < kClimbLimit) {
        float level = 0.0f;
        if (!LevelHere<kSide>(setup, record, image, stair, level)) {
            break;
        }
        if constexpr (kSide == kWalkTop) {
            TrackRange(stair.range, level);
        }
        if (IsInk(level, record.contrast.inkThreshold, setup.inkSense, kSide)) {
            Climb<kSide>(setup, stair);
        } else {
            Advance<kSide>(setup, stair);
        }
        if (Coordinate(stair.position, kWalkAxis<kSide>) >= kFrameSide) {
            break;
        }
    }
}

// The border line through the first and last breaks, in frame units, read at the near and far
// side: the taper of the walked border. False when the line is degenerate.
bool FitWalkedTaper(const WalkSetup& setup, const Staircase& stair, float& nearSide, float& farSide)
{
    PointF first{};
    PointF last{};
    TransformApply(first, stair.firstBreak, setup.searchToFrame);
    TransformApply(last, stair.lastBreak, setup.searchToFrame);
    const int walk = WalkAxisOf(setup.side);
    const int climb = ClimbAxisOf(setup.side);
    const double run = double{Coordinate(last, walk)} - Coordinate(first, walk);
    if (setup.side == kWalkTop ? std::fabs(run) < kEpsilon : std::fabs(run) <= kEpsilon) {
        return false;
    }
    const double slope = (double{Coordinate(last, climb)} - Coordinate(first, climb)) / run;
    const double nearHere = Coordinate(first, climb) - slope * Coordinate(first, walk);
    if (!(nearHere > kEpsilon)) {
        return false;
    }
    nearSide = static_cast<float>(nearHere);
    farSide = static_cast<float>(Coordinate(first, climb) + slope * (kFrameSide - Coordinate(first, walk)));
    return true;
}

BorderWalk MeasureWalk(const SymbolRecord& record, const GrayImage& image, int side)
{
    BorderWalk walk{};
    walk.reached = BorderWalk::kNotWalked;
    walk.inkSense = record.inkSense;
    WalkSetup setup{};
    if (!PrepareWalk(record, side, setup)) {
        return walk;
    }
    PointF start{};
    Coordinate(start, ClimbAxisOf(side)) = kFrameSide;
    if (side == kWalkTop) {
        walk.inkSense = static_cast<int16_t>(SenseInk(setup, record, image, start));
        setup.inkSense = walk.inkSense;
    }
    walk.reached = BorderWalk::kNoStretch;
    Staircase stair{};
    stair.position = start;
    stair.previous = start;
    stair.lastRiser = start;
    stair.firstBreak = start;
    stair.lastBreak = kUnsetBreak;
    stair.range = WalkStats{256.0f, -256.0f, 0.0f};
    if (side == kWalkTop) {
        WalkStaircase<kWalkTop>(setup, record, image, stair);
    } else {
        WalkStaircase<kWalkRight>(setup, record, image, stair);
    }
    if (stair.longest < kEpsilon) {
        return walk;
    }
    walk.reached = BorderWalk::kStretch;
    walk.stats = stair.range;
    TransformApply(walk.stretchStart, stair.stretchStart, setup.searchToImage);
    TransformApply(walk.stretchEnd, stair.stretchEnd, setup.searchToImage);
    if (FitWalkedTaper(setup, stair, walk.nearSide, walk.farSide)) {
        walk.reached = BorderWalk::kTaper;
    }
    return walk;
}

int ApplyWalk(SymbolRecord& record, const BorderWalk& walk, int side, WalkStats* stats)
{
    if (walk.reached == BorderWalk::kNotWalked) {
        return 0;
    }
    if (side == kWalkTop) {
        record.inkSense = walk.inkSense;
    }
    if (walk.reached == BorderWalk::kNoStretch) {
        return 0;
    }
    if (side == kWalkTop && stats != nullptr) {
        *stats = walk.stats;
    }
    (side == kWalkTop ? record.topWalkStart : record.rightWalkStart) = walk.stretchStart;
    (side == kWalkTop ? record.topWalkEnd : record.rightWalkEnd) = walk.stretchEnd;
    if (walk.reached != BorderWalk::kTaper) {
        return 0;
    }
    if (side == kWalkTop) {
        record.frame.heightAtX0 = walk.nearSide;
        record.frame.heightAtX100 = walk.farSide;
    } else {
        record.frame.widthAtY0 = walk.nearSide;
        record.frame.widthAtY100 = walk.farSide;
    }
    BuildFrameTransforms(record);
    return 1;
}

} // namespace

BorderWalk MeasureTopBorderWalk(const SymbolRecord& record, const GrayImage& image)
{
    return MeasureWalk(record, image, kWalkTop);
}

BorderWalk MeasureRightBorderWalk(const SymbolRecord& record, const GrayImage& image)
{
    return MeasureWalk(record, image, kWalkRight);
}

int ApplyTopBorderWalk(SymbolRecord& record, const BorderWalk& walk, WalkStats* stats)
{
    return ApplyWalk(record, walk, kWalkTop, stats);
}

int ApplyRightBorderWalk(SymbolRecord& record, const BorderWalk& walk)
{
    return ApplyWalk(record, walk, kWalkRight, nullptr);
}

int WalkTopBorder(SymbolRecord& record, const GrayImage& image, WalkStats* stats)
{
    return ApplyTopBorderWalk(record, MeasureTopBorderWalk(record, image), stats);
}

int WalkRightBorder(SymbolRecord& record, const GrayImage& image)
{
    return ApplyRightBorderWalk(record, MeasureRightBorderWalk(record, image));
}

} // namespace norvale
