#include "image/png_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace norvale {
namespace {

uint8_t Luma(uint32_t r, uint32_t g, uint32_t b)
{
    return static_cast<uint8_t>((r * 9798 + g * 19235 + b * 3735) >> 15);
}

struct Rgb
{
    uint8_t r, g, b;
};

// A PNG written row by row, top row first as PNG stores it. `sample(x, y, channel)` gives the
// raw sample of channel `channel` of pixel (x, y) at the file's bit depth.
struct PngPicture
{
    int colourType;
    int bitDepth;
    uint32_t width;
    uint32_t height;
    std::function<uint32_t(uint32_t, uint32_t, int)> sample;
    std::function<Rgb(uint32_t, uint32_t)> expectedRgb; // of picture row y (0 = top)
    std::vector<png_color> palette = {};
    bool interlaced = false;
};

int Channels(int colourType)
{
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

// Packs samples most significant bits first, 16-bit samples big-endian, as PNG stores them.
std::vector<png_byte> PackRow(const PngPicture& picture, uint32_t y)
{
    const int channels = Channels(picture.colourType);
    const size_t bits = size_t{picture.width} * channels * picture.bitDepth;
    std::vector<png_byte> row((bits + 7) / 8, 0);
    size_t bit = 0;
    for (uint32_t x = 0; x < picture.width; ++x) {
        for (int c = 0; c < channels; ++c) {
            const uint32_t v = picture.sample(x, y, c);
            if (picture.bitDepth == 16) {
                row[bit / 8] = static_cast<png_byte>(v >> 8);
                row[bit / 8 + 1] = static_cast<png_byte>(v);
            } else if (picture.bitDepth == 8) {
                row[bit / 8] = static_cast<png_byte>(v);
            } else {
                row[bit / 8] |= static_cast<png_byte>(v << (8 - picture.bitDepth - bit % 8));
            }
            bit += picture.bitDepth;
        }
    }
    return row;
}

bool WritePng(const std::string& path, const PngPicture& picture)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<std::vector<png_byte>> rows;
    for (uint32_t y = 0; y < picture.height; ++y) {
        rows.push_back(PackRow(picture, y));
    }
    std::vector<png_bytep> pointers;
    for (auto& row : rows) {
        pointers.push_back(row.data());
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colourType,
                 picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!picture.palette.empty()) {
        png_set_PLTE(png, info, picture.palette.data(), static_cast<int>(picture.palette.size()));
    }
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

uint8_t Widen(uint32_t v, int bits)
{
    return static_cast<uint8_t>(v * 255 / ((1u << bits) - 1));
}

PngPicture Grey(int bits, uint32_t width, uint32_t height)
{
    const uint32_t levels = 1u << bits;
    auto value = [levels](uint32_t x, uint32_t y) { return (x * 3 + y * 5) % levels; };
    return {PNG_COLOR_TYPE_GRAY,
            bits,
            width,
            height,
            [value](uint32_t x, uint32_t y, int) { return value(x, y); },
            [value, bits](uint32_t x, uint32_t y) {
                const uint8_t g = Widen(value(x, y), bits);
                return Rgb{g, g, g};
            }};
}

uint32_t Channel(uint32_t x, uint32_t y, int c)
{
    return (x * 41 + y * 67 + uint32_t(c) * 101) % 256;
}

PngPicture Colour(int colourType, int bits, uint32_t width, uint32_t height)
{
    // 16-bit samples carry the 8-bit value in both bytes, so dropping the low byte gives it back.
    const uint32_t scale = bits == 16 ? 257 : 1;
    return {colourType,
            bits,
            width,
            height,
            [scale](uint32_t x, uint32_t y, int c) {
                return (c == 3 ? (x * 13) % 256 : Channel(x, y, c)) * scale;
            },
            [](uint32_t x, uint32_t y) {
                return Rgb{uint8_t(Channel(x, y, 0)), uint8_t(Channel(x, y, 1)), uint8_t(Channel(x, y, 2))};
            }};
}

PngPicture GreyAlpha(int bits, uint32_t width, uint32_t height)
{
    const uint32_t scale = bits == 16 ? 257 : 1;
    return {
        PNG_COLOR_TYPE_GRAY_ALPHA,
        bits,
        width,
        height,
        [scale](uint32_t x, uint32_t y, int c) { return (c == 0 ? (x * 19 + y * 7) % 256 : 128) * scale; },
        [](uint32_t x, uint32_t y) {
            const auto g = uint8_t((x * 19 + y * 7) % 256);
            return Rgb{g, g, g};
        }};
}

// Every index the bit depth holds is used; a palette of fewer than `stored` entries leaves the
// higher indices without an entry, and they read as black.
PngPicture Palette(int bits, uint32_t width, uint32_t height, uint32_t stored = 0)
{
    const uint32_t entries = 1u << bits;
    std::vector<png_color> palette;
    for (uint32_t i = 0; i < (stored > 0 ? stored : entries); ++i) {
        palette.push_back({uint8_t(i * 53 + 7), uint8_t(255 - i * 29), uint8_t(i * 97)});
    }
    auto index = [entries](uint32_t x, uint32_t y) { return (x + 2 * y) % entries; };
    PngPicture picture{PNG_COLOR_TYPE_PALETTE,
                       bits,
                       width,
                       height,
                       [index](uint32_t x, uint32_t y, int) { return index(x, y); },
                       [index, palette](uint32_t x, uint32_t y) {
                           if (index(x, y) >= palette.size()) {
                               return Rgb{0, 0, 0};
                           }
                           const png_color& e = palette[index(x, y)];
                           return Rgb{e.red, e.green, e.blue};
                       }};
    picture.palette = palette;
    return picture;
}

PngPicture Interlaced(PngPicture picture)
{
    picture.interlaced = true;
    return picture;
}

struct PngCase
{
    const char* name;
    PngPicture picture;
};

const PngCase kPngCases[] = {
    {"Grey1", Grey(1, 13, 5)},
    {"Grey2", Grey(2, 7, 3)},
    {"Grey4", Grey(4, 9, 4)},
    {"Grey8", Grey(8, 6, 6)},
    {"Grey16",
     {PNG_COLOR_TYPE_GRAY, 16, 5, 3, [](uint32_t x, uint32_t y, int) { return (x * 50 + y) * 257; },
      [](uint32_t x, uint32_t y) {
          const auto g = uint8_t(x * 50 + y);
          return Rgb{g, g, g};
      }}},
    {"GreyAlpha8", GreyAlpha(8, 5, 4)},
    {"GreyAlpha16", GreyAlpha(16, 3, 2)},
    {"Rgb8", Colour(PNG_COLOR_TYPE_RGB, 8, 11, 7)},
    {"Rgb16", Colour(PNG_COLOR_TYPE_RGB, 16, 4, 3)},
    {"Rgba8", Colour(PNG_COLOR_TYPE_RGBA, 8, 5, 5)},
    {"Rgba16", Colour(PNG_COLOR_TYPE_RGBA, 16, 6, 4)},
    {"Palette1", Palette(1, 17, 3)},
    {"Palette2", Palette(2, 5, 3)},
    {"Palette4", Palette(4, 9, 2)},
    {"Palette8", Palette(8, 20, 15)},
    {"InterlacedRgb8", Interlaced(Colour(PNG_COLOR_TYPE_RGB, 8, 19, 13))},
    {"InterlacedGrey2", Interlaced(Grey(2, 10, 9))},
    {"InterlacedPalette4", Interlaced(Palette(4, 21, 11))},
    {"PaletteShorterThanIndices", Palette(2, 7, 3, 3)},
    {"SinglePixel", Colour(PNG_COLOR_TYPE_RGB, 8, 1, 1)},
};

class PngReaderTest : public ::testing::TestWithParam<PngCase>
{
};

TEST_P(PngReaderTest, LoadsBottomRowFirst)
{
    const PngPicture& picture = GetParam().picture;
    const std::string path = norvale::test::ScratchDir() + "png_" + GetParam().name + ".png";
    ASSERT_TRUE(WritePng(path, picture));
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadPngFromFile(image, path.c_str()), 1);
    ASSERT_EQ(image.width, picture.width);
    ASSERT_EQ(image.height, picture.height);
    EXPECT_EQ(image.scale, 1u);
    EXPECT_EQ(image.current, image.source);
    for (uint32_t j = 0; j < picture.height; ++j) {
        for (uint32_t x = 0; x < picture.width; ++x) {
            const Rgb rgb = picture.expectedRgb(x, picture.height - 1 - j);
            ASSERT_EQ(image.source[j * picture.width + x], Luma(rgb.r, rgb.g, rgb.b))
                << "x " << x << " row " << j;
        }
    }
    FreeGrayImage(image);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(ColourTypes, PngReaderTest, ::testing::ValuesIn(kPngCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PngReaderTest, GreyValuesComeBackUnchanged)
{
    // Equal R, G, B give the grey itself, because the weights sum to 32768.
    const PngPicture picture{
        PNG_COLOR_TYPE_GRAY, 8, 256, 1, [](uint32_t x, uint32_t, int) { return x; }, nullptr};
    const std::string path = norvale::test::ScratchDir() + "png_ramp.png";
    ASSERT_TRUE(WritePng(path, picture));
    GrayImage image{};
    InitGrayImage(image);
    ASSERT_EQ(LoadPngFromFile(image, path.c_str()), 1);
    for (uint32_t x = 0; x < 256; ++x) {
        EXPECT_EQ(image.source[x], x);
    }
    FreeGrayImage(image);
    std::remove(path.c_str());
}

std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = norvale::test::ScratchDir() + "png_" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        if (!bytes.empty()) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
        }
        std::fclose(file);
    }
    return path;
}

std::vector<uint8_t> ValidPngBytes()
{
    const std::string path = norvale::test::ScratchDir() + "png_valid.png";
    WritePng(path, Colour(PNG_COLOR_TYPE_RGB, 8, 16, 16));
    std::vector<uint8_t> bytes = test::ReadFileBytes(path);
    std::remove(path.c_str());
    return bytes;
}

struct RefusedCase
{
    const char* name;
    std::function<std::vector<uint8_t>()> make;
};

const RefusedCase kRefusedCases[] = {
    {"Empty", [] { return std::vector<uint8_t>{}; }},
    {"SignatureOnly",
     [] {
         std::vector<uint8_t> b = ValidPngBytes();
         b.resize(8);
         return b;
     }},
    {"JpegDataNamedPng",
     [] { return test::ReadFileBytes(test::TestDataPath("formats/colour_top_blue.jpg")); }},
    {"BmpDataNamedPng", [] { return std::vector<uint8_t>{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}; }},
    {"TruncatedInHeader",
     [] {
         std::vector<uint8_t> b = ValidPngBytes();
         b.resize(20);
         return b;
     }},
    {"TruncatedInImageData",
     [] {
         std::vector<uint8_t> b = ValidPngBytes();
         b.resize(b.size() - 30);
         return b;
     }},
    {"CorruptHeaderCrc",
     [] {
         std::vector<uint8_t> b = ValidPngBytes();
         b[29] ^= 0xFF; // inside the IHDR checksum
         return b;
     }},
    {"HugeDimensions",
     [] {
         // IHDR width and height 30000 x 30000 (above the picture limit) with a matching CRC.
         std::vector<uint8_t> b = ValidPngBytes();
         const uint8_t size[4] = {0x00, 0x00, 0x75, 0x30};
         std::copy(size, size + 4, b.begin() + 16);
         std::copy(size, size + 4, b.begin() + 20);
         const uint32_t crc = static_cast<uint32_t>(crc32(0, b.data() + 12, 17));
         for (int i = 0; i < 4; ++i) {
             b[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
         }
         return b;
     }},
};

class PngRefusedTest : public ::testing::TestWithParam<RefusedCase>
{
};

TEST_P(PngRefusedTest, Refused)
{
    const std::string path = WriteBytes(std::string(GetParam().name) + ".png", GetParam().make());
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadPngFromFile(image, path.c_str()), 0);
    EXPECT_EQ(image.source, nullptr);
    EXPECT_EQ(image.width, 0u);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Defects, PngRefusedTest, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PngReaderTest, MissingFileRefused)
{
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadPngFromFile(image, (norvale::test::ScratchDir() + "no_such_file.png").c_str()), 0);
    EXPECT_EQ(LoadPngFromFile(image, nullptr), 0);
}

} // namespace
} // namespace norvale
