// Symbol sizes: the square ECC 200 attribute table, smallest size first.
#include "decoder/base/symbol_sizes.h"

namespace norvale {

// Maximum erasures: each block of n check codewords takes n - 3 erased codewords, the three held
// back keeping a margin against miscorrection; blocks with fewer than 10 check codewords (the
// 10 x 10 and 12 x 12 sizes) take none. The symbol total is that per-block figure times the
// block count, e.g. 144 x 144: 10 blocks x (62 - 3) = 590.
// clang-format off
constexpr SymbolSize kSymbolSizeTable[kSymbolSizeCount] = {
    // side, regionSide, regionCount, blockCount, dataCodewords, eccCodewords, maxErasures
    {10, 8, 1, 1, 3, 5, 0},
    {12, 10, 1, 1, 5, 7, 0},
    {14, 12, 1, 1, 8, 10, 7},
    {16, 14, 1, 1, 12, 12, 9},
    {18, 16, 1, 1, 18, 14, 11},
    {20, 18, 1, 1, 22, 18, 15},
    {22, 20, 1, 1, 30, 20, 17},
    {24, 22, 1, 1, 36, 24, 21},
    {26, 24, 1, 1, 44, 28, 25},
    {32, 14, 4, 1, 62, 36, 33},
    {36, 16, 4, 1, 86, 42, 39},
    {40, 18, 4, 1, 114, 48, 45},
    {44, 20, 4, 1, 144, 56, 53},
    {48, 22, 4, 1, 174, 68, 65},
    {52, 24, 4, 2, 204, 84, 78},
    {64, 14, 16, 2, 280, 112, 106},
    {72, 16, 16, 4, 368, 144, 132},
    {80, 18, 16, 4, 456, 192, 180},
    {88, 20, 16, 4, 576, 224, 212},
    {96, 22, 16, 4, 696, 272, 260},
    {104, 24, 16, 6, 816, 336, 318},
    {120, 18, 36, 6, 1050, 408, 390},
    {132, 20, 36, 8, 1304, 496, 472},
    {144, 22, 36, 10, 1558, 620, 590},
};
// clang-format on

namespace {

// A missing row would be zero-filled and break the strictly increasing sides, so this counts
// the rows as well as ordering them.
constexpr bool AllRowsPresentInOrder()
{
    int previous = 0;
    for (const SymbolSize& row : kSymbolSizeTable) {
        if (row.side <= previous || row.dataCodewords == 0 || row.eccCodewords % row.blockCount != 0) {
            return false;
        }
        previous = row.side;
    }
    return previous == 144;
}

} // namespace

static_assert(kSymbolSizeCount == 24 && AllRowsPresentInOrder(), "ECC 200 has 24 square symbol sizes");

int FindSymbolSizeIndex(int side)
{
    for (int i = 0; i < kSymbolSizeCount; ++i) {
        if (kSymbolSizeTable[i].side == side) {
            return i;
        }
    }
    return -1;
}

} // namespace norvale
