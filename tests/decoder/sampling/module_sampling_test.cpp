#include "decoder/sampling/module_sampling.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"
#include "decoder/decoder_context.h"
#include "decoder/grid/border_walk.h"
#include "tests/decoder/symbol_scene.h"

namespace norvale {
namespace {

using test::SymbolScene;

int GridIndex(int side, int x, int y)
{
    return (y + 2) * (side + 4) + (x + 2);
}

// Mapping matrix expected from the drawn modules: one data region per side up to 26 x 26.
std::vector<uint8_t> ExpectedMatrix(const SymbolScene& scene)
{
    const int n = scene.side - 2;
    std::vector<uint8_t> m(static_cast<size_t>(n) * n);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const bool dark = scene.IsDark(c + 1, scene.side - 2 - r);
            m[static_cast<size_t>(r) * n + c] = kModuleSampled | (dark ? 0 : kModuleLight);
        }
    }
    return m;
}

// Walks both borders, as the evaluation pass does before sampling.
bool FitFrame(SymbolScene& scene)
{
    return WalkTopBorder(scene.record, scene.context->image, nullptr) == 1 &&
           WalkRightBorder(scene.record, scene.context->image) == 1;
}

struct SampleCase
{
    const char* name;
    const char* file;
    int side;
    int turns;
    bool inverted;
};

constexpr SampleCase kSampleCases[] = {
    {"Side10", "s010-0.png", 10, 0, false},
    {"Side12", "s012-0.png", 12, 0, false},
    {"Side14", "s014-2.png", 14, 0, false},
    {"Side16", "s016-0.png", 16, 0, false},
    {"Side20", "s020-1.png", 20, 0, false},
    {"Side22", "s022-1.png", 22, 0, false},
    {"Side26", "s026-0.png", 26, 0, false},
    {"Side12QuarterTurn", "s012-0.png", 12, 1, false},
    {"Side16HalfTurn", "s016-0.png", 16, 2, false},
    {"Side20ThreeQuarterTurn", "s020-1.png", 20, 3, false},
    {"Side26HalfTurn", "s026-0.png", 26, 2, false},
    {"Side14Inverted", "s014-2.png", 14, 0, true},
    {"Side22InvertedQuarterTurn", "s022-1.png", 22, 1, true},
};

class ModuleSamplingTest : public ::testing::TestWithParam<SampleCase>
{
};

TEST_P(ModuleSamplingTest, SelectsTrueSizeAndFillsMatrix)
{
    const SampleCase& c = GetParam();
    SymbolScene scene;
    ASSERT_TRUE(scene.Load(c.file, c.side));
    const std::vector<uint8_t> expected = ExpectedMatrix(scene);
    scene.Rotate(c.turns);
    if (c.inverted) {
        scene.Invert();
    }
    scene.BuildRecord(c.inverted ? test::LightOnDarkContrast() : test::DarkOnLightContrast());
    ASSERT_TRUE(FitFrame(scene));
    SymbolRecord& record = scene.record;
    EXPECT_EQ(EstimateSymbolSize(record, kAxisHorizontal), c.side);
    EXPECT_EQ(EstimateSymbolSize(record, kAxisVertical), c.side);

    ASSERT_EQ(SelectSizeAndSample(record, scene.context->image, scene.context->grids), 1);
    EXPECT_EQ(GetSymbolSide(&record), static_cast<uint32_t>(c.side));
    EXPECT_EQ(record.regionCount, 1u);
    EXPECT_EQ(record.matrixRows, c.side - 2);
    EXPECT_EQ(record.matrixCols, c.side - 2);
    EXPECT_EQ(record.matrixSize, static_cast<uint32_t>((c.side - 2) * (c.side - 2)));
    EXPECT_EQ(record.inkSense, c.inverted ? -1 : 1);
    const SymbolSize& size = kSymbolSizeTable[record.sizeIndex];
    EXPECT_EQ(record.totalCodewords, size.dataCodewords + size.eccCodewords);
    EXPECT_EQ(record.dataCapacity, static_cast<uint32_t>(10 * record.totalCodewords));
    EXPECT_EQ(record.erasureCount, 0);
    ASSERT_NE(record.codewords, nullptr);
    ASSERT_NE(record.erasures, nullptr);
    ASSERT_NE(record.data, nullptr);
    ASSERT_NE(record.moduleMatrix, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(record.moduleMatrix, record.moduleMatrix + record.matrixSize), expected);
}

// The quick look from the walks alone finds the same size for every small symbol.
TEST_P(ModuleSamplingTest, SmallLookSelectsTheSameSize)
{
    const SampleCase& c = GetParam();
    SymbolScene scene;
    ASSERT_TRUE(scene.Load(c.file, c.side));
    scene.Rotate(c.turns);
    if (c.inverted) {
        scene.Invert();
    }
    scene.BuildRecord(c.inverted ? test::LightOnDarkContrast() : test::DarkOnLightContrast());
    ASSERT_TRUE(FitFrame(scene));
    ASSERT_EQ(SelectSmallSizeAndSample(scene.record, scene.context->image, scene.context->grids, c.side), 1);
    EXPECT_EQ(GetSymbolSide(&scene.record), static_cast<uint32_t>(c.side));
    EXPECT_EQ(SelectSmallSizeAndSample(scene.record, scene.context->image, scene.context->grids, c.side - 2),
              0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ModuleSamplingTest, ::testing::ValuesIn(kSampleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- finder and clock check ---

struct MismatchCase
{
    const char* name;
    int finderFlips;
    int clockFlips;
    int passes;
};

constexpr MismatchCase kMismatchCases[] = {
    {"None", 0, 0, 1},      {"FourFinder", 4, 0, 1}, {"FiveFinder", 5, 0, 0},  {"FourClock", 0, 4, 1},
    {"FiveClock", 0, 5, 0}, {"TwoAndTwo", 2, 2, 1},  {"ThreeAndTwo", 3, 2, 0},
};

class FinderClockCheckTest : public ::testing::TestWithParam<MismatchCase>
{
};

TEST_P(FinderClockCheckTest, AllowsAtMostFourMismatches)
{
    const MismatchCase& c = GetParam();
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    scene.BuildRecord(test::DarkOnLightContrast());
    ASSERT_TRUE(FitFrame(scene));
    ASSERT_EQ(SelectSizeAndSample(scene.record, scene.context->image, scene.context->grids), 1);
    SampleGrid& level = scene.context->grids.level;
    // Finder modules along the finder row (the column decides the ink sense); clock modules
    // along the right clock column, each turned to the other shade.
    for (int k = 0; k < c.finderFlips; ++k) {
        level.cells[GridIndex(16, 2 + 2 * k, 0)] = 255;
    }
    for (int k = 0; k < c.clockFlips; ++k) {
        short& cell = level.cells[GridIndex(16, 15, 1 + 2 * k)];
        cell = static_cast<short>(255 - cell);
    }
    EXPECT_EQ(CheckFinderAndClock(scene.record, scene.context->grids), c.passes);
}

INSTANTIATE_TEST_SUITE_P(Cases, FinderClockCheckTest, ::testing::ValuesIn(kMismatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Modules of one line of the ring turned to the other shade in the picture itself: four are
// tolerated, five reject every size. A trial that passes leaves the ring's levels as thresholding
// the whole ring at once gives them, although its check samples the ring as it reads it.
struct PaintedCase
{
    const char* name;
    int x0, y0, dx, dy; // first module painted, and the step to the next (every other module)
    int painted;
};

constexpr PaintedCase kPaintedCases[] = {
    {"FinderColumnFour", 0, 3, 0, 2, 4}, {"FinderColumnFive", 0, 3, 0, 2, 5},
    {"FinderRowFour", 3, 0, 2, 0, 4},    {"FinderRowFive", 3, 0, 2, 0, 5},
    {"RightClockFour", 15, 2, 0, 2, 4},  {"RightClockFive", 15, 2, 0, 2, 5},
    {"TopClockFour", 2, 15, 2, 0, 4},    {"TopClockFive", 2, 15, 2, 0, 5},
};

class PaintedRingTest : public ::testing::TestWithParam<PaintedCase>
{
};

TEST_P(PaintedRingTest, EachLineToleratesFourWrongModules)
{
    const PaintedCase& c = GetParam();
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    scene.BuildRecord(test::DarkOnLightContrast());
    ASSERT_TRUE(FitFrame(scene));
    GrayImage& image = scene.context->image;
    const int m = static_cast<int>(scene.modulePixels);
    for (int k = 0; k < c.painted; ++k) {
        const int mx = c.x0 + k * c.dx;
        const int my = c.y0 + k * c.dy;
        const uint8_t shade = scene.IsDark(mx, my) ? 255 : 0;
        for (int py = 0; py < m; ++py) {
            for (int px = 0; px < m; ++px) {
                image.current[size_t(scene.boxBottom + my * m + py) * image.width + scene.boxLeft + mx * m +
                              px] = shade;
            }
        }
    }
    SampleGrids& grids = scene.context->grids;
    const int passes = SelectSizeAndSample(scene.record, image, grids);
    ASSERT_EQ(passes, c.painted <= 4 ? 1 : 0);
    if (passes == 0) {
        return;
    }
    // The ring's raw samples (with the quiet-zone rings and the two rows and columns inside it
    // that its thresholds read) and the levels of its four lines.
    const auto ringOf = [](const SampleGrids& g) {
        std::vector<int16_t> out;
        for (int y = -2; y < 18; ++y) {
            for (int x = -2; x < 18; ++x) {
                if (x < 3 || y < 3 || x >= 13 || y >= 13) {
                    out.push_back(g.raw.cells[GridIndex(16, x, y)]);
                }
            }
        }
        for (int k = 0; k < 16; ++k) {
            for (const int at :
                 {GridIndex(16, 0, k), GridIndex(16, k, 0), GridIndex(16, 15, k), GridIndex(16, k, 15)}) {
                out.push_back(g.level.cells[at]);
            }
        }
        return out;
    };
    auto whole = std::make_unique<SampleGrids>();
    SampleBorderRing(scene.record, image, *whole);
    BinarizeGrid(whole->raw, whole->level, 20, 20, kPassBorderRing);
    EXPECT_EQ(ringOf(grids), ringOf(*whole));
}

INSTANTIATE_TEST_SUITE_P(Cases, PaintedRingTest, ::testing::ValuesIn(kPaintedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FinderClockCheckEdgeTest, LineModeSkipsTheClocks)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    scene.BuildRecord(test::DarkOnLightContrast());
    ASSERT_TRUE(FitFrame(scene));
    ASSERT_EQ(SelectSizeAndSample(scene.record, scene.context->image, scene.context->grids), 1);
    scene.record.matrixRows = 14;
    for (int y = 0; y < 16; ++y) {
        scene.context->grids.level.cells[GridIndex(16, 15, y)] = 255;
    }
    EXPECT_EQ(CheckFinderAndClock(scene.record, scene.context->grids), 0);
    scene.record.moduleCountHint = 16;
    EXPECT_EQ(CheckFinderAndClock(scene.record, scene.context->grids), 1);
}

// --- symbol partly off the picture ---

TEST(ModuleSamplingEdgeTest, ModulesOffThePictureAreErased)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    const std::vector<uint8_t> expected = ExpectedMatrix(scene);
    scene.BuildRecord(test::DarkOnLightContrast());
    ASSERT_TRUE(FitFrame(scene));
    // Cut the picture so the two rightmost module columns (clock and last data column) fall off.
    GrayImage& image = scene.context->image;
    const uint32_t width = static_cast<uint32_t>(scene.boxLeft + 14 * static_cast<int>(scene.modulePixels));
    for (uint32_t y = 0; y < image.height; ++y) {
        std::memmove(image.current + size_t{y} * width, image.current + size_t{y} * image.width, width);
    }
    image.width = width;
    ASSERT_EQ(SelectSizeAndSample(scene.record, scene.context->image, scene.context->grids), 1);
    EXPECT_EQ(scene.record.matrixRows, 14);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(scene.context->grids.raw.cells[GridIndex(16, 15, y)], -1);
        EXPECT_EQ(scene.context->grids.level.cells[GridIndex(16, 15, y)], -1);
    }
    for (int r = 0; r < 14; ++r) {
        for (int c = 0; c < 14; ++c) {
            const uint8_t flags = scene.record.moduleMatrix[r * 14 + c];
            if (c == 13) {
                EXPECT_EQ(flags, kModuleSampled | kModuleErased) << r;
            } else {
                EXPECT_EQ(flags, expected[static_cast<size_t>(r) * 14 + c]) << r << "," << c;
            }
        }
    }
}

// --- size estimate ---

struct EstimateCase
{
    const char* name;
    float stretch; // frame units between the walk ends
    int hint;
    int estimate;
};

constexpr EstimateCase kEstimateCases[] = {
    {"TwoModulesOfSixteen", 12.5f, 0, 16},    {"RoundsHalfUp", 200.0f / 17.0f, 0, 18},
    {"RoundsDown", 200.0f / 16.9f, 0, 16},    {"HintWins", 12.5f, 44, 44},
    {"OddHintRoundsUp", 12.5f, 45, 46},       {"ZeroStretch", 0.0f, 0, kNoSizeEstimate},
    {"TinyStretchCapped", 1e-5f, 0, 1 << 20}, {"BackwardsStretchTruncatesTowardZero", -12.5f, 0, -14},
};

class SizeEstimateTest : public ::testing::TestWithParam<EstimateCase>
{
};

TEST_P(SizeEstimateTest, EstimatesFromStretchOrHint)
{
    const EstimateCase& c = GetParam();
    SymbolRecord record{};
    InitSymbolRecord(record, test::DarkOnLightContrast());
    record.moduleCountHint = c.hint;
    record.topWalkStart = PointF{10.0f, 3.0f};
    record.topWalkEnd = PointF{10.0f + c.stretch, 3.0f};
    record.rightWalkStart = PointF{7.0f, 20.0f};
    record.rightWalkEnd = PointF{7.0f, 20.0f + c.stretch};
    EXPECT_EQ(EstimateSymbolSize(record, kAxisHorizontal), c.estimate);
    EXPECT_EQ(EstimateSymbolSize(record, kAxisVertical), c.estimate);
}

INSTANTIATE_TEST_SUITE_P(Cases, SizeEstimateTest, ::testing::ValuesIn(kEstimateCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- size trials (every trial fails on a blank picture; the last one tried stays in the record) ---

struct TrialCase
{
    const char* name;
    int horizontal; // estimate from the top walk
    int vertical;   // estimate from the right walk; 0 = no stretch
    int lastTried;  // side of the last trial; 0 = none
};

constexpr TrialCase kTrialCases[] = {
    {"FortyFailsAtOnce", 40, 40, 0},
    {"ThirtyEightThenTooLargeVertical", 38, 152, 44},
    {"CloseVerticalDoubles", 38, 44, 80},
    {"DistinctVertical", 38, 60, 64},
    {"MissingVertical", 20, 0, 26},
    {"MissingHorizontal", 0, 20, 0},
    {"TinyEstimateDoublesToSmallestSide", 2, 2, 10},
};

class SizeTrialTest : public ::testing::TestWithParam<TrialCase>
{
};

TEST_P(SizeTrialTest, TriesSizesInOrder)
{
    const TrialCase& c = GetParam();
    SymbolScene scene;
    ASSERT_TRUE(test::MakeUniformPicture(scene.context->image, 120, 120, 255));
    SymbolRecord& record = scene.record;
    InitSymbolRecord(record, test::DarkOnLightContrast());
    record.topWalkEnd = PointF{c.horizontal == 0 ? 0.0f : 200.0f / c.horizontal, 0.0f};
    record.rightWalkEnd = PointF{0.0f, c.vertical == 0 ? 0.0f : 200.0f / c.vertical};
    EXPECT_EQ(SelectSizeAndSample(record, scene.context->image, scene.context->grids), 0);
    EXPECT_EQ(record.matrixRows, c.lastTried == 0 ? 0 : c.lastTried - 2);
    EXPECT_EQ(record.moduleMatrix, nullptr);
    EXPECT_EQ(record.codewords, nullptr);
}

// The quick small look never goes on to the vertical estimate.
TEST(SizeTrialTest, SmallLookTriesTheFirstSeriesOnly)
{
    SymbolScene scene;
    ASSERT_TRUE(test::MakeUniformPicture(scene.context->image, 120, 120, 255));
    SymbolRecord& record = scene.record;
    InitSymbolRecord(record, test::DarkOnLightContrast());
    record.topWalkEnd = PointF{200.0f / 20, 0.0f};
    record.rightWalkEnd = PointF{0.0f, 200.0f / 60};
    EXPECT_EQ(SelectSmallSizeAndSample(record, scene.context->image, scene.context->grids, 24), 0);
    EXPECT_EQ(record.matrixRows, 26 - 2);
    EXPECT_EQ(record.moduleMatrix, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, SizeTrialTest, ::testing::ValuesIn(kTrialCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Line mode: a checkerboard of 4-pixel cells with one row and one column line through each cell.
class LineModeScene
{
  public:
    explicit LineModeScene(int hint)
    {
        test::MakeUniformPicture(scene.context->image, 600, 600, 255);
        GrayImage& image = scene.context->image;
        for (uint32_t y = 0; y < image.height; ++y) {
            for (uint32_t x = 0; x < image.width; ++x) {
                image.current[size_t{y} * image.width + x] = ((x / 4 + y / 4) % 2 == 0) ? 20 : 230;
            }
        }
        SymbolRecord& record = scene.record;
        InitSymbolRecord(record, test::DarkOnLightContrast());
        record.moduleCountHint = hint;
        const size_t count = static_cast<size_t>(hint) + 1;
        record.rowLines = static_cast<FittedLine*>(std::calloc(count, sizeof(FittedLine)));
        record.columnLines = static_cast<FittedLine*>(std::calloc(count, sizeof(FittedLine)));
        for (size_t i = 0; i < count; ++i) {
            const float centre = 4.0f * static_cast<float>(i) + 1.5f;
            record.rowLines[i] = FittedLine{1, 0, 0.0f, 0.0f, PointF{0.0f, centre}, PointF{1.0f, 0.0f}};
            record.columnLines[i] = FittedLine{1, 0, 0.0f, 0.0f, PointF{centre, 0.0f}, PointF{0.0f, 1.0f}};
        }
        record.gridLineCount = hint + 1;
    }
    SymbolScene scene;
};

struct LineTrialCase
{
    const char* name;
    int hint;
    int lastTried;
};

constexpr LineTrialCase kLineTrialCases[] = {
    {"InvalidSidesAreTried", 44, 50},
    {"GridBoundSkipsLargeSides", 144, 138},
    {"InvalidEstimateFails", 146, 0},
};

class LineModeTrialTest : public ::testing::TestWithParam<LineTrialCase>
{
};

TEST_P(LineModeTrialTest, TriesSidesAroundTheHint)
{
    const LineTrialCase& c = GetParam();
    LineModeScene line(c.hint);
    EXPECT_EQ(SelectSizeAndSample(line.scene.record, line.scene.context->image, line.scene.context->grids),
              0);
    EXPECT_EQ(line.scene.record.matrixRows, c.lastTried == 0 ? 0 : c.lastTried - 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineModeTrialTest, ::testing::ValuesIn(kLineTrialCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModuleSamplingEdgeTest, LineModeSamplesAtLineCrossings)
{
    LineModeScene line(16);
    SymbolRecord& record = line.scene.record;
    record.matrixRows = 14;
    SampleBorderRing(record, line.scene.context->image, line.scene.context->grids);
    const SampleGrid& grid = line.scene.context->grids.raw;
    // Crossing (i, j) sits inside checker cell (j, i): dark when i + j is even.
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(grid.cells[GridIndex(16, j, i)], (i + j) % 2 == 0 ? 20 : 230) << i << "," << j;
        }
    }
}

TEST(ModuleSamplingEdgeTest, ParallelLinesFallBackToTheFrame)
{
    LineModeScene line(16);
    SymbolRecord& record = line.scene.record;
    // Frame 0..100 onto pixels 0..400: module (0, 0) of 16 lies at pixel (12.5, 12.5).
    record.frame.scaleX = 0.25f;
    record.frame.scaleY = 0.25f;
    BuildFrameTransforms(record);
    record.columnLines[1] = record.rowLines[1];
    record.matrixRows = 14;
    SampleBorderRing(record, line.scene.context->image, line.scene.context->grids);
    const SampleGrid& grid = line.scene.context->grids.raw;
    float expected = 0.0f;
    // Module (x 1, y 1) centre in the frame: 1.5 * 100 / 16 units, 37.5 pixels.
    SampleBicubic(expected, line.scene.context->image, 37.5f, 37.5f);
    EXPECT_EQ(grid.cells[GridIndex(16, 1, 1)], static_cast<int>(expected + 0.5f));
    EXPECT_EQ(grid.cells[GridIndex(16, 0, 0)], 20);
}

TEST(ModuleSamplingEdgeTest, ReselectingReplacesBuffers)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s012-0.png", 12));
    scene.BuildRecord(test::DarkOnLightContrast());
    ASSERT_TRUE(FitFrame(scene));
    ASSERT_EQ(SelectSizeAndSample(scene.record, scene.context->image, scene.context->grids), 1);
    const std::vector<uint8_t> first(scene.record.moduleMatrix,
                                     scene.record.moduleMatrix + scene.record.matrixSize);
    ASSERT_EQ(SelectSizeAndSample(scene.record, scene.context->image, scene.context->grids), 1);
    EXPECT_EQ(
        std::vector<uint8_t>(scene.record.moduleMatrix, scene.record.moduleMatrix + scene.record.matrixSize),
        first);
}

// --- binarisation ---

TEST(BinarizeGridTest, UniformAreaReadsLight)
{
    SampleGrid raw{};
    SampleGrid level{};
    for (int i = 0; i < 81; ++i) {
        raw.cells[i] = 0;
    }
    BinarizeGrid(raw, level, 9, 9, kPassBorderRing);
    BinarizeGrid(raw, level, 9, 9, kPassInterior);
    for (int r = 2; r <= 6; ++r) {
        for (int c = 2; c <= 6; ++c) {
            EXPECT_EQ(level.cells[r * 9 + c], 255);
        }
    }
}

TEST(BinarizeGridTest, PassesSplitRingAndInterior)
{
    SampleGrid raw{};
    SampleGrid level{};
    for (int i = 0; i < 81; ++i) {
        raw.cells[i] = static_cast<int16_t>(((i / 9 + i % 9) % 2) == 0 ? 30 : 200);
        level.cells[i] = 77;
    }
    BinarizeGrid(raw, level, 9, 9, kPassBorderRing);
    for (int r = 0; r < 9; ++r) {
        for (int c = 0; c < 9; ++c) {
            const bool module = r >= 2 && r <= 6 && c >= 2 && c <= 6;
            const bool ring = module && (r == 2 || r == 6 || c == 2 || c == 6);
            const int expected = ring ? (raw.cells[r * 9 + c] == 30 ? 0 : 255) : 77;
            EXPECT_EQ(level.cells[r * 9 + c], expected) << r << "," << c;
        }
    }
    BinarizeGrid(raw, level, 9, 9, kPassInterior);
    for (int r = 3; r <= 5; ++r) {
        for (int c = 3; c <= 5; ++c) {
            EXPECT_EQ(level.cells[r * 9 + c], raw.cells[r * 9 + c] == 30 ? 0 : 255);
        }
    }
    EXPECT_EQ(level.cells[0], 77);
}

// Centre 100 among 24 neighbours: twelve 0s, twelve 180s. Mean of all = (100 + 2160) / 25 = 90;
// low group the zeros (mean 0), high group 100 and the 180s (mean 2260 / 13 = 173); threshold 86.
TEST(BinarizeGridTest, ThresholdIsMidpointOfGroupMeans)
{
    SampleGrid raw{};
    SampleGrid level{};
    for (int i = 0; i < 25; ++i) {
        raw.cells[i] = static_cast<int16_t>(i < 12 ? 0 : 180);
    }
    raw.cells[12] = 100;
    BinarizeGrid(raw, level, 5, 5, kPassBorderRing);
    EXPECT_EQ(level.cells[12], 255);
    raw.cells[12] = 85;
    BinarizeGrid(raw, level, 5, 5, kPassBorderRing);
    // Mean (85 + 2160) / 25 = 89, so 85 joins the low group: low 85 / 13 = 6, high 180; threshold 93.
    EXPECT_EQ(level.cells[12], 0);
}

TEST(BinarizeGridTest, MissingSamplesAreSkipped)
{
    SampleGrid raw{};
    SampleGrid level{};
    for (int i = 0; i < 25; ++i) {
        raw.cells[i] = -1;
    }
    raw.cells[12] = 90;
    raw.cells[0] = 10;
    BinarizeGrid(raw, level, 5, 5, kPassBorderRing);
    // Mean (90 + 10) / 2 = 50; low 10, high 90; threshold 50.
    EXPECT_EQ(level.cells[12], 255);
    raw.cells[12] = -1;
    BinarizeGrid(raw, level, 5, 5, kPassBorderRing);
    EXPECT_EQ(level.cells[12], -1);
}

// Pseudo-random greys with missing samples, on the largest grid (whose last window rows end at
// the grid's end) and on a small one: every cell agrees with the threshold rule worked out here.
TEST(BinarizeGridTest, EveryCellFollowsTheRule)
{
    for (const int side : {kSampleGridSide, 11}) {
        SampleGrid raw{};
        SampleGrid level{};
        uint32_t state = 12345;
        for (int i = 0; i < side * side; ++i) {
            state = state * 1103515245u + 12345u;
            const int grey = static_cast<int>((state >> 16) % 300);
            raw.cells[i] = static_cast<int16_t>(grey < 256 ? grey : -1);
        }
        BinarizeGrid(raw, level, side, side, kPassBorderRing);
        BinarizeGrid(raw, level, side, side, kPassInterior);
        for (int r = 2; r < side - 2; ++r) {
            for (int c = 2; c < side - 2; ++c) {
                std::vector<int> window;
                for (int dr = -2; dr <= 2; ++dr) {
                    for (int dc = -2; dc <= 2; ++dc) {
                        const int v = raw.cells[(r + dr) * side + c + dc];
                        if (v >= 0) {
                            window.push_back(v);
                        }
                    }
                }
                const int value = raw.cells[r * side + c];
                int expected = -1;
                if (value >= 0) {
                    int sum = 0;
                    for (const int v : window) {
                        sum += v;
                    }
                    const int mean = sum / static_cast<int>(window.size());
                    int lowSum = 0;
                    int lowCount = 0;
                    for (const int v : window) {
                        if (v < mean) {
                            lowSum += v;
                            ++lowCount;
                        }
                    }
                    const int highCount = static_cast<int>(window.size()) - lowCount;
                    const int lowMean = lowCount == 0 ? 0 : lowSum / lowCount;
                    const int highMean = highCount == 0 ? 0 : (sum - lowSum) / highCount;
                    expected = value < (lowMean + highMean) / 2 ? 0 : 255;
                }
                ASSERT_EQ(level.cells[r * side + c], expected) << side << ": " << r << "," << c;
            }
        }
    }
}

TEST(BinarizeGridTest, OversizedGridIsLeftAlone)
{
    SampleGrid raw{};
    SampleGrid level{};
    level.cells[2 * 151 + 2] = 77;
    BinarizeGrid(raw, level, 151, 151, kPassBorderRing);
    EXPECT_EQ(level.cells[2 * 151 + 2], 77);
}

// --- mapping matrix with alignment patterns ---

uint8_t DrawnLevel(int x, int y)
{
    return ((x * 7 + y * 3) % 5 < 2) ? 0 : 255;
}

TEST(FillMappingMatrixTest, DropsAlignmentPatternsOfFourRegions)
{
    DecoderContext* context = CreateDecoderContext();
    ASSERT_NE(context, nullptr);
    SymbolRecord record{};
    InitSymbolRecord(record, test::DarkOnLightContrast());
    const int side = 32;
    record.sizeIndex = FindSymbolSizeIndex(side);
    ASSERT_GE(record.sizeIndex, 0);
    record.regionCount = 4;
    record.matrixRows = record.matrixCols = 28;
    record.matrixSize = 28 * 28;
    record.inkSense = 1;
    record.moduleMatrix = static_cast<uint8_t*>(std::calloc(record.matrixSize, 1));
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            context->grids.level.cells[GridIndex(side, x, y)] = DrawnLevel(x, y);
        }
    }
    context->grids.level.cells[GridIndex(side, 1, 30)] = -1;
    FillMappingMatrix(record, context->grids);
    // Row r from the top and column c from the left skip the two-module seams after each 14.
    for (int r = 0; r < 28; ++r) {
        for (int c = 0; c < 28; ++c) {
            const int x = 1 + c + (c / 14) * 2;
            const int y = 30 - r - (r / 14) * 2;
            uint8_t expected = kModuleSampled | (DrawnLevel(x, y) == 255 ? kModuleLight : 0);
            if (r == 0 && c == 0) {
                expected = kModuleSampled | kModuleErased;
            }
            EXPECT_EQ(record.moduleMatrix[r * 28 + c], expected) << r << "," << c;
        }
    }
    // Light-on-dark: the shades swap, and an erased module reads light.
    record.inkSense = -1;
    FillMappingMatrix(record, context->grids);
    EXPECT_EQ(record.moduleMatrix[0], kModuleSampled | kModuleErased | kModuleLight);
    EXPECT_EQ(record.moduleMatrix[1] & kModuleLight, DrawnLevel(2, 30) == 255 ? 0 : kModuleLight);
    ClearSymbolRecord(record);
    DestroyDecoderContext(&context);
}

} // namespace
} // namespace norvale
