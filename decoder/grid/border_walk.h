// Border outline walks: trace the two clocked borders of a candidate and fit the frame's
// perspective tapers from them.
#pragma once

namespace norvale {

struct GrayImage;
struct SymbolRecord;

// Contrast figures of a top-border walk that found a stretch: the extremes and the mid level of
// the contrast levels it sampled.
struct WalkStats
{
    float minimum;
    float maximum;
    float mid;
};

// Walk the border at frame y = 100 (top) or frame x = 100 (right) and fit the taper it shows. 1
// when a stretch was found and the frame rebuilt; 0 otherwise. A successful top walk also writes
// its contrast figures to *stats when stats is not null.
int WalkTopBorder(SymbolRecord& record, const GrayImage& image, WalkStats* stats);
int WalkRightBorder(SymbolRecord& record, const GrayImage& image);

} // namespace norvale
