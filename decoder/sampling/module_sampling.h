// Size selection and module sampling: decides the symbol size, samples every module centre into
// the sample grids, checks finder and clock, and fills the mapping matrix.
#pragma once

#include <cstdint>

#include "decoder/base/sample_grid.h"

namespace norvale {

struct GrayImage;
struct SymbolRecord;

// Mapping-matrix flag bits, one byte per data module.
enum ModuleFlag : uint8_t {
    kModuleLight = 1,
    kModuleSampled = 2,
    kModulePlaced = 4,
    kModuleErased = 8,
};

enum SizeAxis : int {
    kAxisHorizontal = 0, // frame x
    kAxisVertical = 1,   // frame y
};

// Without grid lines the walk estimate is trusted only this far: larger symbols are normally
// sampled along their module grid lines.
constexpr int kLargestFrameEstimate = 38;

// Trials go this many modules either side of an estimate.
constexpr int kLargestTrialOffset = 6;

// What EstimateSymbolSize answers when the walk stretch has no length along the axis.
constexpr int kNoSizeEstimate = 0;

// Binarisation passes: the symbol's outer ring (finder and clocks), then everything inside it.
enum BinarizePass : int {
    kPassBorderRing = 1,
    kPassInterior = 2,
};

// Even module count: the module count hint when there is one, else 200 frame units (the frame
// is 100 wide, a walk stretch spans two modules) over the stretch measured along the axis.
// kNoSizeEstimate for a stretch of no length; far-off values are capped at +-(1 << 20).
int EstimateSymbolSize(const SymbolRecord& record, int axis);

// Tries sizes around the estimate (offsets 0, -2, +2, -4, +4, -6, +6) until the finder and clock
// check passes, then samples the interior, allocates the record's mapping matrix, codeword,
// erasure and data buffers (zeroed; any it held before are released) and fills the matrix.
// 1 when a size was accepted and everything is ready; 0 otherwise, with no buffer allocated.
// A nonzero moduleCountHint selects line mode: samples at the crossings of the record's module
// row and column lines, and no clock check.
int SelectSizeAndSample(SymbolRecord& record, const GrayImage& image, SampleGrids& grids);
// The same with a chosen limit for estimates taken from the frame (SelectSizeAndSample allows
// kLargestFrameEstimate).
int SelectSizeAndSampleUpTo(SymbolRecord& record, const GrayImage& image, SampleGrids& grids,
                            int largestFrameEstimate);

// Only the trials around the horizontal estimate, sampled from the frame, and only when that
// estimate is at most `largestEstimate`: a quick look at a candidate whose walks call it small.
// Returns 1 and leaves the record as SelectSizeAndSample does, or 0 with nothing allocated.
int SelectSmallSizeAndSample(SymbolRecord& record, const GrayImage& image, SampleGrids& grids,
                             int largestEstimate);

// Fill grids.raw for the trial side S = matrixRows + 2 (row stride S + 4): the
// ring reads module rows and columns -2..2 and S-3..S+1, the interior the rest. Each cell holds
// the bicubic grey at the module centre (rounded), or -1 when the centre lies off the picture.
void SampleBorderRing(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids);
void SampleInterior(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids);

// Local threshold over the 5 x 5 samples around each module of the pass: the midpoint of the
// means below and above their average. Writes 0 (dark), 255 (light) or -1 (no sample) into
// `level` for grid rows and columns 2..side-3. Grids larger than 150 x 150 are left alone.
void BinarizeGrid(const SampleGrid& raw, SampleGrid& level, int height, int width, int pass);

// Sets inkSense from the finder column (+1 dark on light, -1 light on dark), then counts finder
// and (outside line mode) clock modules of the wrong shade in grids.level. 1 with at most 4.
int CheckFinderAndClock(SymbolRecord& record, const SampleGrids& grids);

// Copies the data modules of grids.level, alignment patterns dropped, into moduleMatrix: row 0
// next to the top clock row, column 0 next to the finder column. Needs sizeIndex, matrixRows,
// matrixCols, inkSense and an allocated moduleMatrix.
void FillMappingMatrix(SymbolRecord& record, const SampleGrids& grids);

} // namespace norvale
