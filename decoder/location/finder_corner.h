// Finder corner: turns the straight runs of the two tracers of one crossing into a finder L
// candidate (corner, leg ends and lengths) and the first frame parameters of its symbol record.
#pragma once

namespace norvale {

struct EdgeTracer;
struct SymbolRecord;

// Shortest run (pixels) accepted as a leg before the intersection, and shortest leg after it.
constexpr float kMinLegRun = 15.0f;
constexpr float kMinLegLength = 10.0f;

// `record` must come fresh from InitSymbolRecord. tracerA is the tracer started with
// RotateDirection(scan code, kTurnBackward), tracerB the one with kTurnForward; A wins ties.
// Returns 1 when a candidate was stored: corner, yLegEnd, xLegEnd, both leg lengths, the frame
// parameters and both frame matrices, oriented so that the x leg turns counter-clockwise into the
// y leg. Returns 0 for short, unequal (more than 2:1) or far from perpendicular (beyond 60..120
// degrees) legs; the frame parameters may then be changed and the record must be initialised
// again before reuse.
int BuildCornerCandidate(SymbolRecord& record, const EdgeTracer& tracerA, const EdgeTracer& tracerB);

// The same without the frame matrices, on a record from ResetSymbolRecord or InitSymbolRecord, for a
// collector whose corners are mostly never evaluated: BuildFrameTransforms completes the record
// when it is.
int MeasureCornerCandidate(SymbolRecord& record, const EdgeTracer& tracerA, const EdgeTracer& tracerB);

} // namespace norvale
