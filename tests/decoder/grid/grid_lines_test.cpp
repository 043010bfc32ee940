#include "decoder/grid/grid_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "decoder/base/symbol_record.h"

namespace norvale {
namespace {

// Segment borders of an axis-aligned symbol of `side` pixels with its corner at the origin: the
// border lines lie exactly on the region borders, `segments` of them per direction. `yDirection`
// tilts the y leg (and with it the column borders).
struct BorderLayout
{
    TransitionScan columns[kMaxSegments] = {};
    TransitionScan rows[kMaxSegments] = {};
    RegionScanState state{};

    BorderLayout(int segments, float side, PointF yDirection = {0.0f, 1.0f})
    {
        state.scanLength = side + 5.0f;
        state.columnScans = columns;
        state.rowScans = rows;
        state.xLegLine = FittedLine{1, 0, 0.0f, side + 10.0f, {0.0f, 0.0f}, {1.0f, 0.0f}};
        state.yLegLine = FittedLine{1, 0, 0.0f, side + 10.0f, {0.0f, 0.0f}, yDirection};
        for (int k = 0; k < segments; ++k) {
            const float d = side * static_cast<float>(k + 1) / static_cast<float>(segments);
            columns[k].line = FittedLine{1, 0, 0.0f, state.scanLength, {d, 0.0f}, yDirection};
            rows[k].line =
                FittedLine{1, 0, 0.0f, state.scanLength, {d * yDirection.x, d * yDirection.y}, {1.0f, 0.0f}};
            state.segmentColumn[k] = k;
            state.segmentRow[k] = k;
        }
        state.segmentCount = segments;
    }
};

// A record whose frame maps the square (0, 0)..(side, side) onto 0..100.
void MakeSquareRecord(SymbolRecord& record, int32_t moduleCount, float side)
{
    InitSymbolRecord(record, ScanContrast{});
    record.xLegEnd = PointF{side, 0.0f};
    record.yLegEnd = PointF{0.0f, side};
    record.frame.scaleX = 100.0f / side;
    record.frame.scaleY = 100.0f / side;
    BuildFrameTransforms(record);
    record.moduleCountHint = moduleCount;
}

class GridLinesTest : public ::testing::Test
{
  protected:
    void TearDown() override { ReleaseSymbolBuffers(record_); }
    SymbolRecord record_{};
};

struct LineCountCase
{
    const char* name;
    int segments;
    int32_t moduleCount;
    float side; // pixels
    int result;
    int32_t lines;
};

constexpr LineCountCase kLineCountCases[] = {
    {"TwoRegionsOf16", 2, 32, 96.0f, 1, 32},
    {"ThreeRegionsOf16", 3, 48, 144.0f, 1, 48},
    {"ThreeSpansOfFourteenAndTwoThirds", 3, 44, 132.0f, 1, 45}, // 3 x trunc(15.17): fills the arrays
    {"FourRegionsOf16", 4, 64, 256.0f, 1, 64},
    {"FourRegionsOf26", 4, 104, 312.0f, 1, 104},
    {"SixRegionsOf24", 6, 144, 432.0f, 1, 144},
    {"SixSpansTooManyLines", 6, 40, 120.0f, 0, 0}, // 6 x 7 = 42 lines, the arrays hold 41
};

class GridLinesCountTest : public GridLinesTest, public ::testing::WithParamInterface<LineCountCase>
{
};

TEST_P(GridLinesCountTest, LaysOneLinePerModule)
{
    const LineCountCase& c = GetParam();
    BorderLayout layout(c.segments, c.side);
    MakeSquareRecord(record_, c.moduleCount, c.side);
    EXPECT_EQ(BuildGridLines(record_, layout.state), c.result);
    EXPECT_EQ(record_.gridLineCount, c.lines);
    if (c.result == 0) {
        EXPECT_EQ(record_.rowLines, nullptr);
        EXPECT_EQ(record_.columnLines, nullptr);
        EXPECT_EQ(record_.moduleCountHint, 0);
    } else {
        EXPECT_NE(record_.rowLines, nullptr);
        EXPECT_NE(record_.columnLines, nullptr);
        EXPECT_EQ(record_.moduleCountHint, c.moduleCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GridLinesCountTest, ::testing::ValuesIn(kLineCountCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GridLinesTest, LinesRunThroughModuleCentres)
{
    BorderLayout layout(2, 96.0f);
    MakeSquareRecord(record_, 32, 96.0f);
    ASSERT_EQ(BuildGridLines(record_, layout.state), 1);
    ASSERT_EQ(record_.gridLineCount, 32);
    for (int i = 0; i < 32; ++i) {
        for (int j = 0; j < 32; ++j) {
            PointF p{};
            ASSERT_EQ(IntersectLines(p, record_.rowLines[i], record_.columnLines[j]), 1);
            EXPECT_NEAR(p.x, (j + 0.5f) * 3.0f, 1e-3f) << i << " " << j;
            EXPECT_NEAR(p.y, (i + 0.5f) * 3.0f, 1e-3f) << i << " " << j;
        }
    }
}

TEST_F(GridLinesTest, UnevenRegionsSpaceModulesPerRegion)
{
    // The first border lies 3 pixels short of the middle (still nearest to 1/2): the first
    // region's 16 modules share 45 pixels, the second region's 16 modules 51 pixels.
    BorderLayout layout(2, 96.0f);
    layout.columns[0].line.origin.x = 45.0f;
    layout.rows[0].line.origin.y = 45.0f;
    MakeSquareRecord(record_, 32, 96.0f);
    ASSERT_EQ(BuildGridLines(record_, layout.state), 1);
    EXPECT_NEAR(record_.columnLines[0].origin.x, 45.0f / 32.0f, 1e-3f);
    EXPECT_NEAR(record_.columnLines[16].origin.x, 45.0f + 51.0f / 32.0f, 1e-3f);
    EXPECT_NEAR(record_.rowLines[31].origin.y, 96.0f - 51.0f / 32.0f, 1e-3f);
}

TEST_F(GridLinesTest, NearlyParallelLinesFail)
{
    // The y leg leans towards the x leg: row and column lines meet at a cosine of 0.95.
    const PointF lean{0.95f, std::sqrt(1.0f - 0.95f * 0.95f)};
    BorderLayout layout(2, 96.0f, lean);
    MakeSquareRecord(record_, 32, 96.0f);
    EXPECT_EQ(BuildGridLines(record_, layout.state), 0);
    EXPECT_EQ(record_.gridLineCount, 0);
    EXPECT_EQ(record_.rowLines, nullptr);
    EXPECT_EQ(record_.moduleCountHint, 0);
}

TEST_F(GridLinesTest, BorderOffEveryFractionFails)
{
    // 0.42 of a 405-pixel scan lies 0.083 (34 pixels) from 1/2: too far in pixels.
    BorderLayout layout(2, 400.0f);
    layout.columns[0].line.origin.x = 0.42f * 405.0f;
    MakeSquareRecord(record_, 32, 400.0f);
    EXPECT_EQ(BuildGridLines(record_, layout.state), 0);
    EXPECT_EQ(record_.columnLines, nullptr);
    EXPECT_EQ(record_.moduleCountHint, 0);
}

TEST_F(GridLinesTest, NoSegmentsFail)
{
    BorderLayout layout(0, 96.0f);
    MakeSquareRecord(record_, 32, 96.0f);
    EXPECT_EQ(BuildGridLines(record_, layout.state), 0);
    EXPECT_EQ(record_.rowLines, nullptr);
}

TEST_F(GridLinesTest, RefitsTapersFromOuterBorders)
{
    // The right border sits 10 % further out at the bottom than the frame says, leaning in to
    // meet the top border at frame x = 100.
    BorderLayout layout(2, 96.0f);
    FittedLine& right = layout.columns[1].line;
    right.origin = PointF{105.6f, 0.0f};
    right.direction = PointF{-9.6f, 96.0f};
    NormalizeVector(right.direction);
    MakeSquareRecord(record_, 32, 96.0f);
    ASSERT_EQ(BuildGridLines(record_, layout.state), 1);
    EXPECT_NEAR(record_.frame.widthAtY0, 110.0f, 1e-3f);
    EXPECT_NEAR(record_.frame.widthAtY100, 100.0f, 1e-3f);
    EXPECT_NEAR(record_.frame.heightAtX0, 100.0f, 1e-3f);
    EXPECT_NEAR(record_.frame.heightAtX100, 100.0f, 1e-3f);
}

TEST_F(GridLinesTest, ReplacesEarlierLines)
{
    BorderLayout layout(2, 96.0f);
    MakeSquareRecord(record_, 32, 96.0f);
    ASSERT_EQ(BuildGridLines(record_, layout.state), 1);
    ASSERT_EQ(BuildGridLines(record_, layout.state), 1); // the first arrays are freed
    EXPECT_EQ(record_.gridLineCount, 32);
}

} // namespace
} // namespace norvale
