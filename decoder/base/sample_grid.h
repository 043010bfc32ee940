// Sample grids: the module samples of one trial size and their binarised levels, filled by module
// sampling and read by the size checks and the mapping matrix.
#pragma once

#include <cstdint>

#include "decoder/base/symbol_sizes.h"

namespace norvale {

// Quiet-zone rings sampled on each side of a trial; also the reach of a cell's threshold window.
constexpr int kGridMargin = 2;
// Line-mode trials go up to this many modules past the largest side.
constexpr int kLineTrialOvershoot = 2;
// Largest used part: the largest line-mode trial plus the rings on both sides (150 x 150).
constexpr int kSampleGridSide = kLargestSymbolSide + kLineTrialOvershoot + 2 * kGridMargin;

// Module samples, row-major with a stride of W = S + 4 for a trial of side S (not the full side):
// module (x, y) sits at row y + 2, column x + 2. -1 means no sample.
struct SampleGrid
{
    int16_t cells[kSampleGridSide * kSampleGridSide];
};

// The raw samples and their levels (0 dark, 255 light, -1 no sample) for one trial.
struct SampleGrids
{
    SampleGrid raw;
    SampleGrid level;
};

} // namespace norvale
