// Border outline walks: trace the two clocked borders of a candidate and fit the frame's
// perspective tapers from them.
#pragma once

#include <cstdint>

#include "decoder/base/line_geometry.h"

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

// What one walk found, all that its record takes from it. A walk reads only the record's finder
// corner and leg ends, its frame matrix, its contrast model, (the right walk) its ink sense, and
// the picture: another record that agrees in those takes the same.
struct BorderWalk
{
    enum Reached : uint8_t {
        kNotWalked, // the legs give no usable step
        kNoStretch, // walked (the top walk sensed its ink) without a stretch between two climbs
        kStretch,   // a stretch, but the line through the breaks is degenerate
        kTaper,     // the taper was fitted
    };
    Reached reached;
    int16_t inkSense; // the sense the top walk went by
    WalkStats stats;  // the top walk's contrast figures, from kStretch on
    PointF stretchStart;
    PointF stretchEnd;
    float nearSide; // at kTaper: frame height (top) or width (right) at the near and the far side
    float farSide;
};

// The walks without their effect on the record, and that effect: together they are WalkTopBorder
// and WalkRightBorder below.
BorderWalk MeasureTopBorderWalk(const SymbolRecord& record, const GrayImage& image);
BorderWalk MeasureRightBorderWalk(const SymbolRecord& record, const GrayImage& image);
int ApplyTopBorderWalk(SymbolRecord& record, const BorderWalk& walk, WalkStats* stats);
int ApplyRightBorderWalk(SymbolRecord& record, const BorderWalk& walk);

// Walk the border at frame y = 100 (top) or frame x = 100 (right) and fit the taper it shows. 1
// when a stretch was found and the frame rebuilt; 0 otherwise. A successful top walk also writes
// its contrast figures to *stats when stats is not null.
int WalkTopBorder(SymbolRecord& record, const GrayImage& image, WalkStats* stats);
int WalkRightBorder(SymbolRecord& record, const GrayImage& image);

} // namespace norvale
