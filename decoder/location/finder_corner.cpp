// Finder corner: picks the two legs among the tracers' runs, intersects them, checks the L's
// proportions and fixes the frame parameters that map the legs onto the frame axes.
#include "decoder/location/finder_corner.h"

#include <cmath>

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

} // namespace

int BuildCornerCandidate(SymbolRecord& record, const EdgeTracer& tracerA, const EdgeTracer& tracerB)
{
    if (CountValid(tracerA, tracerB) < 2) {
        return 0;
    }
    FittedLine lx{};
    FittedLine ly{};
    if (!ChooseLegs(tracerA, tracerB, lx, ly)) {
        return 0;
    }
    PointF k{};
    if (lx.valid == 0 || ly.valid == 0 || !(Extent(lx) >= kMinLegRun) || !(Extent(ly) >= kMinLegRun) ||
        IntersectLines(k, lx, ly) != 1) {
        return 0;
    }

    // The leg end is the end of the run that lies away from the corner.
    PointF e1 = FarEnd(lx);
    PointF e2 = FarEnd(ly);
    double len1 = Distance(e1, k);
    double len2 = Distance(e2, k);
    if (len2 + 1.0 < ly.tEnd) {
        PointOnLine(e2, ly, ly.tStart);
        len2 = Distance(e2, k);
    }
    if (len1 + 1.0 < lx.tEnd) {
        PointOnLine(e1, lx, lx.tStart);
        len1 = Distance(e1, k);
    }
    if (!(len1 >= kMinLegLength) || !(len2 >= kMinLegLength) ||
        std::fmax(len1, len2) > kMaxLegRatio * std::fmin(len1, len2)) {
        return 0;
    }
    const PointF u1{static_cast<float>((double{e1.x} - k.x) / len1),
                    static_cast<float>((double{e1.y} - k.y) / len1)};
    const PointF u2{static_cast<float>((double{e2.x} - k.x) / len2),
                    static_cast<float>((double{e2.y} - k.y) / len2)};
    if (std::fabs(double{u1.x} * u2.x + double{u1.y} * u2.y) > kMaxLegCosine) {
        return 0;
    }
    // The x leg must turn counter-clockwise into the y leg (y grows upward on the picture).
    if (Cross(u1, u2) < 0.0) {
        const PointF e = e1;
        e1 = e2;
        e2 = e;
        const double len = len1;
        len1 = len2;
        len2 = len;
    }

    // Frame parameters that take k to (0, 0), e1 to (100, 0) and e2 to (0, 100): a shear pair
    // when the y leg rises, else a rotation.
    FrameParams& f = record.frame;
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
        f.rotSin = static_cast<float>(-(double{e1.y} - k.y) / len1);
        f.rotCos = static_cast<float>((double{e1.x} - k.x) / len1);
        f.scaleX = static_cast<float>(kFrameSide / len1);
        f.scaleY = static_cast<float>(kFrameSide / len2);
    }
    f.tx = -k.x;
    f.ty = -k.y;
    if (!(e1.x >= kTiny) || !(e2.y >= kTiny)) {
        return 0;
    }
    record.corner = k;
    record.yLegEnd = e2;
    record.xLegEnd = e1;
    record.yLegLength = static_cast<float>(len2);
    record.xLegLength = static_cast<float>(len1);
    BuildFrameTransforms(record);
    return 1;
}

} // namespace norvale
