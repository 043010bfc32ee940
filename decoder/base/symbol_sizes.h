// The 24 square ECC 200 symbol sizes and their region, block and codeword counts.
#pragma once

namespace norvale {

struct SymbolSize
{
    int side;        // modules per side, finder and clock included
    int regionSide;  // data modules along one side of a data region
    int regionCount; // 1, 4, 16 or 36
    int blockCount;  // interleaved Reed-Solomon blocks
    int dataCodewords;
    int eccCodewords; // all blocks together
    int maxErasures;
};

constexpr int kSymbolSizeCount = 24;

// Maximum erasures: each block of n check codewords takes n - 3 erased codewords, the three held
// back keeping a margin against miscorrection; blocks with fewer than 10 check codewords (the
// 10 x 10 and 12 x 12 sizes) take none. The symbol total is that per-block figure times the
// block count, e.g. 144 x 144: 10 blocks x (62 - 3) = 590.
// clang-format off
inline constexpr SymbolSize kSymbolSizeTable[kSymbolSizeCount] = {
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

// A missing row would be zero-filled and break the strictly increasing sides, so this counts
// the rows as well as ordering them.
constexpr bool SymbolSizeRowsInOrder()
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

static_assert(kSymbolSizeCount == 24 && SymbolSizeRowsInOrder(), "ECC 200 has 24 square symbol sizes");

// The facts every stage derives from the table: the smallest and largest sides, and the smallest
// side with more than one data region (the first whose region borders a scan can find).
constexpr int kSmallestSymbolSide = kSymbolSizeTable[0].side;
constexpr int kLargestSymbolSide = kSymbolSizeTable[kSymbolSizeCount - 1].side;

constexpr int SmallestMultiRegionSide()
{
    for (const SymbolSize& row : kSymbolSizeTable) {
        if (row.regionCount > 1) {
            return row.side;
        }
    }
    return 0;
}
constexpr int kSmallestMultiRegionSide = SmallestMultiRegionSide();

// Data regions along one side: 1, 2, 4 or 6.
constexpr int RegionsPerSide(const SymbolSize& size)
{
    int regions = 1;
    while (regions * regions < size.regionCount) {
        ++regions;
    }
    return regions;
}

// Row of the table for a side in modules, or -1.
int FindSymbolSizeIndex(int side);
// A side of the table.
bool IsValidSymbolSide(int side);
// The side with more than one data region nearest n; of two equally near, the larger.
int NearestMultiRegionSide(int n);
// The spacing of the sides of the region layout that the largest side not above n belongs to:
// 2 up to the first multi-region side, then 4, 8 or 12.
int SideStepAt(int n);

} // namespace norvale
