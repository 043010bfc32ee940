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

// A run's unit direction, kept widened once: it is compared with every step of the run.
struct RunDirection
{
    double x;
    double y;
};

RunDirection Widened(PointF unit)
{
    return RunDirection{double{unit.x}, double{unit.y}};
}

bool Within(PointF v, double vv, RunDirection unit, double cosine)
{
    const double d = double{v.x} * unit.x + double{v.y} * unit.y;
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

// The run being followed and the one before it, kept so that a one-step glitch can rejoin the
// longer run it interrupted.
struct RunState
{
    PointF anchor;        // where the present run started
    RunDirection ref;     // the present run's unit direction
    RunDirection prevRef; // the previous run's unit direction
    uint32_t runLen;
    uint32_t prevRunLen;
};

// Steps the tracer through the ring's first points; false when it stops before the ring is full.
bool FillRing(EdgeTracer& tracer, TracerView& view, PointF (&ring)[kRingSize])
{
    ring[0] = TracerPoint(tracer);
    for (int k = 1; k < kRingSize; ++k) {
        if (StepEdgeTracer(tracer, view) != kTraceMoved) {
            return false;
        }
        ring[k] = TracerPoint(tracer);
    }
    return true;
}

// One-step glitch inside a long run: a step that leaves the present run but keeps the direction
// of the longer run before it lets that run go on, and the glitch point is smoothed over.
bool RejoinLongerRun(RunState& run, PointF (&ring)[kRingSize], int b, PointF v, double vv)
{
    if (run.prevRunLen <= run.runLen || !Within(v, vv, run.prevRef, kAligned)) {
        return false;
    }
    run.runLen = run.prevRunLen;
    run.ref = run.prevRef;
    const PointF& before = ring[RingIndex(b + 4)];
    ring[RingIndex(b + 5)] = PointF{(before.x + ring[b].x) * 0.5f, (before.y + ring[b].y) * 0.5f};
    return true;
}

// A step along a line already recorded, taken before the tracer has turned away from that line,
// carries the line on to the step's oldest point.
void ExtendRecordedLine(EdgeTracer& tracer, PointF v, double vv, PointF old)
{
    if (tracer.firstLine.valid != 0 && tracer.turnCount == 0 &&
        Within(v, vv, tracer.firstLine.direction, kAligned)) {
        ReaimLine(tracer.firstLine, old);
    } else if (tracer.secondLine.valid != 0 && tracer.turnCount == 1 &&
               Within(v, vv, tracer.secondLine.direction, kAligned)) {
        ReaimLine(tracer.secondLine, old);
    }
}

// The step leaves the present run, which ends at `old`: a long enough run becomes the first line,
// or the second where it turns far enough from the first. A new run starts at `old` along the
// step, which is normalised in place. False when a long run shows a third direction.
bool EndRun(EdgeTracer& tracer, RunState& run, PointF& v, double vv, PointF old, uint32_t scale)
{
    if (scale * run.runLen <= kMinRunInside) {
        run.prevRunLen = run.runLen;
    } else if (tracer.firstLine.valid == 0) {
        RecordLine(tracer.firstLine, run.anchor, old);
    } else if (tracer.secondLine.valid == 0) {
        if (!Within(v, vv, tracer.firstLine.direction, kNewDirection)) {
            RecordLine(tracer.secondLine, run.anchor, old);
        }
    } else if (!Within(v, vv, tracer.secondLine.direction, kNewDirection)) {
        return false;
    }
    NormalizeVector(v);
    run.prevRef = run.ref;
    run.anchor = old;
    run.ref = Widened(v);
    run.runLen = 0;
    return true;
}

// The run in progress when the trace stops ends at `end`, the oldest point of the last completed
// step; `v` is the last step taken.
void RecordClosingRun(EdgeTracer& tracer, const RunState& run, PointF end, PointF v, uint32_t scale)
{
    if (scale * run.runLen <= kMinRunAtClose) {
        return;
    }
    if (tracer.firstLine.valid == 0) {
        RecordLine(tracer.firstLine, run.anchor, end);
    } else if (tracer.secondLine.valid == 0 &&
               !Within(v, Dot(v, v), tracer.firstLine.direction, kNewDirectionAtClose)) {
        RecordLine(tracer.secondLine, run.anchor, end);
    }
}

} // namespace

void TraceEdgeLines(EdgeTracer& tracer, const GrayImage& image)
{
    if (image.current == nullptr) {
        tracer.firstLine = FittedLine{};
        tracer.secondLine = FittedLine{};
        return;
    }
    TraceEdgeLines(tracer, MakeTracerView(tracer, image));
}

void TraceEdgeLines(EdgeTracer& tracer, TracerView view)
{
    tracer.firstLine = FittedLine{};
    tracer.secondLine = FittedLine{};
    const uint32_t scale = view.image->scale;

    PointF ring[kRingSize];
    if (!FillRing(tracer, view, ring)) {
        return;
    }
    PointF v = Difference(ring[kRingSize - 1], ring[0]);
    if (IsStalled(v)) {
        return;
    }
    NormalizeVector(v);
    RunState run{ring[0], Widened(v), Widened(v), 0, 0};

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
            const bool aligned = Within(v, vv, run.ref, kAligned) || RejoinLongerRun(run, ring, b, v, vv);
            ExtendRecordedLine(tracer, v, vv, old);
            if (aligned) {
                run.runLen += 1;
                run.prevRunLen = run.runLen;
            } else if (!EndRun(tracer, run, v, vv, old, scale)) {
                return; // a third direction
            }
            b = RingIndex(b + 1);
            if (StepEdgeTracer(tracer, view) != kTraceMoved) {
                break;
            }
        }
    }
    RecordClosingRun(tracer, run, ring[b], v, scale);
}

} // namespace norvale
