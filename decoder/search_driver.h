// Search driver: lays the scan grid, collects finder candidates, ranks them and runs each chosen
// one through frame fitting, sampling, correction and decoding, in two passes.
#pragma once

#include <cstdint>

#include "decoder/base/line_geometry.h"
#include "decoder/grid/border_walk.h"
#include "decoder/location/line_crossings.h"

namespace norvale {

struct DecoderContext;
struct GrayImage;
struct SymbolRecord;
enum class TracedSearch : int;

// Scan lines across and down a whole picture.
constexpr int kScanDivisions = 20;

// The scan grid of a pass: columns every xStep, then rows every yStep, each line in two
// half-spans. A zero step (a picture narrower or lower than the divisions) means no lines that
// way. Half-spans are numbered in scan order so that a scan can stop and resume.
struct ScanGridLayout
{
    int32_t width;
    int32_t height;
    int32_t xStep;
    int32_t yStep;
    int32_t columnCount;
    int32_t rowCount;
};

// The grid that divides the picture's width and height into the given numbers of steps.
ScanGridLayout LayOutScanGrid(const GrayImage& image, int xDivisions, int yDivisions);
int32_t HalfSpanCount(const ScanGridLayout& grid);
// The half-span of the given scan-order number.
LineSpan HalfSpanAt(const ScanGridLayout& grid, int32_t index);

// What a step of a search left in the context's corners and top-border walk figures, which only a
// failed call's result and the retry step read: a step that runs earlier than it used to keeps
// them here, to be put in place where it used to run.
struct LeftBehind
{
    bool published; // the step published the corners below
    PointF corners[4];
    bool walked; // it ended with the top-border walk figures below
    WalkStats topWalkStats;
};

// A search of another copy of the picture that the picture's own search runs between its two
// passes, once the first pass has decoded nothing: a copy that only such a search can read then
// costs no second pass. The search around it keeps its state; when the interim search decodes
// nothing, what it would have left in the context after the whole search is kept here, for the
// caller to put in place at the point where it used to run (ApplyInterimFailure).
struct InterimSearch
{
    // The symbols decoded, 0 when none, or kNoCopyToSearch when there was no copy worth searching.
    int32_t (*run)(DecoderContext& context);
    bool ran;      // run was called: the caller does not run it again
    bool searched; // it searched a copy, which leaves the table and its counts empty
    LeftBehind left;
};
constexpr int32_t kNoCopyToSearch = -1;

// Searches the context's picture; `interim`, when given, runs between the passes.
int32_t SearchSymbols(DecoderContext& context, int xDivisions, int yDivisions,
                      InterimSearch* interim = nullptr);
// Leaves the context as the interim search, had it run after the whole search and failed, would
// have left it.
void ApplyInterimFailure(DecoderContext& context, const InterimSearch& interim);
// Searches `plane` (taken over and freed) in place of the context's picture, which is left as it
// was, traced as `kind`. The search starts with empty lists; when it decodes nothing, the
// candidate lists are put back as they were before the call.
int32_t SearchPictureCopy(DecoderContext& context, uint8_t* plane, uint32_t width, uint32_t height,
                          TracedSearch kind);
int32_t EvaluateFirstPass(DecoderContext& context);
int32_t EvaluateSecondPass(DecoderContext& context);
int CompareEdgeBalance(const SymbolRecord& a, const SymbolRecord& b);

} // namespace norvale
