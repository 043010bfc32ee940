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

// The far border is pre-tilted by a quarter either way: (100, 133.33333) inverts (100, 75).
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

float& Coordinate(PointF& p, int axis)
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

// Search units to frame units: a shrink along the walking axis, then the taper that tilts the far
// border by a third upwards, so the nominal square becomes (0,0), (125,0), (125,133.33), (0,100).
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

int WalkBorder(SymbolRecord& record, const GrayImage& image, int side, WalkStats* stats)
{
    const ScanContrast& contrast = record.contrast;
    const int walkAxis = side == kWalkTop ? 0 : 1;
    const int climbAxis = 1 - walkAxis;

    Transform2D searchToFrame;
    Transform2D searchToImage;
    BuildSearchToFrame(searchToFrame, side);
    TransformMultiply(searchToImage, searchToFrame, record.frameToImage);

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
    if (!(step >= kMinStep)) {
        return 0;
    }
    const bool legOutsideTolerated = std::fabs(d1x) > kDegenerateLeg || std::fabs(d1y) > kDegenerateLeg;
    const bool mayRelocate = side == kWalkTop ? yLeg + kRelocateMargin < xLeg : xLeg + kRelocateMargin < yLeg;

    PointF u{};
    Coordinate(u, climbAxis) = kFrameSide;
    PointF t{};

    if (side == kWalkTop) {
        // Ink sense: the first sample at least one pixel along the border from its start.
        PointF origin{};
        TransformApply(origin, u, searchToImage);
        PointF probe = u;
        while (probe.x < kFrameSide) {
            probe.x += step;
            TransformApply(t, probe, searchToImage);
            if (std::fabs(double{t.x} - origin.x) >= 1.0 || std::fabs(double{t.y} - origin.y) >= 1.0) {
                break;
            }
        }
        float sample = 0.0f;
        SampleBicubic(sample, image, t.x, t.y);
        record.inkSense = ContrastLevel(contrast, sample) > contrast.inkThreshold ? 1 : -1;
    }
    const int inkSense = record.inkSense;

    PointF previous = u;   // H
    PointF lastClimb = u;  // E: where the last climb-after-climb happened
    PointF firstBreak = u; // F
    const PointF unsetBreak{kFrameSide, kFrameSide};
    PointF lastBreak = unsetBreak; // K
    PointF stretchStart{};
    PointF stretchEnd{};
    float best = 0.0f;
    bool relocated = false;
    float minimum = 256.0f;
    float maximum = -256.0f;
    float mid = 0.0f;

    while (Coordinate(u, climbAxis) < kClimbLimit) {
        TransformApply(t, u, searchToImage);
        // A start outside the picture slides diagonally in while the walked leg is clearly longer.
        while (!InsideImage(t, image) && Coordinate(u, walkAxis) < kFrameSide && mayRelocate) {
            Coordinate(u, walkAxis) += step;
            Coordinate(u, climbAxis) -= step;
            TransformApply(t, u, searchToImage);
            relocated = true;
        }
        if (Coordinate(u, walkAxis) >= kFrameSide) {
            break;
        }
        float c = 0.0f;
        if (InsideImage(t, image)) {
            float sample = 0.0f;
            SampleBicubic(sample, image, t.x, t.y);
            c = ContrastLevel(contrast, sample);
        } else if (legOutsideTolerated) {
            c = inkSense == 1 ? contrast.inkThreshold - 1.0f : contrast.inkThreshold + 1.0f;
        } else {
            break;
        }
        if (side == kWalkTop) {
            if (c > maximum) {
                maximum = c;
                mid = (c + minimum) * 0.5f;
            } else if (c < minimum) {
                minimum = c;
                mid = (c + maximum) * 0.5f;
            }
        }
        if (IsInk(c, contrast.inkThreshold, inkSense, side)) {
            if (std::fabs(Coordinate(u, walkAxis) - Coordinate(previous, walkAxis)) < kEpsilon) {
                const float gap = Coordinate(u, walkAxis) - Coordinate(lastClimb, walkAxis);
                if (gap > best) {
                    best = gap;
                    stretchStart = lastClimb;
                    stretchEnd = u;
                }
                lastClimb = u;
            }
            previous = u;
            Coordinate(u, climbAxis) += step;
        } else {
            if (std::fabs(Coordinate(u, climbAxis) - Coordinate(previous, climbAxis)) > kEpsilon) {
                // The step before climbed: u is a breakpoint of the staircase.
                if (Coordinate(u, walkAxis) - Coordinate(firstBreak, walkAxis) >= 1.0f && !relocated) {
                    lastBreak = u;
                } else {
                    firstBreak = u;
                    if (std::fabs(lastBreak.x - unsetBreak.x) < kEpsilon &&
                        std::fabs(lastBreak.y - unsetBreak.y) < kEpsilon) {
                        lastBreak = u;
                    }
                    relocated = false;
                }
            }
            previous = u;
            Coordinate(u, walkAxis) += step;
        }
        if (Coordinate(u, walkAxis) >= kFrameSide) {
            break;
        }
    }

    if (best < kEpsilon) {
        return 0;
    }
    if (side == kWalkTop) {
        if (stats != nullptr) {
            *stats = WalkStats{minimum, maximum, mid};
        }
    }
    PointF f{};
    PointF k{};
    TransformApply(f, firstBreak, searchToFrame);
    TransformApply(k, lastBreak, searchToFrame);
    PointF& start = side == kWalkTop ? record.topWalkStart : record.rightWalkStart;
    PointF& end = side == kWalkTop ? record.topWalkEnd : record.rightWalkEnd;
    TransformApply(start, stretchStart, searchToImage);
    TransformApply(end, stretchEnd, searchToImage);

    // The border line through F and K in frame units, read at the near and far side.
    const double run = double{Coordinate(k, walkAxis)} - Coordinate(f, walkAxis);
    if (side == kWalkTop ? std::fabs(run) < kEpsilon : std::fabs(run) <= kEpsilon) {
        return 0;
    }
    const double slope = (double{Coordinate(k, climbAxis)} - Coordinate(f, climbAxis)) / run;
    const double nearSide = Coordinate(f, climbAxis) - slope * Coordinate(f, walkAxis);
    if (!(nearSide > kEpsilon)) {
        return 0;
    }
    const double farSide = Coordinate(f, climbAxis) + slope * (kFrameSide - Coordinate(f, walkAxis));
    if (side == kWalkTop) {
        record.frame.heightAtX0 = static_cast<float>(nearSide);
        record.frame.heightAtX100 = static_cast<float>(farSide);
    } else {
        record.frame.widthAtY0 = static_cast<float>(nearSide);
        record.frame.widthAtY100 = static_cast<float>(farSide);
    }
    BuildFrameTransforms(record);
    return 1;
}

} // namespace

int WalkTopBorder(SymbolRecord& record, const GrayImage& image, WalkStats* stats)
{
    return WalkBorder(record, image, kWalkTop, stats);
}

int WalkRightBorder(SymbolRecord& record, const GrayImage& image)
{
    return WalkBorder(record, image, kWalkRight, nullptr);
}

} // namespace norvale
