// Clock evidence: a cheap look for alternation along the far sides of a finder candidate, before
// any frame is fitted. A Data Matrix symbol has a clock border opposite each finder leg, and data
// next to it; a solid or empty far side (the corner of a rectangle, a label, a frame) has neither.
#pragma once

#include <cstdint>

namespace norvale {

struct GrayImage;
struct SymbolRecord;

// Lines examined parallel to each far side, one pixel apart, starting one pixel inside it: the
// leg ends may fall a few pixels short of the symbol's outer edge.
constexpr int kFarSideLines = 6;
// The smallest symbol shows 9 changes along its clock row and at least a few along every data
// row; a far side whose lines all change class fewer times than this is not a symbol's.
constexpr int32_t kMinFarSideChanges = 4;

// Most ink/non-ink changes (the record's contrast model) along any of the lines next to the two
// far sides, sampled once per pixel; no further line is read once one reaches kMinFarSideChanges.
int32_t CountFarSideChanges(const SymbolRecord& record, const GrayImage& image);

// True when one of the far sides alternates enough to be a clock border or data next to it.
bool HasClockEvidence(const SymbolRecord& record, const GrayImage& image);

} // namespace norvale
