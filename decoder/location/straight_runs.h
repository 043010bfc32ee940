// Straight runs: runs an edge tracer along its boundary and records the first two straight
// stretches it passes as fitted lines (for a finder L: its two legs, or one leg from each side).
#pragma once

#include "decoder/location/edge_tracer.h"

namespace norvale {

// Traces until the border, a stalled contour, more than two turns or a third straight direction,
// and fills the tracer's firstLine and secondLine as far as it can. The caller reads their
// `valid` flags. Run lengths are weighed by the picture's `scale`.
void TraceEdgeLines(EdgeTracer& tracer, const GrayImage& image);
// The same through a view already made for the tracer (MakeTracerView or AimedTracerView).
void TraceEdgeLines(EdgeTracer& tracer, TracerView view);

} // namespace norvale
