#include "decoder/quiet_zone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "decoder/decoder_context.h"
#include "decoder/search_driver.h"
#include "test_support.h"

namespace norvale {
namespace {

using test::ContextPtr;

ContextPtr MakeContext()
{
    return test::MakeTestContext();
}

// A clean symbol picture cut down to `margin` pixels around its dark modules, every `step`-th
// pixel kept (step 3 on a 3-pixel module gives one pixel per module).
void LoadCroppedSymbol(GrayImage& out, const char* file, int margin, int step)
{
    GrayImage picture{};
    ASSERT_TRUE(test::LoadTestPicture(picture, test::TestDataPath(file)));
    const test::DarkBox box = test::FindDarkBox(picture);
    const int x0 = box.minX - margin, y0 = box.minY - margin;
    const uint32_t width = static_cast<uint32_t>((box.maxX - box.minX + 1 + 2 * margin + step - 1) / step);
    const uint32_t height = static_cast<uint32_t>((box.maxY - box.minY + 1 + 2 * margin + step - 1) / step);
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const int sx = x0 + int(x) * step + step / 2;
            const int sy = y0 + int(y) * step + step / 2;
            const bool inside = sx >= 0 && sy >= 0 && sx < int(picture.width) && sy < int(picture.height);
            plane[y * width + x] = inside ? picture.source[sy * picture.width + sx] : 255;
        }
    }
    test::FreeTestPicture(picture);
    out = GrayImage{};
    AdoptSourcePlane(out, plane, width, height);
}

TEST(QuietZoneTest, SymbolCutAtItsEdgesDecodesWithAMargin)
{
    ContextPtr context = MakeContext();
    LoadCroppedSymbol(context->image, "sizes/s016-0.png", 0, 1);
    const uint32_t width = context->image.width;
    const uint32_t height = context->image.height;
    ASSERT_EQ(SearchSymbols(*context, 20, 20), 0);
    ASSERT_EQ(SearchWithAddedQuietZone(*context), 1);
    EXPECT_EQ(GetSymbolSide(GetSymbol(*context, 0)), 16u);
    // The margined copy was searched; the picture itself is left as it was.
    EXPECT_EQ(context->image.width, width);
    EXPECT_EQ(context->image.height, height);
    // Corners come back in the cropped picture's pixels: its four outer corners.
    const float expectedX[4] = {0, 0, float(width), float(width)};
    const float expectedY[4] = {0, float(height), 0, float(height)};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(context->corners[k].x, expectedX[k] - 0.5f, 2.0f) << k;
        EXPECT_NEAR(context->corners[k].y, expectedY[k] - 0.5f, 2.0f) << k;
    }
}

struct TightCrop
{
    const char* name;
    float degrees;     // turn of the symbol about its centre
    int margins[4];    // light pixels kept outside the turned symbol: left, top, right, bottom
    uint32_t surround; // dark frame round the crop, in pixels
    bool cutAtFinder;  // what the cheap evidence for a finder at the edge should say
};

// The clean symbol of `file` doubled, turned, cut to `crop.margins` round its outline and framed
// by a dark surround.
void LoadTightCrop(GrayImage& out, const char* file, const TightCrop& crop)
{
    GrayImage picture{};
    ASSERT_TRUE(test::LoadTestPicture(picture, test::TestDataPath(file)));
    // The dark pixels' outline, to the outer edges of its end pixels.
    const test::DarkBox box = test::FindDarkBox(picture);
    const float minX = float(box.minX), minY = float(box.minY), maxX = float(box.maxX + 1),
                maxY = float(box.maxY + 1);
    const float scale = 2.0f;
    const float c = std::cos(crop.degrees * 3.14159265f / 180.0f),
                s = std::sin(crop.degrees * 3.14159265f / 180.0f);
    const float cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
    const float half = scale * ((maxX - minX) / 2 * std::fabs(c) + (maxY - minY) / 2 * std::fabs(s));
    const int left = crop.margins[0] + int(crop.surround), top = crop.margins[1] + int(crop.surround);
    const uint32_t width = uint32_t(2 * half) + crop.margins[0] + crop.margins[2] + 2 * crop.surround;
    const uint32_t height = uint32_t(2 * half) + crop.margins[1] + crop.margins[3] + 2 * crop.surround;
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const bool frame = x < crop.surround || y < crop.surround || x + crop.surround >= width ||
                               y + crop.surround >= height;
            // Back through the turn and the doubling to the clean picture.
            const float dx = (float(x) + 0.5f - float(left) - half) / scale;
            const float dy = (float(y) + 0.5f - float(top) - half) / scale;
            const int sx = int(std::floor(cx + c * dx + s * dy)), sy = int(std::floor(cy - s * dx + c * dy));
            const bool inside = sx >= 0 && sy >= 0 && sx < int(picture.width) && sy < int(picture.height);
            plane[y * width + x] = frame ? 40 : inside ? picture.source[sy * picture.width + sx] : 255;
        }
    }
    test::FreeTestPicture(picture);
    out = GrayImage{};
    AdoptSourcePlane(out, plane, width, height);
}

// Crops that leave the symbol's own edge as the picture's edge, or against a dark surround, on
// every side: the cheap evidence starts the margined search, which reads the symbol.
TEST(QuietZoneTest, TightCropsDecodeWithAMargin)
{
    const TightCrop crops[] = {
        {"cut on every side, turned 3 degrees", 3.0f, {0, 0, 0, 0}, 0, true},
        {"cut on every side, turned -4 degrees", -4.0f, {0, 0, 0, 0}, 0, true},
        {"one finder leg at the edge, the left", 0.0f, {0, 12, 12, 12}, 0, true},
        {"one finder leg at the edge, the top", 0.0f, {12, 0, 12, 12}, 0, true},
        {"dark surround against every side", 0.0f, {0, 0, 0, 0}, 12, false},
        {"dark surround, light pixels on two sides", 0.0f, {0, 3, 3, 0}, 12, false},
        {"dark surround, light pixels on the other two", 0.0f, {3, 0, 0, 3}, 12, false},
    };
    for (const TightCrop& crop : crops) {
        ContextPtr context = MakeContext();
        LoadTightCrop(context->image, "sizes/s020-1.png", crop);
        const uint32_t width = context->image.width;
        EXPECT_FALSE(PictureFilledBySymbol(context->image)) << crop.name;
        EXPECT_EQ(SearchSymbols(*context, 20, 20), 0) << crop.name;
        EXPECT_EQ(PictureCutAtFinder(context->image), crop.cutAtFinder) << crop.name;
        ASSERT_EQ(SearchWithAddedQuietZone(*context), 1) << crop.name;
        EXPECT_EQ(GetSymbolSide(GetSymbol(*context, 0)), 20u) << crop.name;
        EXPECT_EQ(context->image.width, width) << crop.name;
    }
}

TEST(QuietZoneTest, OnePixelModulesAreEnlarged)
{
    ContextPtr context = MakeContext();
    LoadCroppedSymbol(context->image, "sizes/s012-1.png", 3, 3);
    ASSERT_LT(context->image.width, 20u);
    EXPECT_EQ(SearchWithAddedQuietZone(*context), 1);
    EXPECT_EQ(GetSymbolSide(GetSymbol(*context, 0)), 12u);
}

TEST(QuietZoneTest, PictureWithAClearEdgeIsLeftAlone)
{
    ContextPtr context = MakeContext();
    LoadCroppedSymbol(context->image, "sizes/s016-0.png", 12, 1);
    const uint32_t width = context->image.width;
    EXPECT_EQ(SearchWithAddedQuietZone(*context), 0);
    EXPECT_EQ(context->image.width, width);
}

// A dark frame runs solid along every side; a cut-out symbol has clock borders on two of them.
TEST(QuietZoneTest, DarkFrameIsLeftAlone)
{
    ContextPtr context = MakeContext();
    const uint32_t side = 120;
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{side} * side));
    for (uint32_t y = 0; y < side; ++y) {
        for (uint32_t x = 0; x < side; ++x) {
            const bool frame = x < 5 || y < 5 || x >= side - 5 || y >= side - 5;
            plane[y * side + x] = frame ? 10 : ((x / 7 + y / 11) % 2 == 0 ? 240 : 30);
        }
    }
    AdoptSourcePlane(context->image, plane, side, side);
    EXPECT_EQ(SearchWithAddedQuietZone(*context), 0);
    EXPECT_EQ(context->image.width, side);
}

// A textured dark surround reaching every edge has long dark runs on all four sides: no clock.
TEST(QuietZoneTest, TexturedDarkSurroundIsNoCutOutSymbol)
{
    ContextPtr context = MakeContext();
    LoadCroppedSymbol(context->image, "sizes/s016-0.png", 8, 1);
    GrayImage& image = context->image;
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            const bool margin = x < 6 || y < 6 || x + 6 >= image.width || y + 6 >= image.height;
            seed = seed * 1103515245u + 12345u;
            if (margin) {
                image.source[y * image.width + x] = static_cast<uint8_t>(10 + (seed >> 16) % 50);
            }
        }
    }
    EXPECT_FALSE(PictureFilledBySymbol(image));
    EXPECT_EQ(SearchWithAddedQuietZone(*context), 0);
}

TEST(QuietZoneTest, UniformOrTinyPicturesAreLeftAlone)
{
    for (uint32_t side : {1u, 2u, 40u}) {
        ContextPtr context = MakeContext();
        auto* plane = static_cast<uint8_t*>(std::malloc(size_t{side} * side));
        std::memset(plane, 0, size_t{side} * side);
        AdoptSourcePlane(context->image, plane, side, side);
        EXPECT_EQ(SearchWithAddedQuietZone(*context), 0);
        EXPECT_EQ(context->image.width, side);
    }
}

} // namespace
} // namespace norvale
