// Border outline walks: trace the two clocked borders of a candidate and fit the frame's
// perspective tapers from them.
#pragma once

namespace norvale {

struct DecoderContext;
struct SymbolRecord;

// Contrast figures of the last top-border walk that found a stretch, on this thread.
struct WalkStats
{
    float minimum;
    float maximum;
    float mid;
};

int WalkTopBorder(SymbolRecord& record, DecoderContext& context);
int WalkRightBorder(SymbolRecord& record, DecoderContext& context);
// One copy per thread, all 0 until the thread's first successful top walk.
WalkStats LastTopWalkStats();

}  // namespace norvale
