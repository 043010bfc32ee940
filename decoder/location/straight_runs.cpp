// Straight runs: a ring of the last six tracer points gives the direction over five steps; a
// run lasts while that direction stays within about 10 degrees of the run's reference.
#include "decoder/location/straight_runs.h"

#include <cmath>

namespace norvale {

namespace {

constexpr int kRingSize = 6; // the newest point and the one five steps earlier
constexpr int kMaxTurns = 2;
// |cos| of the angle between directions: about 10, 37 and 26 degrees of deviation.
constexpr double kAligned = 0.984;
constexpr double kNewDirection = 0.8;
constexpr double kNewDirectionAtClose = 0.9;
// Weighed run lengths: a run must exceed these to be recorded inside the loop and at the close.
constexpr uint32_t kMinRunInside = 9;
constexpr uint32_t kMinRunAtClose = 10;
constexpr float kStallEpsilon = 1e-6f;

double Dot(PointF a, PointF b)
{
    return double{a.x} * b.x + double{a.y} * b.y;
}

PointF Difference(PointF a, PointF b)
{
    return PointF{a.x - b.x, a.y - b.y};
}

// i mod kRingSize for 0 <= i < 2 kRingSize.
int RingIndex(int i)
{
    return i >= kRingSize ? i - kRingSize : i;
}

bool IsStalled(PointF v)
{
    return std::fabs(v.x) < kStallEpsilon && std::fabs(v.y) < kStallEpsilon;
}

// |cos| of the angle between the step v (any length, squared length vv) and the unit direction
// `unit`, compared with `cosine` without a square root: |v . u| > cosine |v| squared on both sides.
bool Within(PointF v, double vv, PointF unit, double cosine)
{
    const double d = Dot(v, unit);
    return d * d > cosine * cosine * vv;
}

void RecordLine(FittedLine& line, PointF anchor, PointF q)
{
    line.valid = 1;
    line.refined = 0;
    line.origin = anchor;
    line.direction = Difference(q, anchor);
    NormalizeVector(line.direction);
    line.tStart = 0.0f;
    line.tEnd = LineProjection(line, q);
}

// Points the recorded run at a later point of the same stretch.
void ReaimLine(FittedLine& line, PointF old)
{
    PointF direction = Difference(old, line.origin);
    if (NormalizeVector(direction) == 0.0f) {
        return;
    }
    line.direction = direction;
    line.tStart = 0.0f;
    line.tEnd = LineProjection(line, old);
    line.refined = 1;
}

} // namespace

void TraceEdgeLines(EdgeTracer& tracer, const GrayImage& image)
{
    tracer.firstLine = FittedLine{};
    tracer.secondLine = FittedLine{};
    if (image.current == nullptr) {
        return;
    }
    const uint32_t scale = image.scale;
    TracerView view = MakeTracerView(tracer, image);

    PointF ring[kRingSize];
    ring[0] = TracerPoint(tracer);
    PointF anchor = ring[0];
    for (int k = 1; k < kRingSize; ++k) {
        if (StepEdgeTracer(tracer, view) != kTraceMoved) {
            return;
        }
        ring[k] = TracerPoint(tracer);
    }
    PointF v = Difference(ring[kRingSize - 1], ring[0]);
    if (IsStalled(v)) {
        return;
    }
    NormalizeVector(v);
    PointF ref = v;
    PointF prevRef = v;
    uint32_t runLen = 0;
    uint32_t prevRunLen = 0;

    int b = 0;
    if (StepEdgeTracer(tracer, view) == kTraceMoved) {
        for (;;) {
            if (tracer.turnCount > kMaxTurns) {
                break;
            }
            ring[b] = TracerPoint(tracer);
            const PointF old = ring[RingIndex(b + 1)];
            v = Difference(ring[b], old);
            if (IsStalled(v)) {
                return;
            }
            // The step stays unnormalised: directions are compared through squared cosines, and
            // only a step that becomes the new reference is divided by its length.
            const double vv = Dot(v, v);
            bool aligned = Within(v, vv, ref, kAligned);
            const bool alignedBefore = Within(v, vv, prevRef, kAligned);

            // One-step glitch inside a long run: keep the run and smooth the glitch point.
            if (!aligned && alignedBefore && prevRunLen > runLen) {
                runLen = prevRunLen;
                ref = prevRef;
                aligned = true;
                const PointF& before = ring[RingIndex(b + 4)];
                ring[RingIndex(b + 5)] = PointF{(before.x + ring[b].x) * 0.5f, (before.y + ring[b].y) * 0.5f};
            }

            if (tracer.firstLine.valid != 0 && tracer.turnCount == 0 &&
                Within(v, vv, tracer.firstLine.direction, kAligned)) {
                ReaimLine(tracer.firstLine, old);
            } else if (tracer.secondLine.valid != 0 && tracer.turnCount == 1 &&
                       Within(v, vv, tracer.secondLine.direction, kAligned)) {
                ReaimLine(tracer.secondLine, old);
            }

            if (aligned) {
                runLen += 1;
                prevRunLen = runLen;
            } else {
                if (scale * runLen <= kMinRunInside) {
                    prevRunLen = runLen;
                } else if (tracer.firstLine.valid == 0) {
                    RecordLine(tracer.firstLine, anchor, old);
                } else if (tracer.secondLine.valid == 0) {
                    if (!Within(v, vv, tracer.firstLine.direction, kNewDirection)) {
                        RecordLine(tracer.secondLine, anchor, old);
                    }
                } else if (!Within(v, vv, tracer.secondLine.direction, kNewDirection)) {
                    return; // a third direction
                }
                NormalizeVector(v);
                prevRef = ref;
                anchor = old;
                ref = v;
                runLen = 0;
            }

            b = RingIndex(b + 1);
            if (StepEdgeTracer(tracer, view) != kTraceMoved) {
                break;
            }
        }
    }

    // Closing: the run in progress ends at the oldest point of the last completed step.
    if (scale * runLen > kMinRunAtClose) {
        const PointF q = ring[b];
        if (tracer.firstLine.valid == 0) {
            RecordLine(tracer.firstLine, anchor, q);
        } else if (tracer.secondLine.valid == 0 &&
                   !Within(v, Dot(v, v), tracer.firstLine.direction, kNewDirectionAtClose)) {
            RecordLine(tracer.secondLine, anchor, q);
        }
    }
}

} // namespace norvale
