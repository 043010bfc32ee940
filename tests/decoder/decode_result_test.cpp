// The memory entry's result record end to end: bytes, first-codeword mode, side, corrections,
// error codes and the four corners, on BMP pictures of clean symbols in every encodation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/bmp_reader.h"
#include "image/gray_image.h"
#include "norvale/datamatrix.h"
#include "test_support.h"

namespace {

struct ResultCase
{
    const char* name;
    const char* file;
    const char* hex;
    uint32_t startMode;
    uint32_t side;
    bool axisAligned; // dark on light, unrotated: the corners can be read off the dark pixels
};

constexpr ResultCase kResultCases[] = {
    {"Ascii", "results/00-ascii-words-14.bmp", "49442038", kStartModeAscii, 14, true},
    {"C40", "results/05-c40-16.bmp", "32574520342d38534b4b48", kStartModeC40, 16, true},
    {"Text", "results/10-text-12.bmp", "7a737732", kStartModeText, 12, true},
    {"X12", "results/16-x12-10.bmp", "43484b", kStartModeX12, 10, true},
    {"Base256", "results/20-base256-12.bmp", "36", kStartModeBase256, 12, true},
    {"Edifact", "results/00-edifact-unlatch1-24.bmp",
     "515e224f504b57393239283c243e4d2a433b4d27393b47214f3c204c", kStartModeEdifact, 24, true},
    {"LightOnDark", "results/inv-006.bmp", "4a5d43743b29", kStartModeAscii, 16, false},
    {"Rotated", "results/rot-012.bmp", "4f537c", kStartModeAscii, 14, false},
};

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// Outer corners of the dark pixels, in the decoder's coordinates (row 0 at the bottom): the
// finder vertex, the far end of the left leg, the far end of the bottom leg, the opposite corner.
struct Corners
{
    float x[4];
    float y[4];
};

Corners DarkBoundingCorners(const std::string& path)
{
    norvale::GrayImage image{};
    norvale::InitGrayImage(image);
    EXPECT_EQ(norvale::LoadBmpFromFile(image, path.c_str()), 1);
    const norvale::test::DarkBox box = norvale::test::FindDarkBox(image);
    norvale::FreeGrayImage(image);
    const float left = box.minX - 0.5f, right = box.maxX + 0.5f, bottom = box.minY - 0.5f,
                top = box.maxY + 0.5f;
    return Corners{{left, left, right, right}, {bottom, top, bottom, top}};
}

class DecodeResultTest : public ::testing::TestWithParam<ResultCase>
{
};

TEST_P(DecodeResultTest, MemoryEntryFillsTheRecord)
{
    const ResultCase& c = GetParam();
    const std::string path = norvale::test::TestDataPath(c.file);
    const std::vector<uint8_t> bytes = norvale::test::ReadFileBytes(path);
    ASSERT_FALSE(bytes.empty());
    const std::string expected = FromHex(c.hex);

    ImageBuffer request{bytes.data(), static_cast<uint32_t>(bytes.size())};
    DecodeResult result{};
    ASSERT_EQ(DecodeBuffer(&request, &result), 1);
    ASSERT_NE(result.data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(result.data), static_cast<size_t>(result.length)),
              expected);
    EXPECT_EQ(result.errorCode, kDecodeOk);
    EXPECT_EQ(result.reserved, 0);
    EXPECT_EQ(result.startMode, c.startMode);
    EXPECT_EQ(result.side, c.side);
    EXPECT_EQ(result.correctedCount, 0);
    if (c.axisAligned) {
        const Corners truth = DarkBoundingCorners(path);
        for (int k = 0; k < 4; ++k) {
            EXPECT_LE(std::fabs(result.cornerX[k] - truth.x[k]), 2.0f) << "corner " << k;
            EXPECT_LE(std::fabs(result.cornerY[k] - truth.y[k]), 2.0f) << "corner " << k;
        }
    }
    std::free(result.data);

    // Both public entries read the same text.
    char viaMemory[100] = {};
    EXPECT_EQ(DecodeImage1(bytes.data(), static_cast<uint32_t>(bytes.size()), sizeof viaMemory, viaMemory),
              static_cast<int32_t>(expected.size()));
    EXPECT_EQ(std::string(viaMemory), expected);
    char viaPath[1000] = {};
    EXPECT_EQ(DecodeImage(path.c_str(), sizeof viaPath, viaPath), static_cast<int32_t>(expected.size()));
    EXPECT_EQ(std::string(viaPath), expected);
}

INSTANTIATE_TEST_SUITE_P(Symbols, DecodeResultTest, ::testing::ValuesIn(kResultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeResultTest, CopyOutCutsAtCapacity)
{
    const std::string path = norvale::test::TestDataPath("results/05-c40-16.bmp");
    const std::vector<uint8_t> bytes = norvale::test::ReadFileBytes(path);
    // 11 decoded bytes into 5: four bytes and a NUL, and the return value is the capacity.
    char small[5];
    EXPECT_EQ(DecodeImage(path.c_str(), sizeof small, small), 5);
    EXPECT_EQ(std::string(small), "2WE ");
    EXPECT_EQ(DecodeImage1(bytes.data(), static_cast<uint32_t>(bytes.size()), sizeof small, small), 5);
    EXPECT_EQ(std::string(small), "2WE ");
    // Capacity 1 holds only the NUL.
    char one[1] = {'x'};
    EXPECT_EQ(DecodeImage(path.c_str(), 1, one), 1);
    EXPECT_EQ(one[0], '\0');
}

TEST(DecodeResultTest, NothingDecodedKeepsTheCallersLength)
{
    const std::vector<uint8_t> bytes =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath("results/no-symbol-dm-like.bmp"));
    ASSERT_FALSE(bytes.empty());
    ImageBuffer request{bytes.data(), static_cast<uint32_t>(bytes.size())};
    DecodeResult result{};
    EXPECT_EQ(DecodeBuffer(&request, &result), 0);
    EXPECT_EQ(result.errorCode, kDecodeNothingFound);
    EXPECT_EQ(result.length, 0);
    EXPECT_EQ(result.data, nullptr);
}

TEST(DecodeResultTest, TruncatedBitmapIsNotLoaded)
{
    std::vector<uint8_t> bytes =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath("results/05-c40-16.bmp"));
    bytes.resize(bytes.size() - 100);
    ImageBuffer request{bytes.data(), static_cast<uint32_t>(bytes.size())};
    DecodeResult result{};
    EXPECT_EQ(DecodeBuffer(&request, &result), 0);
    EXPECT_EQ(result.errorCode, kDecodeImageNotLoaded);
    char out[8] = {'x'};
    EXPECT_EQ(DecodeImage1(bytes.data(), static_cast<uint32_t>(bytes.size()), sizeof out, out), 0);
    EXPECT_EQ(out[0], 'x');
}

// Every field of the result is written, whatever the caller left in it and however the call ends.
struct FailureCase
{
    const char* name;
    int32_t (*decode)(DecodeResult* result);
    int32_t errorCode;
};

const std::vector<uint8_t>& NoSymbolBitmap()
{
    static const std::vector<uint8_t> bytes =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath("results/no-symbol-dm-like.bmp"));
    return bytes;
}

const uint8_t kBlank[16 * 16] = {};

const FailureCase kResultFailureCases[] = {
    {"NullRequest", [](DecodeResult* r) { return DecodeBuffer(nullptr, r); }, kDecodeImageNotLoaded},
    {"NullBytes",
     [](DecodeResult* r) {
         const ImageBuffer request{nullptr, 100};
         return DecodeBuffer(&request, r);
     },
     kDecodeImageNotLoaded},
    {"NothingFound",
     [](DecodeResult* r) {
         const ImageBuffer request{NoSymbolBitmap().data(), static_cast<uint32_t>(NoSymbolBitmap().size())};
         return DecodeBuffer(&request, r);
     },
     kDecodeNothingFound},
    {"GrayStrideBelowWidth",
     [](DecodeResult* r) {
         const GrayPixels request{kBlank, 16, 16, 15, kGrayTopRowFirst};
         return DecodeGrayPixels(&request, r);
     },
     kDecodeImageNotLoaded},
    {"GrayUnknownRowOrder",
     [](DecodeResult* r) {
         const GrayPixels request{kBlank, 16, 16, 16, 7};
         return DecodeGrayPixels(&request, r);
     },
     kDecodeImageNotLoaded},
    {"GrayBlank",
     [](DecodeResult* r) {
         const GrayPixels request{kBlank, 16, 16, 16, kGrayBottomRowFirst};
         return DecodeGrayPixels(&request, r);
     },
     kDecodeNothingFound},
    {"AllNullRequest", [](DecodeResult* r) { return DecodeBufferAll(nullptr, nullptr, r, 1); },
     kDecodeImageNotLoaded},
};

class DecodeResultFailureTest : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(DecodeResultFailureTest, WritesEveryField)
{
    DecodeResult result;
    std::memset(&result, 0x5a, sizeof result);
    EXPECT_EQ(GetParam().decode(&result), 0);
    EXPECT_EQ(result.errorCode, GetParam().errorCode);
    EXPECT_EQ(result.data, nullptr);
    EXPECT_EQ(result.length, 0);
    EXPECT_EQ(result.reserved, 0);
    EXPECT_EQ(result.startMode, 0u);
    EXPECT_EQ(result.side, 0u);
    EXPECT_EQ(result.correctedCount, 0);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NE(result.cornerX[k], 0x5a5a5a5a);
        EXPECT_NE(result.cornerY[k], 0x5a5a5a5a);
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, DecodeResultFailureTest, ::testing::ValuesIn(kResultFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeResultTest, NullResultIsLeftAlone)
{
    const ImageBuffer request{NoSymbolBitmap().data(), static_cast<uint32_t>(NoSymbolBitmap().size())};
    EXPECT_EQ(DecodeBuffer(&request, nullptr), 0);
    EXPECT_EQ(DecodeBufferAll(&request, nullptr, nullptr, 4), 0);
}

// The grey entry reads the picture the BMP entry reads, in either row order and any stride.
TEST(DecodeResultTest, GrayEntryMatchesTheBufferEntry)
{
    const std::vector<uint8_t> bytes =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath("results/rot-012.bmp"));
    norvale::GrayImage image{};
    ASSERT_EQ(norvale::LoadBmpFromMemory(image, bytes.data(), bytes.size()), 1);
    const ImageBuffer request{bytes.data(), static_cast<uint32_t>(bytes.size())};
    DecodeResult expected{};
    ASSERT_EQ(DecodeBuffer(&request, &expected), 1);
    for (const int32_t order : {kGrayBottomRowFirst, kGrayTopRowFirst}) {
        const uint32_t stride = image.width + 5;
        std::vector<uint8_t> pixels(size_t{stride} * image.height, 0);
        for (uint32_t row = 0; row < image.height; ++row) {
            const uint32_t from = order == kGrayBottomRowFirst ? row : image.height - 1 - row;
            std::memcpy(pixels.data() + size_t{row} * stride, image.source + size_t{from} * image.width,
                        image.width);
        }
        const GrayPixels gray{pixels.data(), image.width, image.height, stride, order};
        DecodeResult result{};
        ASSERT_EQ(DecodeGrayPixels(&gray, &result), 1) << "row order " << order;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(result.data), result.length),
                  std::string(reinterpret_cast<char*>(expected.data), expected.length));
        EXPECT_EQ(std::memcmp(result.cornerX, expected.cornerX, sizeof result.cornerX), 0);
        EXPECT_EQ(std::memcmp(result.cornerY, expected.cornerY, sizeof result.cornerY), 0);
        std::free(result.data);
    }
    std::free(expected.data);
    norvale::FreeGrayImage(image);
}

TEST(DecodeResultTest, AllEntryWritesNoMoreThanAsked)
{
    const std::vector<uint8_t> bytes =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath("results/05-c40-16.bmp"));
    const ImageBuffer request{bytes.data(), static_cast<uint32_t>(bytes.size())};
    DecodeResult results[3];
    std::memset(results, 0x5a, sizeof results);
    DecodeOptions options{};
    options.maxSymbols = 2;
    ASSERT_EQ(DecodeBufferAll(&request, &options, results, 3), 1);
    EXPECT_EQ(results[0].errorCode, kDecodeOk);
    EXPECT_EQ(results[0].length, 11);
    EXPECT_EQ(results[1].errorCode, 0x5a5a5a5a); // untouched past the symbols found
    std::free(results[0].data);
}

} // namespace
