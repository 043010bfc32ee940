#include "decoder/base/image_sampling.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace norvale {
namespace {

// A picture over a caller-held plane (nothing to free).
GrayImage View(std::vector<uint8_t>& pixels, uint32_t width, uint32_t height)
{
    GrayImage image{};
    image.scale = 1;
    image.width = width;
    image.height = height;
    image.source = pixels.data();
    image.current = pixels.data();
    return image;
}

constexpr uint32_t kWidth = 8;
constexpr uint32_t kHeight = 6;

// Distinct values everywhere: 10 * y + 3 * x + 20.
std::vector<uint8_t> Ramp()
{
    std::vector<uint8_t> pixels(kWidth * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            pixels[y * kWidth + x] = static_cast<uint8_t>(10 * y + 3 * x + 20);
        }
    }
    return pixels;
}

// Columns 0..3 black, 4..7 white, on every row.
std::vector<uint8_t> Step()
{
    std::vector<uint8_t> pixels(kWidth * kHeight);
    for (uint32_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = (i % kWidth) < 4 ? 0 : 255;
    }
    return pixels;
}

TEST(ImageSamplingTest, PixelAtReadsInsideAndGivesZeroOutside)
{
    std::vector<uint8_t> pixels = Ramp();
    const GrayImage image = View(pixels, kWidth, kHeight);
    float v = -1.0f;
    PixelAt(v, image, 3, 2);
    EXPECT_EQ(v, 10 * 2 + 3 * 3 + 20);
    PixelAt(v, image, kWidth - 1, kHeight - 1);
    EXPECT_EQ(v, 10 * 5 + 3 * 7 + 20);
    PixelAt(v, image, kWidth, 0);
    EXPECT_EQ(v, 0.0f);
    PixelAt(v, image, 0, kHeight);
    EXPECT_EQ(v, 0.0f);
    PixelAt(v, image, UINT32_MAX, 0); // -1 as unsigned
    EXPECT_EQ(v, 0.0f);
}

struct SampleCase
{
    const char* name;
    bool step; // picture: the step (else the ramp)
    float x;
    float y;
    float expected;
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

const SampleCase kSampleCases[] = {
    {"IntegerPointInside", false, 3.0f, 2.0f, 10 * 2 + 3 * 3 + 20},
    {"IntegerPointOrigin", false, 0.0f, 0.0f, 20},
    {"IntegerPointLastColumn", false, 7.0f, 1.0f, 10 * 1 + 3 * 7 + 20},
    {"IntegerPointLastRow", false, 2.0f, 5.0f, 10 * 5 + 3 * 2 + 20},
    {"IntegerPointLastCorner", false, 7.0f, 5.0f, 10 * 5 + 3 * 7 + 20},
    {"IntegerPointNextToLast", false, 6.0f, 4.0f, 10 * 4 + 3 * 6 + 20},
    // A linear ramp is reproduced exactly between pixels away from the borders.
    {"HalfWayOnRamp", false, 3.5f, 2.5f, 10 * 2.5f + 3 * 3.5f + 20},
    {"AtWidthIsOutside", false, 8.0f, 2.0f, 0.0f},
    {"AtHeightIsOutside", false, 2.0f, 6.0f, 0.0f},
    {"MinusOneIsOutside", false, -1.0f, 2.0f, 0.0f},
    {"MinusOneRowIsOutside", false, 2.0f, -1.0f, 0.0f},
    {"NotANumberIsOutside", false, kNaN, 2.0f, 0.0f},
    {"NotANumberRowIsOutside", false, 2.0f, kNaN, 0.0f},
    {"HugeIsOutside", false, 1e20f, 2.0f, 0.0f},
    {"HugeNegativeIsOutside", false, 2.0f, -1e20f, 0.0f},
    {"InfinityIsOutside", false, std::numeric_limits<float>::infinity(), 0.0f, 0.0f},
    {"StepHalfWay", true, 3.5f, 2.0f, 127.5f},
    {"StepUndershootClamped", true, 2.5f, 2.0f, 0.0f},
    {"StepOvershootClamped", true, 4.5f, 2.0f, 255.0f},
    {"StepDarkSideExact", true, 3.0f, 2.0f, 0.0f},
    {"StepLightSideExact", true, 4.0f, 2.0f, 255.0f},
};

class SampleBicubicTest : public ::testing::TestWithParam<SampleCase>
{
};

TEST_P(SampleBicubicTest, Samples)
{
    std::vector<uint8_t> pixels = GetParam().step ? Step() : Ramp();
    const GrayImage image = View(pixels, kWidth, kHeight);
    float v = -1.0f;
    SampleBicubic(v, image, GetParam().x, GetParam().y);
    EXPECT_NEAR(v, GetParam().expected, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Points, SampleBicubicTest, ::testing::ValuesIn(kSampleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Near the borders the taps are clamped to the picture; on a flat picture every accepted
// position gives the flat value (the weights sum to 1 whatever the fraction).
struct BorderCase
{
    const char* name;
    float x;
    float y;
};

const BorderCase kBorderCases[] = {
    {"HalfPastLastColumn", kWidth - 0.5f, 2.0f}, {"HalfPastLastRow", 3.0f, kHeight - 0.5f},
    {"HalfBeforeFirstColumn", -0.5f, 2.0f},      {"HalfBeforeFirstRow", 3.0f, -0.5f},
    {"BothBeforeOrigin", -0.9f, -0.9f},          {"BothPastFarCorner", kWidth - 0.01f, kHeight - 0.01f},
    {"NextToLastColumn", kWidth - 1.7f, 1.3f},
};

class SampleBicubicBorderTest : public ::testing::TestWithParam<BorderCase>
{
};

TEST_P(SampleBicubicBorderTest, FlatPictureStaysFlat)
{
    std::vector<uint8_t> pixels(kWidth * kHeight, 100);
    const GrayImage image = View(pixels, kWidth, kHeight);
    float v = -1.0f;
    SampleBicubic(v, image, GetParam().x, GetParam().y);
    EXPECT_NEAR(v, 100.0f, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Borders, SampleBicubicBorderTest, ::testing::ValuesIn(kBorderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageSamplingTest, LastColumnRepeatsItsEdgePixel)
{
    // At ix = width - 1 the taps are -1, 0, 0, 0: a sample half a pixel past the last column sees
    // the edge pixel three times and its left neighbour once.
    std::vector<uint8_t> pixels = Ramp();
    const GrayImage image = View(pixels, kWidth, kHeight);
    float v = 0.0f;
    SampleBicubic(v, image, kWidth - 0.5f, 0.0f);
    // Weights at fx = 0.5: far(1.5) = -0.125 on x = 6, the rest (1.125) on x = 7.
    EXPECT_NEAR(v, -0.125f * 38 + 1.125f * 41, 1e-4);
}

TEST(ImageSamplingTest, SinglePixelPicture)
{
    std::vector<uint8_t> pixels = {77};
    const GrayImage image = View(pixels, 1, 1);
    float v = 0.0f;
    SampleBicubic(v, image, 0.3f, 0.6f);
    EXPECT_NEAR(v, 77.0f, 1e-3);
    SampleBicubic(v, image, 1.0f, 0.0f);
    EXPECT_EQ(v, 0.0f);
}

TEST(ImageSamplingTest, EmptyPictureGivesZero)
{
    GrayImage image{};
    float v = -1.0f;
    SampleBicubic(v, image, 0.0f, 0.0f);
    EXPECT_EQ(v, 0.0f);
    PixelAt(v, image, 0, 0);
    EXPECT_EQ(v, 0.0f);
}

TEST(ImageSamplingTest, BilinearFollowsTheRampAndHandsTheEdgesToTheCubicSample)
{
    std::vector<uint8_t> pixels = Ramp();
    const GrayImage image = View(pixels, kWidth, kHeight);
    struct Case
    {
        float x;
        float y;
    } const cases[] = {{0.0f, 0.0f},           {2.25f, 1.5f},
                       {6.9f, 4.9f},           {kWidth - 0.5f, 2.0f},
                       {3.0f, kHeight - 1.0f}, {-0.5f, 1.0f},
                       {kWidth + 1.0f, 1.0f},  {std::numeric_limits<float>::quiet_NaN(), 1.0f}};
    for (const Case& c : cases) {
        float bilinear = -1.0f;
        SampleBilinear(bilinear, image, c.x, c.y);
        const bool inside = c.x >= 0.0f && c.y >= 0.0f && c.x < kWidth - 1.0f && c.y < kHeight - 1.0f;
        float expected = -1.0f;
        if (inside) {
            // The ramp is linear in x and y, so bilinear interpolation reproduces it exactly.
            expected = 10.0f * c.y + 3.0f * c.x + 20.0f;
        } else {
            SampleBicubic(expected, image, c.x, c.y);
        }
        EXPECT_NEAR(bilinear, expected, 1e-4) << c.x << ", " << c.y;
    }
}

// A lattice weighs its columns and rows once: every cell must still be the one-at-a-time cubic
// sample, cut to a byte, inside, at the edges, outside and at positions that are not a number,
// across more columns than one block of them.
TEST(ImageSamplingTest, LatticeCellsAreTheSamplesOneByOne)
{
    constexpr uint32_t kSide = 90;
    std::vector<uint8_t> pixels = test::Pattern(kSide, kSide);
    const GrayImage image = View(pixels, kSide, kSide);
    std::vector<float> xs;
    for (int k = 0; k < 75; ++k) {
        xs.push_back(-1.5f + 1.37f * static_cast<float>(k));
    }
    xs.push_back(std::numeric_limits<float>::quiet_NaN());
    const std::vector<float> ys = {-0.5f, 0.0f, 0.99f, 1.0f, 40.3f, 86.99f, 87.0f, 89.5f, 95.0f};
    std::vector<uint8_t> lattice(xs.size() * ys.size());
    SampleBicubicLattice(image, xs.data(), xs.size(), ys.data(), ys.size(), lattice.data());
    for (size_t i = 0; i < ys.size(); ++i) {
        for (size_t j = 0; j < xs.size(); ++j) {
            float v = 0.0f;
            SampleBicubic(v, image, xs[j], ys[i]);
            EXPECT_EQ(lattice[i * xs.size() + j], static_cast<uint8_t>(v)) << xs[j] << ", " << ys[i];
        }
    }
}

// Four points weighed side by side must give each point's own cubic sample, bit for bit: four
// interior points at many fractions, and sets where one point lies at an edge, outside or is not
// a number (those are sampled one by one).
TEST(ImageSamplingTest, FourSamplesAreTheSamplesOneByOne)
{
    constexpr uint32_t kSide = 40;
    std::vector<uint8_t> pixels = test::Pattern(kSide, kSide);
    const GrayImage image = View(pixels, kSide, kSide);
    std::vector<std::array<float, 8>> sets; // x0 .. x3, y0 .. y3
    for (int k = 0; k < 50; ++k) {
        const float t = 0.173f * static_cast<float>(k);
        sets.push_back({1.0f + t, 2.5f + 0.61f * t, 36.9f - t, 20.0f + 0.07f * t, 1.0f + 0.5f * t, 30.3f - t,
                        12.25f + t, 36.99f - 0.2f * t});
    }
    sets.push_back({5.5f, 0.4f, 7.5f, 8.5f, 5.5f, 6.5f, 7.5f, 8.5f});
    sets.push_back({5.5f, 6.5f, 38.2f, 8.5f, 5.5f, 6.5f, 7.5f, 8.5f});
    sets.push_back({5.5f, 6.5f, 7.5f, -3.0f, 5.5f, 6.5f, 7.5f, 8.5f});
    sets.push_back({5.5f, 6.5f, 7.5f, 8.5f, 5.5f, std::numeric_limits<float>::quiet_NaN(), 7.5f, 8.5f});
    for (const auto& set : sets) {
        const float xs[4] = {set[0], set[1], set[2], set[3]};
        const float ys[4] = {set[4], set[5], set[6], set[7]};
        float four[4];
        SampleBicubicFour(image, xs, ys, four);
        for (int k = 0; k < 4; ++k) {
            float one = 0.0f;
            SampleBicubic(one, image, xs[k], ys[k]);
            EXPECT_EQ(std::bit_cast<uint32_t>(four[k]), std::bit_cast<uint32_t>(one))
                << xs[k] << ", " << ys[k];
        }
    }
}

} // namespace
} // namespace norvale
