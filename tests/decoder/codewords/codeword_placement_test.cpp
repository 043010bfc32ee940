#include "decoder/codewords/codeword_placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "decoder/base/symbol_sizes.h"
#include "decoder/codewords/codeword_record_support.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/codewords/reed_solomon.h"
#include "decoder/sampling/module_sampling.h"
#include "test_support.h"

namespace norvale {
namespace {

using test::CodewordRecord;

// Modules of a clean, axis-aligned picture, dark = true; (x, y) counted from the finder corner
// with y upward (the picture's bottom row is row 0 of a GrayImage).
struct ModuleGrid
{
    int side = 0;
    std::vector<bool> dark;
    bool Dark(int x, int y) const { return dark[static_cast<size_t>(y) * side + x]; }
};

bool SampleCleanSymbol(const std::string& file, int side, ModuleGrid& grid)
{
    GrayImage image{};
    if (!test::LoadTestPicture(image, test::TestDataPath("sizes/" + file))) {
        return false;
    }
    // The symbol's dark bounding box spans exactly side modules on both axes.
    int x0 = static_cast<int>(image.width), y0 = static_cast<int>(image.height), x1 = -1, y1 = -1;
    for (int y = 0; y < static_cast<int>(image.height); ++y) {
        for (int x = 0; x < static_cast<int>(image.width); ++x) {
            if (image.current[static_cast<size_t>(y) * image.width + x] < 128) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    const double moduleX = (x1 - x0 + 1) / static_cast<double>(side);
    const double moduleY = (y1 - y0 + 1) / static_cast<double>(side);
    grid.side = side;
    grid.dark.assign(static_cast<size_t>(side) * side, false);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int px = x0 + static_cast<int>((x + 0.5) * moduleX);
            const int py = y0 + static_cast<int>((y + 0.5) * moduleY);
            grid.dark[static_cast<size_t>(y) * side + x] =
                image.current[static_cast<size_t>(py) * image.width + px] < 128;
        }
    }
    test::FreeTestPicture(image);
    return x1 > x0 && y1 > y0;
}

// The mapping matrix: data rows from the one beside the top clock down to the one beside the
// finder's foot, alignment rows and columns left out.
void FillMatrix(const ModuleGrid& grid, SymbolRecord& record)
{
    const SymbolSize& size = kSymbolSizeTable[record.sizeIndex];
    const int inner = size.side - 2;
    const int period = size.regionSide + 2;
    int r = 0;
    for (int i = 0; i < inner; ++i) {
        if (i % period >= size.regionSide) {
            continue;
        }
        int c = 0;
        for (int k = 0; k < inner; ++k) {
            if (k % period >= size.regionSide) {
                continue;
            }
            const bool dark = grid.Dark(k + 1, inner - i);
            record.moduleMatrix[r * record.matrixCols + c] =
                static_cast<uint8_t>(kModuleSampled | (dark ? 0 : kModuleLight));
            ++c;
        }
        ++r;
    }
}

struct SizeCase
{
    const char* name;
    const char* stem; // <stem>.png beside <stem>.bin, the bytes the symbol holds
    int side;
};

constexpr SizeCase kSizeCases[] = {
    {"Side10", "s010-0", 10},   {"Side12", "s012-1", 12},   {"Side14", "s014-0", 14},
    {"Side16", "s016-0", 16},   {"Side18", "s018-0", 18},   {"Side20", "s020-1", 20},
    {"Side22", "s022-1", 22},   {"Side24", "s024-2", 24},   {"Side26", "s026-2", 26},
    {"Side32", "s032-0", 32},   {"Side36", "s036-2", 36},   {"Side40", "s040-2", 40},
    {"Side44", "s044-0", 44},   {"Side48", "s048-1", 48},   {"Side52", "s052-2", 52},
    {"Side64", "s064-0", 64},   {"Side72", "s072-0", 72},   {"Side80", "s080-2", 80},
    {"Side88", "s088-2", 88},   {"Side96", "s096-2", 96},   {"Side104", "s104-1", 104},
    {"Side120", "s120-0", 120}, {"Side132", "s132-1", 132}, {"Side144", "s144-2", 144},
};
static_assert(std::size(kSizeCases) == kSymbolSizeCount);

class CodewordPlacementTest : public ::testing::TestWithParam<SizeCase>
{
  protected:
    void LoadSymbol(CodewordRecord& symbol)
    {
        const SizeCase& param = GetParam();
        ModuleGrid grid;
        ASSERT_TRUE(SampleCleanSymbol(std::string(param.stem) + ".png", param.side, grid));
        for (int i = 0; i < param.side; ++i) {
            ASSERT_TRUE(grid.Dark(0, i)) << "finder column, module " << i;
            ASSERT_TRUE(grid.Dark(i, 0)) << "finder row, module " << i;
            ASSERT_EQ(grid.Dark(param.side - 1, i), i % 2 == 0) << "clock column, module " << i;
        }
        FillMatrix(grid, symbol.record);
    }
};

TEST_P(CodewordPlacementTest, RealSymbolDecodesToItsBytes)
{
    const int index = FindSymbolSizeIndex(GetParam().side);
    ASSERT_GE(index, 0);
    CodewordRecord symbol(index);
    LoadSymbol(symbol);
    SymbolRecord& record = symbol.record;
    EXPECT_EQ(PlaceCodewords(record), record.totalCodewords);
    EXPECT_EQ(record.erasureCount, 0);
    ASSERT_EQ(CorrectCodewords(record), 1);
    EXPECT_EQ(record.correctedCount, 0);
    DecodeDataCodewords(record);
    EXPECT_EQ(symbol.Data(),
              test::ReadFileBytes(test::TestDataPath("sizes/" + std::string(GetParam().stem) + ".bin")));
}

// Matrices of side 2 mod 4 (the 12, 16, 20 and 24 sizes) leave the fixed bottom-right 2 x 2
// pattern unread; every other module belongs to a codeword.
TEST_P(CodewordPlacementTest, PlacesEveryModuleButTheFixedCorner)
{
    const int index = FindSymbolSizeIndex(GetParam().side);
    CodewordRecord symbol(index);
    LoadSymbol(symbol);
    SymbolRecord& record = symbol.record;
    PlaceCodewords(record);
    const int n = record.matrixRows;
    const bool fixedCorner = n % 4 == 2;
    for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
            const bool corner = row >= n - 2 && col >= n - 2;
            const bool placed = (record.moduleMatrix[row * n + col] & kModulePlaced) != 0;
            EXPECT_EQ(placed, !(fixedCorner && corner)) << "module " << row << ", " << col;
        }
    }
}

// A square of erased modules (with flipped values) in the middle: the codewords holding them
// are listed once each and corrected as erasures, except on the sizes that take none.
TEST_P(CodewordPlacementTest, ErasedModulesBecomeErasures)
{
    const int index = FindSymbolSizeIndex(GetParam().side);
    CodewordRecord symbol(index);
    LoadSymbol(symbol);
    SymbolRecord& record = symbol.record;
    const int n = record.matrixRows;
    for (int row = n / 2 - 1; row <= n / 2 + 1; ++row) {
        for (int col = n / 2 - 1; col <= n / 2 + 1; ++col) {
            record.moduleMatrix[row * n + col] ^= kModuleLight;
            record.moduleMatrix[row * n + col] |= kModuleErased;
        }
    }
    PlaceCodewords(record);
    ASSERT_GE(record.erasureCount, 2); // nine modules never fit one codeword
    for (int i = 0; i < record.erasureCount; ++i) {
        for (int j = i + 1; j < record.erasureCount; ++j) {
            EXPECT_NE(record.erasures[i], record.erasures[j]);
        }
    }
    if (kSymbolSizeTable[index].maxErasures < record.erasureCount) {
        EXPECT_EQ(CorrectCodewords(record), 0);
        return;
    }
    ASSERT_EQ(CorrectCodewords(record), 1);
    EXPECT_GE(record.correctedCount, 1);
    DecodeDataCodewords(record);
    EXPECT_EQ(symbol.Data(),
              test::ReadFileBytes(test::TestDataPath("sizes/" + std::string(GetParam().stem) + ".bin")));
}

INSTANTIATE_TEST_SUITE_P(Sizes, CodewordPlacementTest, ::testing::ValuesIn(kSizeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CodewordPlacementTest, TenByTenReadsEightCodewordsIntoAnEightByEightMatrix)
{
    CodewordRecord symbol(FindSymbolSizeIndex(10));
    EXPECT_EQ(symbol.record.matrixRows, 8);
    for (uint32_t i = 0; i < symbol.record.matrixSize; ++i) {
        symbol.record.moduleMatrix[i] = kModuleSampled; // all dark
    }
    EXPECT_EQ(PlaceCodewords(symbol.record), 8);
    for (uint8_t codeword : symbol.Codewords()) {
        EXPECT_EQ(codeword, 0xFF);
    }
}

TEST(CodewordPlacementTest, InconsistentMatrixIsNotWalked)
{
    CodewordRecord symbol(FindSymbolSizeIndex(10));
    symbol.record.matrixRows = symbol.record.matrixCols = 20; // larger than the buffer
    EXPECT_EQ(PlaceCodewords(symbol.record), 0);
}

} // namespace
} // namespace norvale
