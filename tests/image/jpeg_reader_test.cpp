#include "image/jpeg_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace norvale {
namespace {

// colour_top_blue.jpg: 24 x 16, top 8 rows pure blue (grey 29), bottom 8 rows yellow (grey 225),
// written at quality 95 without chroma subsampling.
constexpr uint32_t kFixtureWidth = 24;
constexpr uint32_t kFixtureHeight = 16;
constexpr int kBlueGrey = 29;
constexpr int kYellowGrey = 225;
constexpr int kTolerance = 6;

TEST(JpegReaderTest, ColourFileLoadsBottomRowFirst)
{
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadJpegFromFile(image, test::TestDataPath("formats/colour_top_blue.jpg").c_str()), 1);
    ASSERT_EQ(image.width, kFixtureWidth);
    ASSERT_EQ(image.height, kFixtureHeight);
    EXPECT_EQ(image.scale, 1u);
    EXPECT_EQ(image.current, image.source);
    for (uint32_t y = 0; y < kFixtureHeight; ++y) {
        // Stored rows 0..7 are the bottom of the picture (yellow), 8..15 the top (blue). The rows
        // next to the colour change are left out: compression blurs them.
        if (y == 7 || y == 8) {
            continue;
        }
        const int expected = y < kFixtureHeight / 2 ? kYellowGrey : kBlueGrey;
        for (uint32_t x = 0; x < kFixtureWidth; ++x) {
            EXPECT_NEAR(image.source[y * kFixtureWidth + x], expected, kTolerance) << "x " << x << " y " << y;
        }
    }
    FreeGrayImage(image);
}

// vertical_ramp.jpg: 40 x 50, chroma halved both ways (libjpeg hands the rows out in pairs, a row
// group at a time), picture row y grey 5 y counted from the top; written at quality 90. A row
// out of place is off by 5 or more.
TEST(JpegReaderTest, EveryRowLandsInItsPlace)
{
    constexpr uint32_t kWidth = 40;
    constexpr uint32_t kHeight = 50;
    constexpr int kStep = 5;
    constexpr int kRampTolerance = 2;
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadJpegFromFile(image, test::TestDataPath("formats/vertical_ramp.jpg").c_str()), 1);
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    for (uint32_t j = 0; j < kHeight; ++j) {
        const int expected = kStep * int(kHeight - 1 - j);
        for (uint32_t x = 0; x < kWidth; ++x) {
            ASSERT_NEAR(image.source[j * kWidth + x], expected, kRampTolerance) << "x " << x << " row " << j;
        }
    }
    FreeGrayImage(image);
}

// Rows shorter than, as long as and longer than the sixteen pixels converted side by side, with
// every corner of the colour cube among them: each grey is GrayFromRgb's.
TEST(JpegReaderTest, RowsConvertAsGrayFromRgb)
{
    for (const size_t width :
         {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{40}, size_t{259}}) {
        std::vector<uint8_t> rgbx(4 * width + 1);
        uint32_t state = static_cast<uint32_t>(width) + 7;
        for (size_t i = 0; i < rgbx.size(); ++i) {
            state = state * 1103515245u + 12345u;
            rgbx[i] = static_cast<uint8_t>(state >> 24);
        }
        for (size_t i = 0; i < width && i < 8; ++i) {
            rgbx[4 * i] = (i & 1) != 0 ? 255 : 0;
            rgbx[4 * i + 1] = (i & 2) != 0 ? 255 : 0;
            rgbx[4 * i + 2] = (i & 4) != 0 ? 255 : 0;
        }
        std::vector<uint8_t> grey(width + 1, 77);
        GreyFromRgbxRow(rgbx.data(), grey.data(), width);
        for (size_t i = 0; i < width; ++i) {
            ASSERT_EQ(grey[i], GrayFromRgb(rgbx[4 * i], rgbx[4 * i + 1], rgbx[4 * i + 2]))
                << width << ": " << i;
        }
        EXPECT_EQ(grey[width], 77) << "nothing written past the row";
    }
}

std::vector<uint8_t> Fixture()
{
    return test::ReadFileBytes(test::TestDataPath("formats/colour_top_blue.jpg"));
}

struct RefusedCase
{
    const char* name;
    std::function<std::vector<uint8_t>()> make;
};

const RefusedCase kRefusedCases[] = {
    {"Greyscale", [] { return test::ReadFileBytes(test::TestDataPath("formats/grey.jpg")); }},
    {"Cmyk", [] { return test::ReadFileBytes(test::TestDataPath("formats/cmyk.jpg")); }},
    {"Empty", [] { return std::vector<uint8_t>{}; }},
    {"NotAJpeg", [] { return std::vector<uint8_t>{'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9}; }},
    {"TruncatedInHeader",
     [] {
         std::vector<uint8_t> b = Fixture();
         b.resize(40);
         return b;
     }},
    {"StartOfImageOnly",
     [] {
         return std::vector<uint8_t>{0xFF, 0xD8};
     }},
    {"HugeDimensions",
     [] {
         // The frame header's height and width (bytes 5..8 after the SOF0 marker) set to 65000 x 65000.
         std::vector<uint8_t> b = Fixture();
         for (size_t i = 0; i + 9 < b.size(); ++i) {
             if (b[i] == 0xFF && b[i + 1] == 0xC0) {
                 b[i + 5] = 0xFD;
                 b[i + 6] = 0xE8;
                 b[i + 7] = 0xFD;
                 b[i + 8] = 0xE8;
                 break;
             }
         }
         return b;
     }},
};

class JpegRefusedTest : public ::testing::TestWithParam<RefusedCase>
{
};

TEST_P(JpegRefusedTest, Refused)
{
    const std::string path = norvale::test::ScratchDir() + "jpeg_" + GetParam().name + ".jpg";
    const std::vector<uint8_t> bytes = GetParam().make();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    }
    std::fclose(file);
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadJpegFromFile(image, path.c_str()), 0);
    EXPECT_EQ(image.source, nullptr);
    EXPECT_EQ(image.width, 0u);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Defects, JpegRefusedTest, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegReaderTest, TruncatedScanStillLoadsWithoutCrash)
{
    // libjpeg pads a scan that ends early and only warns; the picture keeps its size.
    std::vector<uint8_t> bytes = Fixture();
    size_t scanStart = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) {
            scanStart = i;
        }
    }
    ASSERT_GT(scanStart, 0u);
    bytes.resize(scanStart + 16); // the scan header and a few bytes of entropy-coded data
    const std::string path = norvale::test::ScratchDir() + "jpeg_truncated_scan.jpg";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadJpegFromFile(image, path.c_str()), 1);
    EXPECT_EQ(image.width, kFixtureWidth);
    EXPECT_EQ(image.height, kFixtureHeight);
    FreeGrayImage(image);
    std::remove(path.c_str());
}

TEST(JpegReaderTest, MissingFileRefused)
{
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadJpegFromFile(image, (norvale::test::ScratchDir() + "no_such_file.jpg").c_str()), 0);
    EXPECT_EQ(LoadJpegFromFile(image, nullptr), 0);
}

} // namespace
} // namespace norvale
