#include "apps/desktop/annotation.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using norvale::SymbolPoint;

// A PNG read back as RGB, top row first.
struct RgbPicture
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<png_byte> pixels;

    const png_byte* At(int32_t x, int32_t y) const { return &pixels[(size_t(y) * width + size_t(x)) * 3]; }
    bool Is(int32_t x, int32_t y, const unsigned char* colour) const
    {
        return x >= 0 && y >= 0 && uint32_t(x) < width && uint32_t(y) < height &&
               std::memcmp(At(x, y), colour, 3) == 0;
    }
};

bool ReadRgb(const std::string& path, RgbPicture& picture)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    picture.pixels.resize(PNG_IMAGE_SIZE(png));
    picture.width = png.width;
    picture.height = png.height;
    const bool ok = png_image_finish_read(&png, nullptr, picture.pixels.data(), 0, nullptr) != 0;
    png_image_free(&png);
    return ok;
}

std::string OutputPath(const std::string& name)
{
    return std::string(NORVALE_TEST_OUTPUT_DIR) + "/" + name;
}

struct AnnotationCase
{
    const char* name;
    const char* picture;
};

// Pictures from the corpus: upright, turned and in perspective, in each format.
constexpr AnnotationCase kAnnotationCases[] = {
    {"UprightPng", "blackbox/formats/png-grey8.png"},      {"UprightBmp", "apps/symbol-24.bmp"},
    {"UprightJpeg", "blackbox/formats/jpeg-q90.jpg"},      {"Turned", "blackbox/rotated/rot-004.png"},
    {"Perspective", "blackbox/perspective/persp-004.png"},
};

class AnnotationTest : public ::testing::TestWithParam<AnnotationCase>
{
};

TEST_P(AnnotationTest, OutlineRunsThroughTheReportedCorners)
{
    const std::string picture = norvale::test::TestDataPath(GetParam().picture);
    const std::string out = OutputPath(std::string("annotated-") + GetParam().name + ".png");
    const norvale::Decoded decoded = norvale::DecodePath(picture);
    ASSERT_TRUE(decoded.ok());
    ASSERT_TRUE(norvale::app::WriteAnnotatedPicture(picture.c_str(), decoded, out.c_str()));

    RgbPicture annotated;
    ASSERT_TRUE(ReadRgb(out, annotated));
    EXPECT_EQ(annotated.height, decoded.pictureHeight);
    const auto corners = decoded.cornersFromTop();
    const auto& green = norvale::app::kDecodedOutline;
    for (int k = 0; k < 4; ++k) {
        EXPECT_TRUE(annotated.Is(corners[k].x, corners[k].y, green)) << "corner " << k;
    }
    // The middle of each side, and the symbol's centre left grey.
    constexpr int kSides[4][2] = {{0, 1}, {1, 3}, {3, 2}, {2, 0}};
    for (const auto& side : kSides) {
        const SymbolPoint a = corners[side[0]];
        const SymbolPoint b = corners[side[1]];
        EXPECT_TRUE(annotated.Is((a.x + b.x) / 2, (a.y + b.y) / 2, green))
            << "side " << side[0] << "-" << side[1];
    }
    const int32_t cx = (corners[0].x + corners[3].x) / 2;
    const int32_t cy = (corners[0].y + corners[3].y) / 2;
    const png_byte* centre = annotated.At(cx, cy);
    EXPECT_TRUE(centre[0] == centre[1] && centre[1] == centre[2]);
    std::remove(out.c_str());
}

INSTANTIATE_TEST_SUITE_P(Pictures, AnnotationTest, ::testing::ValuesIn(kAnnotationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AnnotationTest, NothingFoundLeavesThePictureGrey)
{
    const std::string picture = norvale::test::TestDataPath("apps/blank.png");
    const std::string out = OutputPath("annotated-blank.png");
    const norvale::Decoded decoded = norvale::DecodePath(picture);
    ASSERT_EQ(decoded.error, norvale::DecodeErrorKind::kNothingFound);
    ASSERT_TRUE(norvale::app::WriteAnnotatedPicture(picture.c_str(), decoded, out.c_str()));
    RgbPicture annotated;
    ASSERT_TRUE(ReadRgb(out, annotated));
    for (size_t i = 0; i + 2 < annotated.pixels.size(); i += 3) {
        ASSERT_TRUE(annotated.pixels[i] == annotated.pixels[i + 1] &&
                    annotated.pixels[i + 1] == annotated.pixels[i + 2]);
    }
    std::remove(out.c_str());
}

TEST(AnnotationTest, FailuresLeaveNoFile)
{
    const std::string out = OutputPath("annotated-refused.png");
    const norvale::Decoded none;
    EXPECT_FALSE(norvale::app::WriteAnnotatedPicture("/nonexistent/picture.png", none, out.c_str()));
    const std::string notAPicture = norvale::test::TestDataPath("blackbox/formats/png-grey8.bin");
    EXPECT_FALSE(norvale::app::WriteAnnotatedPicture(notAPicture.c_str(), none, out.c_str()));
    EXPECT_EQ(std::fopen(out.c_str(), "rb"), nullptr);
    const std::string picture = norvale::test::TestDataPath("apps/blank.png");
    EXPECT_FALSE(norvale::app::WriteAnnotatedPicture(picture.c_str(), none, "/nonexistent/dir/out.png"));
}

} // namespace
