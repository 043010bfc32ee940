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

TEST(GrayImageTest, InitLeavesPlanesAndSetsScale)
{
    GrayImage image{};
    image.scale = 7;
    image.width = 3;
    image.height = 4;
    InitGrayImage(image);
    EXPECT_EQ(image.scale, 1u);
    EXPECT_EQ(image.width, 0u);
    EXPECT_EQ(image.height, 0u);
    EXPECT_EQ(image.current, nullptr);
    EXPECT_EQ(image.source, nullptr);
    EXPECT_EQ(image.median, nullptr);
}

TEST(GrayImageTest, FreeReleasesPlanesAndKeepsSize)
{
    GrayImage image = MakeImage(3, 3, Pattern(3, 3));
    ASSERT_EQ(UseFilteredPlane(image), 1);
    image.scale = 2;
    FreeGrayImage(image);
    EXPECT_EQ(image.source, nullptr);
    EXPECT_EQ(image.median, nullptr);
    EXPECT_EQ(image.current, nullptr);
    EXPECT_EQ(image.scale, 1u);
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 3u);
    FreeGrayImage(image); // a second free finds nothing to release
}

TEST(GrayImageTest, UseSourcePlaneNeedsASource)
{
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(UseSourcePlane(image), 0);
    EXPECT_EQ(UseFilteredPlane(image), 0);
    EXPECT_EQ(BuildMedianPlane(image), 0);
}

TEST(GrayImageTest, SwitchesBetweenPlanesAndBuildsMedianOnce)
{
    GrayImage image = MakeImage(4, 4, Pattern(4, 4));
    EXPECT_EQ(image.current, image.source);
    ASSERT_EQ(UseFilteredPlane(image), 1);
    uint8_t* median = image.median;
    ASSERT_NE(median, nullptr);
    EXPECT_EQ(image.current, median);
    ASSERT_EQ(UseSourcePlane(image), 1);
    EXPECT_EQ(image.current, image.source);
    ASSERT_EQ(UseFilteredPlane(image), 1);
    EXPECT_EQ(image.median, median);
    EXPECT_EQ(image.current, median);
    FreeGrayImage(image);
}

// ---------------------------------------------------------------------------------------------
// Median plane: separable 3-tap median, first and last column and row copied.

struct MedianCase
{
    const char* name;
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> source;
    std::vector<uint8_t> median;
};

const MedianCase kMedianCases[] = {
    {"SinglePixel", 1, 1, {42}, {42}},
    {"TwoByTwoUnchanged", 2, 2, {9, 200, 0, 77}, {9, 200, 0, 77}},
    {"WidthOneCopiesRowsThenColumns", 1, 4, {10, 90, 20, 30}, {10, 20, 30, 30}},
    {"WidthTwoColumnPassOnly", 2, 3, {1, 2, 250, 250, 3, 4}, {1, 2, 3, 4, 3, 4}},
    {"HeightOneRowPassOnly", 5, 1, {0, 255, 0, 255, 0}, {0, 0, 255, 0, 0}},
    {"HeightTwoRowPassOnly", 4, 2, {5, 1, 9, 7, 0, 200, 100, 3}, {5, 5, 7, 7, 0, 100, 100, 3}},
    {"SaltRemoved", 3, 3, {10, 10, 10, 10, 255, 10, 10, 10, 10}, {10, 10, 10, 10, 10, 10, 10, 10, 10}},
    {"TiesGiveTiedValue", 3, 3, {4, 4, 9, 4, 9, 9, 1, 1, 1}, {4, 4, 9, 4, 4, 9, 1, 1, 1}},
    // Row pass: 3x3 rows (0 5 9 | 8 2 7 | 3 6 1) -> (0 5 9 | 8 7 7 | 3 3 1); the column pass
    // takes every column of the middle row: median(0, 8, 3), median(5, 7, 3), median(9, 7, 1).
    {"RowsThenColumns", 3, 3, {0, 5, 9, 8, 2, 7, 3, 6, 1}, {0, 5, 9, 3, 5, 7, 3, 3, 1}},
};

class MedianPlaneTest : public ::testing::TestWithParam<MedianCase>
{
};

TEST_P(MedianPlaneTest, BuildsFromCurrentPlane)
{
    const MedianCase& c = GetParam();
    GrayImage image = MakeImage(c.width, c.height, c.source);
    ASSERT_EQ(BuildMedianPlane(image), 1);
    EXPECT_EQ(image.current, image.median);
    EXPECT_NE(image.median, image.source);
    EXPECT_EQ(Plane(image, image.median), c.median);
    EXPECT_EQ(Plane(image, image.source), c.source);
    FreeGrayImage(image);
}

INSTANTIATE_TEST_SUITE_P(Cases, MedianPlaneTest, ::testing::ValuesIn(kMedianCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The row pass keeps only three rows at a time: a larger picture must still give the median of
// the row pass's results over each column.
TEST(GrayImageTest, MedianPlaneIsTheColumnMedianOfTheRowMedians)
{
    constexpr uint32_t kWidth = 37;
    constexpr uint32_t kHeight = 23;
    const std::vector<uint8_t> source = Pattern(kWidth, kHeight);
    const auto median = [](int a, int b, int c) {
        return std::max(std::min(a, b), std::min(std::max(a, b), c));
    };
    std::vector<int> rows(source.begin(), source.end());
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 1; x + 1 < kWidth; ++x) {
            const size_t i = y * kWidth + x;
            rows[i] = median(source[i - 1], source[i], source[i + 1]);
        }
    }
    std::vector<uint8_t> expected(rows.begin(), rows.end());
    for (uint32_t y = 1; y + 1 < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            const size_t i = y * kWidth + x;
            expected[i] = static_cast<uint8_t>(median(rows[i - kWidth], rows[i], rows[i + kWidth]));
        }
    }
    GrayImage image = MakeImage(kWidth, kHeight, source);
    ASSERT_EQ(BuildMedianPlane(image), 1);
    EXPECT_EQ(Plane(image, image.median), expected);
    FreeGrayImage(image);
}

TEST(GrayImageTest, MedianOfEmptyPictureSucceeds)
{
    GrayImage image = MakeImage(0, 0, {});
    EXPECT_EQ(UseFilteredPlane(image), 1);
    FreeGrayImage(image);
}

} // namespace
} // namespace norvale
