// Search driver: lays the scan grid, collects finder candidates, ranks them and runs each chosen
// one through frame fitting, sampling, correction and decoding, in two passes.
#pragma once

#include <cstdint>

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

int32_t SearchSymbols(DecoderContext& context, int xDivisions, int yDivisions);
// Searches `plane` (taken over and freed) in place of the context's picture, which is left as it
// was, traced as `kind`. The search starts with empty lists; when it decodes nothing, the
// candidate lists are put back as they were before the call.
int32_t SearchPictureCopy(DecoderContext& context, uint8_t* plane, uint32_t width, uint32_t height,
                          TracedSearch kind);
int32_t EvaluateFirstPass(DecoderContext& context);
int32_t EvaluateSecondPass(DecoderContext& context);
int CompareEdgeBalance(const SymbolRecord& a, const SymbolRecord& b);

} // namespace norvale
