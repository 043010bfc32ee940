// Sample grids: the module samples of one trial size and their binarised levels, filled by module
// sampling and read by the size checks and the mapping matrix.
#pragma once

#include <cstdint>

namespace norvale {

// Largest used part is 150 x 150: a 146-module line-mode trial plus two quiet-zone rings.
constexpr int kSampleGridSide = 150;

// Module samples, row-major with a stride of W = S + 4 for a trial of side S (not 150):
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
