// Finder corner: picks the two legs among the tracers' runs, intersects them, checks the L's
// proportions and fixes the frame parameters that map the legs onto the frame axes.
#include "decoder/location/finder_corner.h"

#include <cmath>
#include <utility>

#include "decoder/base/symbol_frame.h"
#include "decoder/base/symbol_record.h"
#include "decoder/location/edge_tracer.h"

namespace norvale {

namespace {

// Two first runs whose directions have a dot product below this ran away from each other along
// one straight boundary.
constexpr double kOppositeRuns = -0.99;
constexpr double kMaxLegRatio = 2.0;
constexpr double kMaxLegCosine = 0.5; // legs between 60 and 120 degrees apart
constexpr double kTiny = 1e-6;

float Extent(const FittedLine& line)
{
    return line.tEnd - line.tStart;
}

PointF FarEnd(const FittedLine& line)
{
    PointF p{};
    PointOnLine(p, line, line.tEnd);
    return p;
}

double Distance(PointF a, PointF b)
{
    return std::hypot(double{a.x} - b.x, double{a.y} - b.y);
}

double Cross(PointF u, PointF w)
{
    return double{u.x} * w.y - double{u.y} * w.x;
}

// Line from p through q, parameterised from p.
FittedLine LineThrough(PointF p, PointF q)
{
    FittedLine line{};
    line.valid = 1;
    line.origin = p;
    line.direction = PointF{q.x - p.x, q.y - p.y};
    NormalizeVector(line.direction);
    line.tEnd = LineProjection(line, q);
    return line;
}

// The two tracers ran away from each other along one boundary: either the joined run is one leg
// and B's second run the other, or A's second run is the y leg and the x leg is the joined run
// that stands most nearly perpendicular to it.
void ChooseOppositeLegs(const EdgeTracer& a, const EdgeTracer& b, FittedLine& lx, FittedLine& ly)
{
    const float a2 = a.secondLine.valid != 0 ? Extent(a.secondLine) : 0.0f;
    const float b2 = b.secondLine.valid != 0 ? Extent(b.secondLine) : 0.0f;
    const PointF farA = FarEnd(a.firstLine);
    const PointF farB = FarEnd(b.firstLine);
    if (a2 <= b2) {
        lx = a.firstLine;
        lx.tStart = LineProjection(a.firstLine, farB);
        ly = b.secondLine;
        return;
    }
    ly = a.secondLine;
    FittedLine options[3];
    options[0] = LineThrough(farA, farB);
    options[1] = b.firstLine;
    options[1].tStart = LineProjection(b.firstLine, farA);
    options[2] = LineThrough(a.secondLine.origin, farB);
    lx = options[0];
    double best = std::fabs(Cross(lx.direction, ly.direction));
    for (int i = 1; i < 3; ++i) {
        const double score = std::fabs(Cross(options[i].direction, ly.direction));
        if (score > best) {
            best = score;
            lx = options[i];
        }
    }
}

// Picks the two legs; false when the tracers offer no first run at all.
bool ChooseLegs(const EdgeTracer& a, const EdgeTracer& b, FittedLine& lx, FittedLine& ly)
{
    const bool a1 = a.firstLine.valid != 0;
    const bool b1 = b.firstLine.valid != 0;
    if (a1 != b1) {
        const EdgeTracer& t = a1 ? a : b;
        lx = t.firstLine;
        ly = t.secondLine;
        return true;
    }
    if (!a1) {
        return false;
    }
    const double dot = double{a.firstLine.direction.x} * b.firstLine.direction.x +
                       double{a.firstLine.direction.y} * b.firstLine.direction.y;
    if (dot >= kOppositeRuns) {
        const bool bShorter = Extent(b.firstLine) < Extent(a.firstLine);
        lx = bShorter ? b.firstLine : a.firstLine;
        ly = bShorter ? a.firstLine : b.firstLine;
        return true;
    }
    ChooseOppositeLegs(a, b, lx, ly);
    return true;
}

int CountValid(const EdgeTracer& a, const EdgeTracer& b)
{
    return (a.firstLine.valid != 0) + (a.secondLine.valid != 0) + (b.firstLine.valid != 0) +
           (b.secondLine.valid != 0);
}

// The finder L as the legs give it: the vertex, the far ends of the x and y legs and their lengths.
struct FinderLegs
{
    PointF corner;
    PointF xEnd;
    PointF yEnd;
    double xLength;
    double yLength;
};

// Picks both legs and intersects them at the finder vertex; false for a missing or short leg or
// parallel legs.
bool FindLegsAndVertex(const EdgeTracer& a, const EdgeTracer& b, FittedLine& lx, FittedLine& ly,
                       PointF& corner)
{
    if (CountValid(a, b) < 2 || !ChooseLegs(a, b, lx, ly)) {
        return false;
    }
    return lx.valid != 0 && ly.valid != 0 && Extent(lx) >= kMinLegRun && Extent(ly) >= kMinLegRun &&
           IntersectLines(corner, lx, ly) == 1;
}

// Each leg ends at the end of its run that lies away from the vertex: the run's far end, or its
// start when the far end lies nearer the vertex than the run is long.
FinderLegs MeasureLegs(const FittedLine& lx, const FittedLine& ly, PointF corner)
{
    FinderLegs legs{corner, FarEnd(lx), FarEnd(ly), 0.0, 0.0};
    legs.xLength = Distance(legs.xEnd, corner);
    legs.yLength = Distance(legs.yEnd, corner);
    if (legs.yLength + 1.0 < ly.tEnd) {
        PointOnLine(legs.yEnd, ly, ly.tStart);
        legs.yLength = Distance(legs.yEnd, corner);
    }
    if (legs.xLength + 1.0 < lx.tEnd) {
        PointOnLine(legs.xEnd, lx, lx.tStart);
        legs.xLength = Distance(legs.xEnd, corner);
    }
    return legs;
}

bool HasFinderLengths(const FinderLegs& legs)
{
    return legs.xLength >= kMinLegLength && legs.yLength >= kMinLegLength &&
           std::fmax(legs.xLength, legs.yLength) <= kMaxLegRatio * std::fmin(legs.xLength, legs.yLength);
}

PointF UnitTowards(PointF from, PointF to, double length)
{
    return PointF{static_cast<float>((double{to.x} - from.x) / length),
                  static_cast<float>((double{to.y} - from.y) / length)};
}

// False for legs beyond 60..120 degrees apart. Otherwise swaps them where needed so that the x
// leg turns counter-clockwise into the y leg (y grows upward on the picture).
bool OrientLegs(FinderLegs& legs)
{
    const PointF u1 = UnitTowards(legs.corner, legs.xEnd, legs.xLength);
    const PointF u2 = UnitTowards(legs.corner, legs.yEnd, legs.yLength);
    if (std::fabs(double{u1.x} * u2.x + double{u1.y} * u2.y) > kMaxLegCosine) {
        return false;
    }
    if (Cross(u1, u2) < 0.0) {
        std::swap(legs.xEnd, legs.yEnd);
        std::swap(legs.xLength, legs.yLength);
    }
    return true;
}

// Frame parameters that take the vertex to (0, 0), the x leg's end to (100, 0) and the y leg's end
// to (0, 100): a shear pair when the y leg rises, else a rotation.
void SetFrameFromLegs(FrameParams& f, const FinderLegs& legs)
{
    const PointF k = legs.corner;
    const PointF e1 = legs.xEnd;
    const PointF e2 = legs.yEnd;
    const double dy = double{e2.y} - k.y;
    if (std::fabs(dy) >= kTiny) {
        const double shearX = (double{k.x} - e2.x) / dy;
        const double t = (double{e1.x} - k.x) + (double{e1.y} - k.y) * shearX;
        f.shearX = static_cast<float>(shearX);
        f.shearY = static_cast<float>((double{k.y} - e1.y) / t);
        f.scaleX = static_cast<float>(kFrameSide / t);
        f.scaleY = static_cast<float>(kFrameSide / dy);
    } else {
        f.hasRotation = 1;
        f.rotSin = static_cast<float>(-(double{e1.y} - k.y) / legs.xLength);
        f.rotCos = static_cast<float>((double{e1.x} - k.x) / legs.xLength);
        f.scaleX = static_cast<float>(kFrameSide / legs.xLength);
        f.scaleY = static_cast<float>(kFrameSide / legs.yLength);
    }
    f.tx = -k.x;
    f.ty = -k.y;
}

} // namespace

int MeasureCornerCandidate(SymbolRecord& record, const EdgeTracer& tracerA, const EdgeTracer& tracerB)
{
    FittedLine lx{};
    FittedLine ly{};
    PointF corner{};
    if (!FindLegsAndVertex(tracerA, tracerB, lx, ly, corner)) {
        return 0;
    }
    FinderLegs legs = MeasureLegs(lx, ly, corner);
    if (!HasFinderLengths(legs) || !OrientLegs(legs)) {
        return 0;
    }
    SetFrameFromLegs(record.frame, legs);
    if (!(legs.xEnd.x >= kTiny) || !(legs.yEnd.y >= kTiny)) {
        return 0;
    }
    record.corner = legs.corner;
    record.yLegEnd = legs.yEnd;
    record.xLegEnd = legs.xEnd;
    record.yLegLength = static_cast<float>(legs.yLength);
    record.xLegLength = static_cast<float>(legs.xLength);
    return 1;
}

int BuildCornerCandidate(SymbolRecord& record, const EdgeTracer& tracerA, const EdgeTracer& tracerB)
{
    if (MeasureCornerCandidate(record, tracerA, tracerB) == 0) {
        return 0;
    }
    BuildFrameTransforms(record);
    return 1;
}

} // namespace norvale
