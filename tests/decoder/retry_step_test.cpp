#include "decoder/retry_step.h"
#include "image/gray_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace norvale {
namespace {

using test::MakeImage;
using test::Pattern;
using test::Plane;

// ---------------------------------------------------------------------------------------------
// MagnifyRegion.

struct MagnifyCase
{
    const char* name;
    uint32_t width;
    uint32_t height;
    float factor;
    int32_t cx;
    int32_t cy;
    int32_t r;
    int applied;
    bool changes; // whether a pattern picture is altered
};

const MagnifyCase kMagnifyCases[] = {
    {"InsideFits", 20, 20, 2.5f, 10, 10, 3, 1, true},
    {"FactorOneIsIdentity", 12, 12, 1.0f, 6, 6, 4, 1, false},
    {"SourceSquareTouchesLeftAndRight", 10, 40, 1.0f, 5, 20, 5, 1, false},
    {"SourceSquareTouchesButOutputTooBig", 10, 40, 2.5f, 5, 20, 5, 0, false},
    {"SourceSquarePastLeft", 20, 20, 1.5f, 2, 10, 3, 0, false},
    {"SourceSquarePastTop", 20, 20, 1.5f, 10, 18, 3, 0, false},
    {"OutputPastLeft", 30, 30, 2.5f, 5, 15, 4, 0, false},
    {"OutputPastBottom", 30, 30, 2.5f, 15, 5, 4, 0, false},
    {"ZeroRadiusChangesNothing", 8, 8, 2.5f, 4, 4, 0, 1, false},
    {"NegativeRadius", 8, 8, 2.5f, 4, 4, -2, 0, false},
    {"NegativeFactor", 20, 20, -2.0f, 10, 10, 3, 0, false},
    {"NotANumberFactor", 20, 20, std::numeric_limits<float>::quiet_NaN(), 10, 10, 3, 0, false},
    {"HugeFactor", 20, 20, 1e30f, 10, 10, 3, 0, false},
    {"ExtremeCentre", 20, 20, 2.5f, INT32_MAX, INT32_MIN, 3, 0, false},
};

class MagnifyRegionTest : public ::testing::TestWithParam<MagnifyCase>
{
};

TEST_P(MagnifyRegionTest, AppliesOrLeavesImage)
{
    const MagnifyCase& c = GetParam();
    const std::vector<uint8_t> pixels = Pattern(c.width, c.height);
    GrayImage image = MakeImage(c.width, c.height, pixels);
    EXPECT_EQ(MagnifyRegion(image, c.factor, c.cx, c.cy, c.r), c.applied);
    EXPECT_EQ(Plane(image, image.current) != pixels, c.changes);
    FreeGrayImage(image);
}

INSTANTIATE_TEST_SUITE_P(Cases, MagnifyRegionTest, ::testing::ValuesIn(kMagnifyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RetryStepTest, MagnifyEnlargesAroundCentre)
{
    // A 2x2 dark block at (9..10, 9..10) in a light 20x20 picture; factor 2 over r = 4 gives a
    // 16x16 output square at 2..17 sampled every half pixel from 6..14.
    const uint32_t side = 20;
    std::vector<uint8_t> pixels(side * side, 200);
    for (uint32_t y = 9; y <= 10; ++y) {
        for (uint32_t x = 9; x <= 10; ++x) {
            pixels[y * side + x] = 0;
        }
    }
    GrayImage image = MakeImage(side, side, pixels);
    ASSERT_EQ(MagnifyRegion(image, 2.0f, 10, 10, 4), 1);
    // Output x = 2 + j samples source x = 6 + j / 2: pixels 9 and 10 land at x = 8 and x = 10,
    // the half-way sample between them overshoots to 0, and 7 and 11 are half-way to the light.
    const uint8_t* p = image.current;
    EXPECT_EQ(p[8 * side + 8], 0);
    EXPECT_EQ(p[9 * side + 9], 0);
    EXPECT_EQ(p[10 * side + 10], 0);
    EXPECT_EQ(p[8 * side + 7], 100);
    EXPECT_EQ(p[8 * side + 11], 100);
    EXPECT_EQ(p[3 * side + 3], 200);
    EXPECT_EQ(p[16 * side + 16], 200);
    EXPECT_EQ(p[0], 200); // outside the output square
    FreeGrayImage(image);
}

TEST(RetryStepTest, MagnifyWritesTheCurrentPlaneOnly)
{
    const std::vector<uint8_t> pixels = Pattern(16, 16);
    GrayImage image = MakeImage(16, 16, pixels);
    ASSERT_EQ(UseFilteredPlane(image), 1);
    const std::vector<uint8_t> median = Plane(image, image.median);
    ASSERT_EQ(UseSourcePlane(image), 1);
    ASSERT_EQ(MagnifyRegion(image, 2.5f, 8, 8, 2), 1);
    EXPECT_NE(Plane(image, image.source), pixels);
    EXPECT_EQ(Plane(image, image.median), median);
    FreeGrayImage(image);
}

// ---------------------------------------------------------------------------------------------
// StretchContrast.

struct StretchCase
{
    const char* name;
    float b1;
    float b2;
    float k;
    int applied;
    uint8_t in[4];
    uint8_t out[4];
};

// lo = 100, hi = 150, k = 2: o = 100, s = 155 / 205, a = 75.61, b = 175.61.
const StretchCase kStretchCases[] = {
    {"BandSpread", 100, 150, 2.0f, 1, {100, 125, 149, 150}, {76, 126, 174, 176}},
    {"BoundsSwapped", 150, 100, 2.0f, 1, {100, 125, 149, 150}, {76, 126, 174, 176}},
    {"EndsFixed", 100, 150, 2.0f, 1, {0, 255, 50, 200}, {0, 255, 38, 213}},
    {"EqualBoundsKeepValues", 90, 90, 2.0f, 1, {0, 89, 90, 255}, {0, 89, 90, 255}},
    {"WideBandRejected", 20, 220, 2.0f, 0, {0, 50, 100, 255}, {0, 50, 100, 255}},
    {"FullRangeRejected", 0, 255, 0.5f, 0, {0, 50, 100, 255}, {0, 50, 100, 255}},
    {"NotANumberBound",
     std::numeric_limits<float>::quiet_NaN(),
     20,
     2.0f,
     0,
     {0, 50, 100, 255},
     {0, 50, 100, 255}},
    {"NegativeSlope", 100, 150, -2.0f, 1, {0, 120, 149, 255}, {0, 133, 75, 255}},
    {"SteepNegativeSlopeClamped", 100, 150, -10.0f, 1, {0, 99, 120, 149}, {0, 255, 168, 0}},
};

class StretchContrastTest : public ::testing::TestWithParam<StretchCase>
{
};

TEST_P(StretchContrastTest, MapsValues)
{
    const StretchCase& c = GetParam();
    // A 5x2 picture: the window (0..4) x (0..1) with the upper bounds excluded covers row 0,
    // columns 0..3.
    std::vector<uint8_t> pixels = {c.in[0], c.in[1], c.in[2], c.in[3], 7, 1, 2, 3, 4, 5};
    GrayImage image = MakeImage(5, 2, pixels);
    EXPECT_EQ(StretchContrast(image, 2.0f, 0.0f, 2, c.b1, c.b2, c.k), c.applied);
    const std::vector<uint8_t> expected = {c.out[0], c.out[1], c.out[2], c.out[3], 7, 1, 2, 3, 4, 5};
    EXPECT_EQ(Plane(image, image.current), expected);
    FreeGrayImage(image);
}

INSTANTIATE_TEST_SUITE_P(Cases, StretchContrastTest, ::testing::ValuesIn(kStretchCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct WindowCase
{
    const char* name;
    float cx;
    float cy;
    int32_t half;
    int x0, y0, x1, y1; // pixels changed: x0 <= x < x1, y0 <= y < y1
};

const WindowCase kWindowCases[] = {
    {"Inside", 4.0f, 4.0f, 2, 2, 2, 6, 6},
    {"FractionalCentreTruncated", 4.7f, 3.2f, 2, 2, 1, 6, 5},
    {"PastLeftAndBottomStartsAtZero", 1.0f, 0.0f, 3, 0, 0, 4, 3},
    {"PastRightAndTopStopsBeforeLastColumnAndRow", 8.0f, 7.0f, 3, 5, 4, 9, 7},
    {"WholePicture", 5.0f, 4.0f, 100, 0, 0, 9, 7},
    {"NegativeHalfIsEmpty", 4.0f, 4.0f, -2, 0, 0, 0, 0},
    {"FarOutsideIsEmpty", -500.0f, 1e9f, 2, 0, 0, 0, 0},
};

class StretchWindowTest : public ::testing::TestWithParam<WindowCase>
{
};

TEST_P(StretchWindowTest, ChangesOnlyTheWindow)
{
    const WindowCase& c = GetParam();
    const uint32_t width = 10;
    const uint32_t height = 8;
    GrayImage image = MakeImage(width, height, std::vector<uint8_t>(width * height, 50));
    ASSERT_EQ(StretchContrast(image, c.cx, c.cy, c.half, 100.0f, 150.0f, 2.0f), 1);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const bool inside = int(x) >= c.x0 && int(x) < c.x1 && int(y) >= c.y0 && int(y) < c.y1;
            // 50 * 155 / 205 = 37.8 -> 38
            EXPECT_EQ(image.current[y * width + x], inside ? 38 : 50) << "x " << x << " y " << y;
        }
    }
    FreeGrayImage(image);
}

INSTANTIATE_TEST_SUITE_P(Windows, StretchWindowTest, ::testing::ValuesIn(kWindowCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale
