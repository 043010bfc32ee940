#include "decoder/base/symbol_sizes.h"

#include <gtest/gtest.h>

#include <string>

namespace norvale {
namespace {

struct TellingRow
{
    const char* name;
    SymbolSize row;
};

constexpr TellingRow kTellingRows[] = {
    {"Side10", {10, 8, 1, 1, 3, 5, 0}},
    {"Side14", {14, 12, 1, 1, 8, 10, 7}},
    {"Side26", {26, 24, 1, 1, 44, 28, 25}},
    {"Side32", {32, 14, 4, 1, 62, 36, 33}},
    {"Side52", {52, 24, 4, 2, 204, 84, 78}},
    {"Side64", {64, 14, 16, 2, 280, 112, 106}},
    {"Side144", {144, 22, 36, 10, 1558, 620, 590}},
};

class SymbolSizesTest : public ::testing::TestWithParam<TellingRow>
{
};

TEST_P(SymbolSizesTest, RowMatchesTheStandard)
{
    const SymbolSize& expected = GetParam().row;
    const int index = FindSymbolSizeIndex(expected.side);
    ASSERT_GE(index, 0);
    const SymbolSize& row = kSymbolSizeTable[index];
    EXPECT_EQ(row.regionSide, expected.regionSide);
    EXPECT_EQ(row.regionCount, expected.regionCount);
    EXPECT_EQ(row.blockCount, expected.blockCount);
    EXPECT_EQ(row.dataCodewords, expected.dataCodewords);
    EXPECT_EQ(row.eccCodewords, expected.eccCodewords);
    EXPECT_EQ(row.maxErasures, expected.maxErasures);
}

INSTANTIATE_TEST_SUITE_P(Rows, SymbolSizesTest, ::testing::ValuesIn(kTellingRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SymbolSizesTableTest, FindsOnlyTheSquareSizes)
{
    EXPECT_EQ(FindSymbolSizeIndex(10), 0);
    EXPECT_EQ(FindSymbolSizeIndex(144), kSymbolSizeCount - 1);
    for (int side : {0, 8, 11, 28, 30, 56, 112, 146, -10}) {
        EXPECT_EQ(FindSymbolSizeIndex(side), -1) << side;
    }
}

// Every row is consistent: the regions tile the symbol, the codewords fill the mapping matrix
// (eight modules each, at most four left over), the blocks share the check codewords evenly,
// and the erasures follow one rule: n - 3 per block of n >= 10 check codewords, else none.
TEST(SymbolSizesTableTest, RowsAreConsistent)
{
    for (const SymbolSize& row : kSymbolSizeTable) {
        int perSide = 1;
        while (perSide * perSide < row.regionCount) {
            ++perSide;
        }
        ASSERT_EQ(perSide * perSide, row.regionCount) << row.side;
        EXPECT_EQ(perSide * (row.regionSide + 2), row.side) << row.side;
        const int matrixSide = perSide * row.regionSide;
        EXPECT_EQ(matrixSide * matrixSide / 8, row.dataCodewords + row.eccCodewords) << row.side;
        ASSERT_EQ(row.eccCodewords % row.blockCount, 0) << row.side;
        const int n = row.eccCodewords / row.blockCount;
        EXPECT_EQ(row.maxErasures, n >= 10 ? row.blockCount * (n - 3) : 0) << row.side;
    }
}

} // namespace
} // namespace norvale
