#include "decoder/grid/border_verification.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "decoder/base/symbol_record.h"
#include "decoder/decoder_context.h"
#include "large_symbol_fixture.h"

namespace norvale {
namespace {

struct FractionCase
{
    const char* name;
    float distance;
    float side;
    int snaps;
    float fraction;
};

constexpr FractionCase kFractionCases[] = {
    {"Half", 49.0f, 100.0f, 1, 0.5f},
    {"Whole", 98.0f, 100.0f, 1, 1.0f},
    {"Sixth", 17.0f, 100.0f, 1, 1.0f / 6.0f},
    {"Quarter", 26.0f, 100.0f, 1, 0.25f},
    {"FortyPercentIsAThird", 40.0f, 100.0f, 1, 1.0f / 3.0f},
    {"TwoThirds", 65.0f, 100.0f, 1, 2.0f / 3.0f},
    {"ThreeQuarters", 76.0f, 100.0f, 1, 0.75f},
    {"FiveSixths", 84.0f, 100.0f, 1, 5.0f / 6.0f},
    {"NinePixelsPastWholeOnHundred", 109.0f, 100.0f, 1, 1.0f},
    {"TwelvePixelsPastWholeOnHundred", 112.0f, 100.0f, 0, 0.0f},
    {"SixteenPixelsPastWholeOnTwoHundred", 216.0f, 200.0f, 0, 0.0f},
    {"FourteenPixelsPastWholeOnTwoHundred", 214.0f, 200.0f, 1, 1.0f},
    {"TooCloseToTheCorner", 5.0f, 100.0f, 0, 0.0f},
    {"ZeroSide", 50.0f, 0.0f, 0, 0.0f},
    {"NegativeDistance", -50.0f, 100.0f, 0, 0.0f},
};

class SnapBorderFractionTest : public ::testing::TestWithParam<FractionCase>
{
};

TEST_P(SnapBorderFractionTest, SnapsOrRefuses)
{
    const FractionCase& c = GetParam();
    float fraction = -1.0f;
    EXPECT_EQ(SnapBorderFraction(c.distance, c.side, fraction), c.snaps);
    if (c.snaps != 0) {
        EXPECT_EQ(fraction, c.fraction);
    } else {
        EXPECT_EQ(fraction, -1.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SnapBorderFractionTest, ::testing::ValuesIn(kFractionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Scan state with border lines `outside` pixels beyond the true region borders of an upright
// symbol, laid out the way the region-border scan leaves them.
struct TrueBorders
{
    TransitionScan columns[kMaxSegments] = {};
    TransitionScan rows[kMaxSegments] = {};
    RegionScanState state{};

    TrueBorders(const test::LargeSymbol& symbol, int segments, float outside)
    {
        const float side = std::hypot(symbol.xLegEnd.x - symbol.corner.x, symbol.xLegEnd.y - symbol.corner.y);
        state.scanLength = side + 5.0f;
        state.columnScans = columns;
        state.rowScans = rows;
        state.xLegLine = FittedLine{1, 0, 0.0f, side + 10.0f, symbol.corner, {1.0f, 0.0f}};
        state.yLegLine = FittedLine{1, 0, 0.0f, side + 10.0f, symbol.corner, {0.0f, 1.0f}};
        for (int k = 0; k < segments; ++k) {
            const float d = side * static_cast<float>(k + 1) / static_cast<float>(segments) + outside;
            columns[k].line = FittedLine{
                1, 0, 0.0f, state.scanLength, {symbol.corner.x + d, symbol.corner.y}, {0.0f, 1.0f}};
            rows[k].line = FittedLine{
                1, 0, 0.0f, state.scanLength, {symbol.corner.x, symbol.corner.y + d}, {1.0f, 0.0f}};
            state.segmentColumn[k] = k;
            state.segmentRow[k] = k;
        }
        state.segmentCount = segments;
    }
};

struct RealSymbolCase
{
    const char* name;
    const char* file;
    int side;
    int regionsPerSide;
};

constexpr RealSymbolCase kRealSymbolCases[] = {
    {"TwoByTwo32", "sizes/s032-0.png", 32, 2},   {"TwoByTwo52", "sizes/s052-2.png", 52, 2},
    {"FourByFour64", "sizes/s064-0.png", 64, 4}, {"FourByFour104", "sizes/s104-1.png", 104, 4},
    {"SixBySix120", "sizes/s120-0.png", 120, 6}, {"SixBySix144", "sizes/s144-2.png", 144, 6},
};

class BorderVerificationTest : public ::testing::TestWithParam<RealSymbolCase>
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::LoadLargeSymbol(symbol_, GetParam().file, GetParam().side));
        context_ = CreateDecoderContext();
        ASSERT_NE(context_, nullptr);
        context_->image = symbol_.image;
        test::MakeLargeSymbolRecord(record_, symbol_);
        record_.moduleCountHint = GetParam().side;
    }
    void TearDown() override
    {
        if (context_ != nullptr) {
            context_->image = GrayImage{};
            DestroyDecoderContext(&context_);
        }
        test::FreeLargeSymbol(symbol_);
    }

    // Distance of a border line from the true border at its two ends, in modules.
    void ExpectNearBorder(const FittedLine& line, const FittedLine& leg, const FittedLine& far, float border,
                          float farBorder, float tolerance)
    {
        float nearDistance = 0.0f;
        float farDistance = 0.0f;
        ASSERT_EQ(DistanceOfCrossing(nearDistance, line, leg), 1);
        ASSERT_EQ(DistanceOfCrossing(farDistance, line, far), 1);
        const float module = symbol_.ModulePixels();
        EXPECT_NEAR(nearDistance / module, border, tolerance);
        EXPECT_NEAR(farDistance / module, farBorder, tolerance);
    }

    test::LargeSymbol symbol_;
    DecoderContext* context_ = nullptr;
    SymbolRecord record_{};
};

TEST_P(BorderVerificationTest, AcceptsTrueBorders)
{
    const int segments = GetParam().regionsPerSide;
    TrueBorders borders(symbol_, segments, 1.0f);
    ASSERT_EQ(VerifyRegionBorders(context_->image, record_, borders.state), 1);
    const int regionModules = GetParam().side / segments;
    const FittedLine& farColumn = borders.columns[segments - 1].line;
    const FittedLine& farRow = borders.rows[segments - 1].line;
    for (int k = 0; k < segments; ++k) {
        const float border = static_cast<float>((k + 1) * regionModules);
        // Every border stays within half a module outside its clocked line.
        ExpectNearBorder(borders.rows[k].line, borders.state.yLegLine, farColumn, border + 0.25f,
                         border + 0.25f, 0.3f);
        ExpectNearBorder(borders.columns[k].line, borders.state.xLegLine, farRow, border + 0.25f,
                         border + 0.25f, 0.3f);
    }
}

TEST_P(BorderVerificationTest, MovesBorderOffTheSolidLineInward)
{
    // Every border a module too far out: the line half a module inside runs along the solid row
    // of the next region. Corrections move the ends inward half a module at a time (one end at a
    // time, the other going back out), never past where they started.
    const int segments = GetParam().regionsPerSide;
    const float module = symbol_.ModulePixels();
    const float outside = module + 1.0f;
    TrueBorders borders(symbol_, segments, outside);
    ASSERT_EQ(VerifyRegionBorders(context_->image, record_, borders.state), 1);
    const FittedLine& farColumn = borders.columns[segments - 1].line;
    const FittedLine& farRow = borders.rows[segments - 1].line;
    const float side = std::hypot(symbol_.xLegEnd.x - symbol_.corner.x, symbol_.xLegEnd.y - symbol_.corner.y);
    for (int k = 0; k < segments; ++k) {
        const float start = side * static_cast<float>(k + 1) / static_cast<float>(segments) + outside;
        const FittedLine* lines[2] = {&borders.rows[k].line, &borders.columns[k].line};
        const FittedLine* legs[2] = {&borders.state.yLegLine, &borders.state.xLegLine};
        const FittedLine* fars[2] = {&farColumn, &farRow};
        for (int direction = 0; direction < 2; ++direction) {
            float nearDistance = 0.0f;
            float farDistance = 0.0f;
            ASSERT_EQ(DistanceOfCrossing(nearDistance, *lines[direction], *legs[direction]), 1);
            ASSERT_EQ(DistanceOfCrossing(farDistance, *lines[direction], *fars[direction]), 1);
            EXPECT_LE(nearDistance, start + 0.5f) << k << " " << direction;
            EXPECT_LE(farDistance, start + 0.5f) << k << " " << direction;
            EXPECT_LT(std::fmin(nearDistance, farDistance), start - 0.4f * module) << k << " " << direction;
        }
    }
}

TEST_P(BorderVerificationTest, RefusesWrongSegmentCount)
{
    // Five borders: the first would have to lie at 1/5 of the side.
    TrueBorders borders(symbol_, 5, 1.0f);
    EXPECT_EQ(VerifyRegionBorders(context_->image, record_, borders.state), 0);
}

INSTANTIATE_TEST_SUITE_P(RealSymbols, BorderVerificationTest, ::testing::ValuesIn(kRealSymbolCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BorderVerificationRulesTest, BorderAtWrongFractionFails)
{
    // Two segments whose first border lies at 0.40 of the scan: it snaps to 1/3, not 1/2.
    DecoderContext* context = CreateDecoderContext();
    ASSERT_NE(context, nullptr);
    SymbolRecord record{};
    record.moduleCountHint = 32;
    TransitionScan columns[kMaxSegments] = {};
    TransitionScan rows[kMaxSegments] = {};
    RegionScanState state{};
    state.scanLength = 100.0f;
    state.columnScans = columns;
    state.rowScans = rows;
    state.xLegLine = FittedLine{1, 0, 0.0f, 105.0f, {0.0f, 0.0f}, {1.0f, 0.0f}};
    state.yLegLine = FittedLine{1, 0, 0.0f, 105.0f, {0.0f, 0.0f}, {0.0f, 1.0f}};
    const float borders[2] = {40.0f, 98.0f};
    for (int k = 0; k < 2; ++k) {
        columns[k].line = FittedLine{1, 0, 0.0f, 100.0f, {borders[k], 0.0f}, {0.0f, 1.0f}};
        rows[k].line = FittedLine{1, 0, 0.0f, 100.0f, {0.0f, borders[k]}, {1.0f, 0.0f}};
        state.segmentColumn[k] = k;
        state.segmentRow[k] = k;
    }
    state.segmentCount = 2;
    EXPECT_EQ(VerifyRegionBorders(context->image, record, state), 0);
    state.segmentCount = 0;
    EXPECT_EQ(VerifyRegionBorders(context->image, record, state), 1);
    DestroyDecoderContext(&context);
}

TEST(BorderVerificationRulesTest, CountsMinoritySamples)
{
    // Columns alternate dark and light every 4 pixels; a row across 10 of them samples each once.
    std::vector<uint8_t> plane(64 * 8, 255);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 64; ++x) {
            if ((x / 4) % 2 == 0 && x < 28) {
                plane[y * 64 + x] = 0;
            }
        }
    }
    DecoderContext* context = CreateDecoderContext();
    ASSERT_NE(context, nullptr);
    context->image.width = 64;
    context->image.height = 8;
    context->image.current = plane.data();
    SymbolRecord record{};
    record.contrast.contrastReference = 255.0f;
    record.contrast.contrastSign = -1.0f;
    record.contrast.inkThreshold = 127.0f;
    const FittedLine across{1, 0, 0.0f, 40.0f, {0.0f, 4.0f}, {1.0f, 0.0f}};
    EXPECT_EQ(CountMinoritySamples(context->image, record, across, 10), 4); // dark bars at 0, 8, 16, 24
    EXPECT_EQ(CountMinoritySamples(context->image, record, across, 0), 0);
    const FittedLine light{1, 0, 0.0f, 30.0f, {32.0f, 4.0f}, {1.0f, 0.0f}};
    EXPECT_EQ(CountMinoritySamples(context->image, record, light, 10), 0);
    context->image = GrayImage{};
    DestroyDecoderContext(&context);
}

} // namespace
} // namespace norvale
