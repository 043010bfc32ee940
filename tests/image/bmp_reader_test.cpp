#include "image/bmp_reader.h"

#include <gtest/gtest.h>

#include "test_support.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace norvale {
namespace {

using Bytes = std::vector<uint8_t>;
using Bgr = std::array<uint8_t, 3>;

// Field offsets of the file written by MakeBmp.
constexpr size_t kOffsetField = 10;
constexpr size_t kWidthField = 18;
constexpr size_t kHeightField = 22;
constexpr size_t kDepthField = 28;
constexpr size_t kCompressionField = 30;
constexpr size_t kImageSizeField = 34;
constexpr size_t kPaletteOffset = 54;

uint8_t Luma(uint32_t b, uint32_t g, uint32_t r)
{
    return static_cast<uint8_t>((b * 3735 + g * 19235 + r * 9798) >> 15);
}

void Put16(Bytes& bytes, size_t at, uint32_t v)
{
    bytes[at] = static_cast<uint8_t>(v);
    bytes[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& bytes, size_t at, uint32_t v)
{
    Put16(bytes, at, v & 0xFFFF);
    Put16(bytes, at + 2, v >> 16);
}

// A bottom-up BMP. `pixel(x, row)` gives the palette index (1, 4, 8 bits), the 16-bit word or
// 0xRRGGBB (24 bits) of stored row `row`.
struct BmpPicture
{
    int depth;
    int32_t width;
    int32_t height;
    std::vector<Bgr> palette;
    std::function<uint32_t(int, int)> pixel;
    bool fillSizeField = true;
};

size_t Stride(int depth, int32_t width)
{
    return ((size_t(depth) * width + 7) / 8 + 3) & ~size_t{3};
}

Bytes MakeBmp(const BmpPicture& picture)
{
    const size_t stride = Stride(picture.depth, picture.width);
    const size_t offset = kPaletteOffset + 4 * picture.palette.size();
    const size_t pixelBytes = stride * picture.height;
    Bytes bytes(offset + pixelBytes, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    Put32(bytes, kOffsetField, static_cast<uint32_t>(offset));
    Put32(bytes, 14, 40);
    Put32(bytes, kWidthField, static_cast<uint32_t>(picture.width));
    Put32(bytes, kHeightField, static_cast<uint32_t>(picture.height));
    Put16(bytes, 26, 1);
    Put16(bytes, kDepthField, static_cast<uint32_t>(picture.depth));
    Put32(bytes, kImageSizeField, picture.fillSizeField ? static_cast<uint32_t>(pixelBytes) : 0);
    Put32(bytes, 46, static_cast<uint32_t>(picture.palette.size()));
    for (size_t i = 0; i < picture.palette.size(); ++i) {
        std::memcpy(&bytes[kPaletteOffset + 4 * i], picture.palette[i].data(), 3);
    }
    for (int row = 0; row < picture.height; ++row) {
        uint8_t* line = &bytes[offset + row * stride];
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t v = picture.pixel(x, row);
            switch (picture.depth) {
            case 1:
                line[x / 8] |= static_cast<uint8_t>(v << (7 - x % 8));
                break;
            case 4:
                line[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? v << 4 : v);
                break;
            case 8:
                line[x] = static_cast<uint8_t>(v);
                break;
            case 16:
                line[2 * x] = static_cast<uint8_t>(v);
                line[2 * x + 1] = static_cast<uint8_t>(v >> 8);
                break;
            default:
                line[3 * x] = static_cast<uint8_t>(v);
                line[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                line[3 * x + 2] = static_cast<uint8_t>(v >> 16);
                break;
            }
        }
    }
    return bytes;
}

// Grey a correct reader gives for pixel (x, row) of the picture.
uint8_t ExpectedGrey(const BmpPicture& picture, int x, int row)
{
    const uint32_t v = picture.pixel(x, row);
    if (picture.depth <= 8) {
        const Bgr& entry = picture.palette[v];
        return Luma(entry[0], entry[1], entry[2]);
    }
    if (picture.depth == 16) {
        auto widen = [](uint32_t c) { return c << 3 | c >> 2; };
        return Luma(widen(v & 31), widen((v >> 5) & 31), widen((v >> 10) & 31));
    }
    return Luma(v & 0xFF, (v >> 8) & 0xFF, v >> 16);
}

std::string WriteTempFile(const std::string& name, const Bytes& bytes)
{
    const std::string path = norvale::test::ScratchDir() + "bmp_" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file != nullptr) {
        if (!bytes.empty()) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
        }
        std::fclose(file);
    }
    return path;
}

std::vector<Bgr> GreyPalette(int entries, int stepPerEntry, int firstGrey)
{
    std::vector<Bgr> palette;
    for (int i = 0; i < entries; ++i) {
        const auto g = static_cast<uint8_t>((firstGrey + i * stepPerEntry) % 256);
        palette.push_back({g, g, g});
    }
    return palette;
}

std::vector<Bgr> ColourPalette(int entries)
{
    std::vector<Bgr> palette;
    for (int i = 0; i < entries; ++i) {
        palette.push_back({static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11),
                           static_cast<uint8_t>(i * 71 + 5)});
    }
    return palette;
}

// ---------------------------------------------------------------------------------------------
// Every depth, with padded rows and palette look-up, from a file and from memory.

struct DepthCase
{
    const char* name;
    BmpPicture picture;
    size_t stride; // expected row stride, spelled out
};

const DepthCase kDepthCases[] = {
    {"Depth1BlackWhite",
     {1, 13, 5, {{0, 0, 0}, {255, 255, 255}}, [](int x, int y) { return (x + y) % 2; }},
     4},
    {"Depth1SwappedPalette",
     {1, 33, 3, {{255, 255, 255}, {0, 0, 0}}, [](int x, int y) { return (x * y) % 3 == 0; }},
     8},
    {"Depth1NoSizeField",
     {1, 8, 2, {{0, 0, 0}, {255, 255, 255}}, [](int x, int) { return x % 2; }, false},
     4},
    {"Depth4ShuffledGrey",
     {4, 7, 4, GreyPalette(16, 97, 3), [](int x, int y) { return (3 * x + 5 * y) % 16; }},
     4},
    {"Depth4OddWidth", {4, 9, 3, ColourPalette(16), [](int x, int y) { return (x + 7 * y) % 16; }}, 8},
    {"Depth8Grey",
     {8, 5, 3, GreyPalette(256, 1, 0), [](int x, int y) { return (40 * x + 90 * y) % 256; }},
     8},
    {"Depth8ColourPalette", {8, 6, 4, ColourPalette(7), [](int x, int y) { return (x + y) % 7; }}, 8},
    {"Depth16", {16, 3, 4, {}, [](int x, int y) { return uint32_t(x * 4093 + y * 1237) & 0x7FFF; }}, 8},
    {"Depth16White", {16, 2, 1, {}, [](int, int) { return 0x7FFFu; }}, 4},
    {"Depth16TopBitSet", {16, 2, 2, {}, [](int x, int) { return x == 0 ? 0xFFFFu : 0x8000u; }}, 4},
    {"Depth24Padded",
     {24, 10, 3, {}, [](int x, int y) { return uint32_t(x * 0x1F2B3C + y * 0x405060) & 0xFFFFFF; }},
     32},
    {"Depth24NoSizeField",
     {24, 10, 3, {}, [](int x, int y) { return uint32_t(x * 0x0A1B2C + y * 0x303030) & 0xFFFFFF; }, false},
     32},
    {"Depth24Width1", {24, 1, 5, {}, [](int, int y) { return uint32_t(y * 0x332211); }}, 4},
};

class BmpDepthTest : public ::testing::TestWithParam<DepthCase>
{
};

void ExpectPicture(const GrayImage& image, const DepthCase& c)
{
    const BmpPicture& picture = c.picture;
    ASSERT_EQ(image.width, uint32_t(picture.width));
    ASSERT_EQ(image.height, uint32_t(picture.height));
    EXPECT_EQ(image.scale, 1u);
    ASSERT_NE(image.source, nullptr);
    EXPECT_EQ(image.current, image.source);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            ASSERT_EQ(image.source[y * picture.width + x], ExpectedGrey(picture, x, y))
                << "x " << x << " y " << y;
        }
    }
}

TEST_P(BmpDepthTest, RowStride)
{
    EXPECT_EQ(Stride(GetParam().picture.depth, GetParam().picture.width), GetParam().stride);
}

TEST_P(BmpDepthTest, LoadsFromMemory)
{
    const Bytes bytes = MakeBmp(GetParam().picture);
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadBmpFromMemory(image, bytes.data(), bytes.size()), 1);
    ExpectPicture(image, GetParam());
    FreeGrayImage(image);
}

TEST_P(BmpDepthTest, LoadsFromFile)
{
    const std::string path =
        WriteTempFile(std::string(GetParam().name) + ".bmp", MakeBmp(GetParam().picture));
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadBmpFromFile(image, path.c_str()), 1);
    ExpectPicture(image, GetParam());
    FreeGrayImage(image);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpDepthTest, ::testing::ValuesIn(kDepthCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Values spelled out rather than derived from the same formula the reader uses.
struct KnownGreyCase
{
    const char* name;
    BmpPicture picture;
    uint8_t grey; // of pixel (0, 0)
};

const KnownGreyCase kKnownGreyCases[] = {
    {"Depth1WhiteEntry", {1, 1, 1, {{0, 0, 0}, {255, 255, 255}}, [](int, int) { return 1u; }}, 255},
    {"Depth1BlackEntry", {1, 1, 1, {{0, 0, 0}, {255, 255, 255}}, [](int, int) { return 0u; }}, 0},
    {"Depth16White", {16, 1, 1, {}, [](int, int) { return 0x7FFFu; }}, 255},
    {"Depth16UnusedBitIgnored", {16, 1, 1, {}, [](int, int) { return 0x8000u; }}, 0},
    {"Depth16PureRed", {16, 1, 1, {}, [](int, int) { return 0x7C00u; }}, 76},
    {"Depth24PureGreen", {24, 1, 1, {}, [](int, int) { return 0x00FF00u; }}, 149},
    {"Depth24PureBlue", {24, 1, 1, {}, [](int, int) { return 0x0000FFu; }}, 29},
    {"Depth8ColourEntry", {8, 1, 1, {{0, 0, 0}, {0, 0, 255}}, [](int, int) { return 1u; }}, 76},
};

class BmpKnownGreyTest : public ::testing::TestWithParam<KnownGreyCase>
{
};

TEST_P(BmpKnownGreyTest, Converts)
{
    const Bytes bytes = MakeBmp(GetParam().picture);
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadBmpFromMemory(image, bytes.data(), bytes.size()), 1);
    EXPECT_EQ(image.source[0], GetParam().grey);
    FreeGrayImage(image);
}

INSTANTIATE_TEST_SUITE_P(Values, BmpKnownGreyTest, ::testing::ValuesIn(kKnownGreyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Malformed files: each defect is refused from memory and from a file, and leaves the image empty.

BmpPicture Valid8Bit()
{
    return {8, 6, 4, GreyPalette(4, 60, 10), [](int x, int y) { return (x + y) % 4; }};
}

struct MalformedCase
{
    const char* name;
    std::function<Bytes()> make;
};

Bytes Edited(std::function<void(Bytes&)> edit, BmpPicture picture = Valid8Bit())
{
    Bytes bytes = MakeBmp(picture);
    edit(bytes);
    return bytes;
}

Bytes Truncated(size_t length)
{
    Bytes bytes = MakeBmp(Valid8Bit());
    bytes.resize(length);
    return bytes;
}

const MalformedCase kMalformedCases[] = {
    {"Empty", [] { return Bytes{}; }},
    {"ThirteenBytes", [] { return Truncated(13); }},
    {"FileHeaderOnly", [] { return Truncated(14); }},
    {"BadSignature", [] { return Edited([](Bytes& b) { b[1] = 'N'; }); }},
    {"SignatureSwapped", [] { return Edited([](Bytes& b) { std::swap(b[0], b[1]); }); }},
    {"TruncatedInFileSize", [] { return Truncated(4); }},
    {"TruncatedInOffset", [] { return Truncated(12); }},
    {"TruncatedInInfoSize", [] { return Truncated(16); }},
    {"TruncatedInWidth", [] { return Truncated(20); }},
    {"TruncatedInHeight", [] { return Truncated(24); }},
    {"TruncatedInPlanes", [] { return Truncated(27); }},
    {"TruncatedInDepth", [] { return Truncated(29); }},
    {"TruncatedInCompression", [] { return Truncated(32); }},
    {"TruncatedInImageSize", [] { return Truncated(36); }},
    {"TruncatedInResolution", [] { return Truncated(44); }},
    {"TruncatedInColourCounts", [] { return Truncated(52); }},
    {"TruncatedInPalette", [] { return Truncated(60); }},
    {"TruncatedInPixelData", [] { return Truncated(MakeBmp(Valid8Bit()).size() - 1); }},
    {"OffsetBelowInfoHeader", [] { return Edited([](Bytes& b) { Put32(b, kOffsetField, 50); }); }},
    {"OffsetZero", [] { return Edited([](Bytes& b) { Put32(b, kOffsetField, 0); }); }},
    {"OffsetBeyondFile", [] { return Edited([](Bytes& b) { Put32(b, kOffsetField, 0xFFFFFFF0u); }); }},
    {"NegativeWidth", [] { return Edited([](Bytes& b) { Put32(b, kWidthField, uint32_t(-6)); }); }},
    {"NegativeHeightTopDown", [] { return Edited([](Bytes& b) { Put32(b, kHeightField, uint32_t(-4)); }); }},
    {"HugeDimensions",
     [] {
         return Edited(
             [](Bytes& b) { Put32(b, kWidthField, 0x7FFFFFFF), Put32(b, kHeightField, 0x7FFFFFFF); });
     }},
    {"JustAbovePixelLimit",
     [] { return Edited([](Bytes& b) { Put32(b, kWidthField, 8193), Put32(b, kHeightField, 8192); }); }},
    {"WideSingleRowAboveLimit",
     [] {
         return Edited([](Bytes& b) { Put32(b, kWidthField, (1u << 26) + 1), Put32(b, kHeightField, 1); });
     }},
    {"ClaimedSizeBeyondFile", [] { return Edited([](Bytes& b) { Put32(b, kImageSizeField, 0x7FFFFFFF); }); }},
    {"SixtyByteFileClaimsGigabytes",
     [] {
         Bytes b = Truncated(60);
         Put32(b, kOffsetField, 58);
         Put32(b, kWidthField, 8000), Put32(b, kHeightField, 8000);
         Put16(b, kDepthField, 24);
         Put32(b, kImageSizeField, 0xF0000000u);
         return b;
     }},
    {"ImageSizeFieldTooSmall",
     [] {
         return Edited([](Bytes& b) {
             Put32(b, kImageSizeField, 4);
             b.resize(b.size() - 28);
         });
     }},
    {"Compressed", [] { return Edited([](Bytes& b) { Put32(b, kCompressionField, 1); }); }},
    {"Depth32", [] { return Edited([](Bytes& b) { Put16(b, kDepthField, 32); }); }},
    {"Depth0", [] { return Edited([](Bytes& b) { Put16(b, kDepthField, 0); }); }},
    {"Depth2", [] { return Edited([](Bytes& b) { Put16(b, kDepthField, 2); }); }},
    {"PaletteIndexOutsideBlock",
     [] {
         return MakeBmp({8, 3, 2, GreyPalette(2, 100, 0), [](int x, int) { return uint32_t(x); }});
     }},
    {"PaletteIndexOutsideBlock4Bit",
     [] {
         return MakeBmp({4, 3, 1, GreyPalette(3, 100, 0), [](int, int) { return 15u; }});
     }},
    {"PaletteIndexOutsideBlock1Bit",
     [] {
         return MakeBmp({1, 3, 1, GreyPalette(1, 0, 0), [](int x, int) { return uint32_t(x % 2); }});
     }},
    {"PaletteEntryCutByOffset",
     [] {
         // The pixel data starts two bytes into entry 1, so entry 1 is not whole inside the block.
         Bytes b = MakeBmp({8, 4, 1, GreyPalette(2, 200, 0), [](int, int) { return 1u; }});
         b.erase(b.begin() + kPaletteOffset + 6, b.begin() + kPaletteOffset + 8);
         Put32(b, kOffsetField, kPaletteOffset + 6);
         return b;
     }},
};

class BmpMalformedTest : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(BmpMalformedTest, RefusedFromMemory)
{
    const Bytes bytes = GetParam().make();
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadBmpFromMemory(image, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(image.source, nullptr);
    EXPECT_EQ(image.current, nullptr);
    EXPECT_EQ(image.width, 0u);
    EXPECT_EQ(image.height, 0u);
}

TEST_P(BmpMalformedTest, RefusedFromFile)
{
    const std::string path = WriteTempFile(std::string(GetParam().name) + ".bmp", GetParam().make());
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadBmpFromFile(image, path.c_str()), 0);
    EXPECT_EQ(image.source, nullptr);
    EXPECT_EQ(image.width, 0u);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Defects, BmpMalformedTest, ::testing::ValuesIn(kMalformedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BmpReaderTest, EveryProperPrefixIsRefused)
{
    const Bytes whole =
        MakeBmp({24, 5, 3, {}, [](int x, int y) { return uint32_t(x * 0x102030 + y * 0x010101); }});
    for (size_t length = 0; length < whole.size(); ++length) {
        GrayImage image{};
        InitGrayImage(image);
        EXPECT_EQ(LoadBmpFromMemory(image, whole.data(), length), 0) << "length " << length;
    }
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadBmpFromMemory(image, whole.data(), whole.size()), 1);
    FreeGrayImage(image);
}

TEST(BmpReaderTest, ReadsOnlyTheGivenLength)
{
    // The complete file followed by more bytes in the caller's buffer loads the same picture.
    Bytes bytes = MakeBmp(Valid8Bit());
    const size_t length = bytes.size();
    bytes.resize(length + 100, 0xEE);
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadBmpFromMemory(image, bytes.data(), length), 1);
    EXPECT_EQ(image.width, 6u);
    FreeGrayImage(image);
}

TEST(BmpReaderTest, ZeroWidthLoadsAsEmptyPicture)
{
    BmpPicture picture = Valid8Bit();
    picture.width = 0;
    const Bytes bytes = MakeBmp(picture);
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadBmpFromMemory(image, bytes.data(), bytes.size()), 1);
    EXPECT_EQ(image.width, 0u);
    EXPECT_EQ(image.height, 4u);
    EXPECT_NE(image.source, nullptr);
    FreeGrayImage(image);
}

TEST(BmpReaderTest, LargerImageSizeFieldWithTheBytesPresentLoads)
{
    Bytes bytes = MakeBmp(Valid8Bit());
    const uint32_t rows = static_cast<uint32_t>(bytes.size() - (kPaletteOffset + 16));
    Put32(bytes, kImageSizeField, rows + 12);
    bytes.resize(bytes.size() + 12, 0);
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadBmpFromMemory(image, bytes.data(), bytes.size()), 1);
    FreeGrayImage(image);
}

TEST(BmpReaderTest, MissingFileAndNullBufferAreRefused)
{
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadBmpFromFile(image, (norvale::test::ScratchDir() + "no_such_file.bmp").c_str()), 0);
    EXPECT_EQ(LoadBmpFromFile(image, nullptr), 0);
    EXPECT_EQ(LoadBmpFromMemory(image, nullptr, 100), 0);
    EXPECT_EQ(image.source, nullptr);
}

TEST(BmpReaderTest, LoadReplacesEarlierPicture)
{
    const Bytes first = MakeBmp(Valid8Bit());
    const Bytes second = MakeBmp({24, 2, 2, {}, [](int, int) { return 0xFFFFFFu; }});
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadBmpFromMemory(image, first.data(), first.size()), 1);
    ASSERT_EQ(UseFilteredPlane(image), 1);
    ASSERT_EQ(LoadBmpFromMemory(image, second.data(), second.size()), 1);
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.median, nullptr);
    EXPECT_EQ(image.current, image.source);
    EXPECT_EQ(image.source[3], 255);
    FreeGrayImage(image);
}

} // namespace
} // namespace norvale
