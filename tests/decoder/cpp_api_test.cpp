#include "norvale/datamatrix.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using norvale::Decoded;
using norvale::DecodeErrorKind;
using norvale::GrayImage;
using norvale::RowOrder;

// The picture and the file holding its expected bytes, both under tests/data.
struct PictureCase
{
    const char* name;
    const char* picture;
    const char* expected;
};

constexpr PictureCase kPictureCases[] = {
    {"Bmp", "blackbox/formats/bmp-8bit-grey.bmp", "blackbox/formats/bmp-8bit-grey.bin"},
    {"BmpOneBit", "blackbox/formats/bmp-1bit.bmp", "blackbox/formats/bmp-1bit.bin"},
    {"Png", "blackbox/formats/png-grey8.png", "blackbox/formats/png-grey8.bin"},
    {"PngRgb", "blackbox/formats/png-rgb8.png", "blackbox/formats/png-rgb8.bin"},
    {"Jpeg", "blackbox/formats/jpeg-q90.jpg", "blackbox/formats/jpeg-q90.bin"},
    {"JpegUpperCaseName", "blackbox/formats/jpeg-q75-upper.JPG", "blackbox/formats/jpeg-q75-upper.bin"},
};

void ExpectDecoded(const Decoded& decoded, const PictureCase& c)
{
    const std::vector<uint8_t> expected =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath(c.expected));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(decoded.error, DecodeErrorKind::kNone);
    EXPECT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.bytes, expected);
    EXPECT_EQ(decoded.text(), std::string(expected.begin(), expected.end()));
    EXPECT_GE(decoded.side, 10u);
    EXPECT_LE(decoded.side, 144u);
    EXPECT_GT(decoded.pictureHeight, 0u);
    EXPECT_GE(decoded.correctedCount, 0);
}

class CppApiPictureTest : public ::testing::TestWithParam<PictureCase>
{
};

TEST_P(CppApiPictureTest, DecodesPath)
{
    ExpectDecoded(norvale::DecodePath(norvale::test::TestDataPath(GetParam().picture)), GetParam());
}

TEST_P(CppApiPictureTest, DecodesMemory)
{
    const std::vector<uint8_t> bytes =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath(GetParam().picture));
    ASSERT_FALSE(bytes.empty());
    ExpectDecoded(norvale::DecodeMemory(bytes.data(), bytes.size()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Formats, CppApiPictureTest, ::testing::ValuesIn(kPictureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A grey picture laid out in a caller's buffer, rows padded to stride bytes.
std::vector<uint8_t> LayOutRows(const GrayImage& image, size_t stride, RowOrder order)
{
    std::vector<uint8_t> buffer(stride * image.height, 0x5a);
    for (uint32_t row = 0; row < image.height; ++row) {
        // The test loader stores the bottom row first, as the readers do.
        const uint32_t sourceRow = order == RowOrder::kBottomFirst ? row : image.height - 1 - row;
        for (uint32_t x = 0; x < image.width; ++x) {
            buffer[row * stride + x] = image.source[size_t{sourceRow} * image.width + x];
        }
    }
    return buffer;
}

struct GrayCase
{
    const char* name;
    RowOrder order;
    size_t padding; // stride - width
};

constexpr GrayCase kGrayCases[] = {
    {"TopFirstPadded", RowOrder::kTopFirst, 13},
    {"BottomFirstPadded", RowOrder::kBottomFirst, 7},
    {"TopFirstTight", RowOrder::kTopFirst, 0},
};

class CppApiGrayTest : public ::testing::TestWithParam<GrayCase>
{
};

TEST_P(CppApiGrayTest, DecodesWithTheCornersOfThePathEntry)
{
    const PictureCase png = kPictureCases[2];
    GrayImage image{};
    ASSERT_TRUE(norvale::test::LoadTestPicture(image, norvale::test::TestDataPath(png.picture)));
    const size_t stride = image.width + GetParam().padding;
    const std::vector<uint8_t> buffer = LayOutRows(image, stride, GetParam().order);
    const Decoded decoded =
        norvale::DecodeGray(buffer.data(), image.width, image.height, stride, GetParam().order);
    ExpectDecoded(decoded, png);
    EXPECT_EQ(decoded.pictureHeight, image.height);

    const Decoded byPath = norvale::DecodePath(norvale::test::TestDataPath(png.picture));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(decoded.corners[k].x, byPath.corners[k].x) << "corner " << k;
        EXPECT_EQ(decoded.corners[k].y, byPath.corners[k].y) << "corner " << k;
    }
    norvale::test::FreeTestPicture(image);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CppApiGrayTest, ::testing::ValuesIn(kGrayCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Refusals: each call must report the given error kind and nothing else.
struct FailureCase
{
    const char* name;
    Decoded (*decode)();
    DecodeErrorKind error;
};

const uint8_t kGrey[4 * 4] = {};
const uint8_t kNotAnImage[] = "plain text, no picture signature";
const uint8_t kPngSignatureOnly[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};

const FailureCase kFailureCases[] = {
    {"MissingFile", [] { return norvale::DecodePath("/nonexistent/picture.png"); },
     DecodeErrorKind::kImageNotLoaded},
    {"Directory", [] { return norvale::DecodePath(norvale::test::TestDataPath("apps")); },
     DecodeErrorKind::kImageNotLoaded},
    {"UnknownFormatFile",
     [] { return norvale::DecodePath(norvale::test::TestDataPath("blackbox/formats/png-grey8.bin")); },
     DecodeErrorKind::kImageNotLoaded},
    {"EmptyPath", [] { return norvale::DecodePath(""); }, DecodeErrorKind::kImageNotLoaded},
    {"UnknownFormatMemory", [] { return norvale::DecodeMemory(kNotAnImage, sizeof kNotAnImage); },
     DecodeErrorKind::kImageNotLoaded},
    {"TruncatedPngMemory", [] { return norvale::DecodeMemory(kPngSignatureOnly, sizeof kPngSignatureOnly); },
     DecodeErrorKind::kImageNotLoaded},
    {"ZeroLengthMemory", [] { return norvale::DecodeMemory(kNotAnImage, 0); },
     DecodeErrorKind::kImageNotLoaded},
    {"NullMemory", [] { return norvale::DecodeMemory(nullptr, 100); }, DecodeErrorKind::kImageNotLoaded},
    {"ZeroWidthGray", [] { return norvale::DecodeGray(kGrey, 0, 4, 4, RowOrder::kTopFirst); },
     DecodeErrorKind::kImageNotLoaded},
    {"ZeroHeightGray", [] { return norvale::DecodeGray(kGrey, 4, 0, 4, RowOrder::kTopFirst); },
     DecodeErrorKind::kImageNotLoaded},
    {"StrideBelowWidth", [] { return norvale::DecodeGray(kGrey, 4, 4, 3, RowOrder::kBottomFirst); },
     DecodeErrorKind::kImageNotLoaded},
    {"NullGray", [] { return norvale::DecodeGray(nullptr, 4, 4, 4, RowOrder::kTopFirst); },
     DecodeErrorKind::kImageNotLoaded},
    {"TooManyPixels",
     [] { return norvale::DecodeGray(kGrey, 1u << 14, 1u << 13, 1u << 14, RowOrder::kTopFirst); },
     DecodeErrorKind::kImageNotLoaded},
    {"BlankPicture", [] { return norvale::DecodePath(norvale::test::TestDataPath("apps/blank.png")); },
     DecodeErrorKind::kNothingFound},
    {"BlankGray", [] { return norvale::DecodeGray(kGrey, 4, 4, 4, RowOrder::kTopFirst); },
     DecodeErrorKind::kNothingFound},
};

class CppApiFailureTest : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(CppApiFailureTest, ReportsErrorKind)
{
    const Decoded decoded = GetParam().decode();
    EXPECT_EQ(decoded.error, GetParam().error);
    EXPECT_FALSE(decoded.ok());
    EXPECT_TRUE(decoded.bytes.empty());
    EXPECT_EQ(decoded.side, 0u);
    EXPECT_TRUE(decoded.text().empty());
}

INSTANTIATE_TEST_SUITE_P(Refusals, CppApiFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

constexpr int32_t kCornerTolerance = 2;

TEST(CppApiTest, CornersLieOnTheSymbolOutline)
{
    const std::string path = norvale::test::TestDataPath("blackbox/formats/png-grey8.png");
    GrayImage image{};
    ASSERT_TRUE(norvale::test::LoadTestPicture(image, path));
    // The symbol's true outline on a clean, upright picture: the box round its dark pixels,
    // rows counted from the top.
    const norvale::test::DarkBox box = norvale::test::FindDarkBox(image);
    const int32_t top = static_cast<int32_t>(image.height) - 1 - box.maxY;
    const int32_t bottom = static_cast<int32_t>(image.height) - 1 - box.minY;
    const Decoded decoded = norvale::DecodePath(path);
    ASSERT_TRUE(decoded.ok());
    // Finder vertex bottom left, its legs up the left side and along the bottom.
    const norvale::SymbolPoint expected[4] = {
        {box.minX, bottom}, {box.minX, top}, {box.maxX, bottom}, {box.maxX, top}};
    const auto corners = decoded.cornersFromTop();
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(corners[k].x, expected[k].x, kCornerTolerance) << "corner " << k;
        EXPECT_NEAR(corners[k].y, expected[k].y, kCornerTolerance) << "corner " << k;
        // The bottom-up corners describe the same points.
        EXPECT_EQ(decoded.corners[k].y, static_cast<int32_t>(image.height) - 1 - corners[k].y);
    }
    norvale::test::FreeTestPicture(image);
}

TEST(CppApiTest, NoPictureMeansNoCorners)
{
    const Decoded decoded = norvale::DecodePath("/nonexistent/picture.bmp");
    for (const norvale::SymbolPoint& corner : decoded.cornersFromTop()) {
        EXPECT_EQ(corner.x, 0);
        EXPECT_EQ(corner.y, 0);
    }
}

// What the function codewords of a symbol say, as the result reports it.
struct ContentCase
{
    const char* name;
    const char* picture;
    const char* identifier;
    const char* gs1;
    std::vector<uint32_t> eci;
    uint32_t appendPosition;
    uint32_t appendTotal;
    bool readerProgramming;
};

const ContentCase kContentCases[] = {
    {"Gs1", "content/gs1.png", "]d2", "(01)09501101530003(17)250101(10)AB12", {}, 0, 0, false},
    {"EciOneCodeword", "content/eci-26.png", "]d4", "", {26}, 0, 0, false},
    {"EciTwoCodewords", "content/eci-899.png", "]d4", "", {899}, 0, 0, false},
    {"StructuredAppend", "content/structured-append-2-of-3.png", "]d1", "", {}, 2, 3, false},
    {"ReaderProgramming", "content/reader-programming.png", "]d1", "", {}, 0, 0, true},
    {"Plain", "blackbox/formats/png-grey8.png", "]d1", "", {}, 0, 0, false},
};

class CppApiContentTest : public ::testing::TestWithParam<ContentCase>
{
};

TEST_P(CppApiContentTest, ReportsTheContentFlags)
{
    const ContentCase& c = GetParam();
    const Decoded decoded = norvale::DecodePath(norvale::test::TestDataPath(c.picture));
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.symbologyIdentifier, c.identifier);
    EXPECT_EQ(decoded.gs1, c.gs1);
    EXPECT_EQ(decoded.eci, c.eci);
    EXPECT_EQ(decoded.structuredAppend.position, c.appendPosition);
    EXPECT_EQ(decoded.structuredAppend.total, c.appendTotal);
    EXPECT_EQ(decoded.readerProgramming, c.readerProgramming);
}

INSTANTIATE_TEST_SUITE_P(Content, CppApiContentTest, ::testing::ValuesIn(kContentCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Everything a caller sees of one decode, failure corners included.
std::string Summary(const Decoded& d)
{
    std::string s = std::to_string(static_cast<int>(d.error)) + " " + d.text() + " " +
                    std::to_string(d.side) + " " + std::to_string(d.correctedCount);
    for (const norvale::SymbolPoint& p : d.corners) {
        s += " " + std::to_string(p.x) + "," + std::to_string(p.y);
    }
    return s;
}

// A call starts from the same state whatever ran before it on the thread: B after A is B alone.
TEST(CppApiTest, EarlierCallsOnTheThreadChangeNothing)
{
    const char* const pictures[] = {
        "results/no-symbol-dm-like.bmp",          "blackbox/lowcontrast/lowc-003.png",
        "blackbox/inverted/inv-002.png",          "results/rot-012.bmp",
        "blackbox/negatives/neg-007-code128.png", "results/00-ascii-words-14.bmp",
    };
    std::vector<std::string> alone;
    for (const char* b : pictures) {
        alone.push_back(Summary(norvale::DecodePath(norvale::test::TestDataPath(b))));
    }
    for (const char* a : pictures) {
        for (size_t i = 0; i < std::size(pictures); ++i) {
            norvale::DecodePath(norvale::test::TestDataPath(a));
            EXPECT_EQ(Summary(norvale::DecodePath(norvale::test::TestDataPath(pictures[i]))), alone[i])
                << pictures[i] << " after " << a;
        }
    }
}

TEST(CppApiTest, DarkOnLightOnlyRefusesAnInvertedSymbol)
{
    const std::string path = norvale::test::TestDataPath("blackbox/inverted/inv-006.png");
    EXPECT_TRUE(norvale::DecodePath(path).ok());
    norvale::Options options;
    options.inverted = false;
    EXPECT_EQ(norvale::DecodePath(path, options).error, DecodeErrorKind::kNothingFound);
    EXPECT_TRUE(norvale::DecodePath(norvale::test::TestDataPath(kPictureCases[2].picture), options).ok());
}

TEST(CppApiTest, SpentBudgetReturnsWithWhatItHas)
{
    // A large noisy picture takes far longer than a millisecond to search.
    const uint32_t side = 1500;
    std::vector<uint8_t> noise(size_t{side} * side);
    uint32_t state = 12345;
    for (uint8_t& v : noise) {
        state = state * 1103515245u + 12345u;
        v = static_cast<uint8_t>(state >> 24);
    }
    norvale::Options options;
    options.timeBudgetMs = 1;
    EXPECT_EQ(norvale::DecodeGray(noise.data(), side, side, side, RowOrder::kTopFirst, options).error,
              DecodeErrorKind::kTimedOut);
    EXPECT_EQ(norvale::DecodeAllGray(noise.data(), side, side, side, RowOrder::kTopFirst, options).error,
              DecodeErrorKind::kTimedOut);
}

} // namespace
