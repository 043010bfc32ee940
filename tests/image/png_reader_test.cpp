#include "image/png_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image/png_direct.h"
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
    int filter = 0; // one filter for every row (PNG_FILTER_*), or 0 for libpng's own choice
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
    if (picture.filter != 0) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, picture.filter);
    }
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

PngPicture Filtered(PngPicture picture, int filter)
{
    picture.filter = filter;
    return picture;
}

// 8-bit grey that is neither flat nor a ramp, with few levels, so that every predictor of every
// filter is used and the Paeth predictor meets its ties.
PngPicture Speckled(uint32_t width, uint32_t height)
{
    auto value = [](uint32_t x, uint32_t y) { return uint8_t((x * x * 7 + y * 13 + x * y * 5) % 7 * 37); };
    return {PNG_COLOR_TYPE_GRAY,
            8,
            width,
            height,
            [value](uint32_t x, uint32_t y, int) { return value(x, y); },
            [value](uint32_t x, uint32_t y) {
                const uint8_t g = value(x, y);
                return Rgb{g, g, g};
            }};
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
    {"Grey8None", Filtered(Speckled(23, 9), PNG_FILTER_NONE)},
    {"Grey8Sub", Filtered(Speckled(23, 9), PNG_FILTER_SUB)},
    {"Grey8Up", Filtered(Speckled(23, 9), PNG_FILTER_UP)},
    {"Grey8Average", Filtered(Speckled(23, 9), PNG_FILTER_AVG)},
    {"Grey8Paeth", Filtered(Speckled(23, 9), PNG_FILTER_PAETH)},
    {"Rgb8Sub", Filtered(Colour(PNG_COLOR_TYPE_RGB, 8, 17, 6), PNG_FILTER_SUB)},
    {"Rgb8Up", Filtered(Colour(PNG_COLOR_TYPE_RGB, 8, 17, 6), PNG_FILTER_UP)},
    {"Rgb8Average", Filtered(Colour(PNG_COLOR_TYPE_RGB, 8, 17, 6), PNG_FILTER_AVG)},
    {"Rgb8Paeth", Filtered(Colour(PNG_COLOR_TYPE_RGB, 8, 17, 6), PNG_FILTER_PAETH)},
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

// Offset of the first chunk of the given type (its length field).
size_t ChunkOffset(const std::vector<uint8_t>& png, const char* type)
{
    size_t at = 8;
    while (at + 8 <= png.size() && std::memcmp(&png[at + 4], type, 4) != 0) {
        at += 12 + png_get_uint_32(&png[at]);
    }
    return at;
}

// A whole chunk: length, type, data and checksum, the checksum spoilt if asked.
std::vector<uint8_t> MakeChunk(const char* type, const std::vector<uint8_t>& data, bool rightChecksum = true)
{
    std::vector<uint8_t> chunk;
    const auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            chunk.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
        }
    };
    put32(static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    put32(static_cast<uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(data.size() + 4))) ^
          (rightChecksum ? 0u : 1u));
    return chunk;
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
    {"CorruptImageDataCrc",
     [] {
         std::vector<uint8_t> b = ValidPngBytes();
         const size_t at = ChunkOffset(b, "IDAT");
         b[at + 8 + png_get_uint_32(&b[at])] ^= 0xFF; // the first byte of its checksum
         return b;
     }},
    {"CorruptZlibChecksum",
     [] {
         // The image data's last byte (of the Adler-32) spoilt, its chunk's checksum made right.
         std::vector<uint8_t> b = ValidPngBytes();
         const size_t at = ChunkOffset(b, "IDAT");
         const uint32_t length = png_get_uint_32(&b[at]);
         b[at + 8 + length - 1] ^= 0xFF;
         const std::vector<uint8_t> chunk = MakeChunk(
             "IDAT", std::vector<uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                          b.begin() + static_cast<std::ptrdiff_t>(at + 8 + length)));
         std::copy(chunk.begin(), chunk.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
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

// Files laid out in other ways than the plain file, each loading as it does.
struct LayoutCase
{
    const char* name;
    std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> change;
    bool direct; // read by the direct read rather than left to libpng
};

std::vector<uint8_t> WithChunkAfterHeader(const std::vector<uint8_t>& png, const std::vector<uint8_t>& chunk)
{
    std::vector<uint8_t> b = png;
    b.insert(b.begin() + 33, chunk.begin(), chunk.end()); // signature and IHDR
    return b;
}

const LayoutCase kLayoutCases[] = {
    {"ImageDataInOneByteChunks",
     [](const std::vector<uint8_t>& png) {
         const size_t at = ChunkOffset(png, "IDAT");
         const uint32_t length = png_get_uint_32(&png[at]);
         std::vector<uint8_t> b(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(at));
         for (uint32_t i = 0; i < length; ++i) {
             const std::vector<uint8_t> chunk = MakeChunk("IDAT", {png[at + 8 + i]});
             b.insert(b.end(), chunk.begin(), chunk.end());
         }
         b.insert(b.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 12 + length), png.end());
         return b;
     },
     true},
    {"TextChunk",
     [](const std::vector<uint8_t>& png) {
         return WithChunkAfterHeader(png, MakeChunk("tEXt", {'a', 0, 'b'}));
     },
     true},
    {"AncillaryChunkWithWrongChecksum",
     [](const std::vector<uint8_t>& png) {
         return WithChunkAfterHeader(png, MakeChunk("nvTx", std::vector<uint8_t>(12, 7), false));
     },
     false},
    {"LongAncillaryChunk",
     [](const std::vector<uint8_t>& png) {
         return WithChunkAfterHeader(png, MakeChunk("nvTx", std::vector<uint8_t>(70000, 7)));
     },
     false},
};

class PngLayoutTest : public ::testing::TestWithParam<LayoutCase>
{
};

TEST_P(PngLayoutTest, LoadsLikeThePlainFile)
{
    const std::string path = norvale::test::ScratchDir() + "png_layout.png";
    ASSERT_TRUE(WritePng(path, Speckled(31, 12)));
    const std::vector<uint8_t> plain = test::ReadFileBytes(path);
    std::remove(path.c_str());
    const std::vector<uint8_t> changed = GetParam().change(plain);
    GrayImage expected{};
    GrayImage image{};
    InitGrayImage(expected);
    InitGrayImage(image);
    ASSERT_EQ(LoadPngFromMemory(expected, plain.data(), plain.size()), 1);
    ASSERT_EQ(LoadPngFromMemory(image, changed.data(), changed.size()), 1);
    ASSERT_EQ(image.width, expected.width);
    ASSERT_EQ(image.height, expected.height);
    EXPECT_EQ(std::memcmp(image.source, expected.source, size_t{image.width} * image.height), 0);
    FreeGrayImage(expected);
    FreeGrayImage(image);
    // The plain file and the layouts the direct read takes do not fall back on libpng.
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t* direct = DecodePngDirect(plain.data(), plain.size(), width, height);
    EXPECT_NE(direct, nullptr);
    std::free(direct);
    direct = DecodePngDirect(changed.data(), changed.size(), width, height);
    EXPECT_EQ(direct != nullptr, GetParam().direct);
    std::free(direct);
}

INSTANTIATE_TEST_SUITE_P(Chunks, PngLayoutTest, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PngReaderTest, AdlerChecksumIsZlibs)
{
    // Pseudo-random bytes, and all 255 from sums just below the modulus (the largest sums a block
    // of zlib's length can reach), over lengths around the 16-byte lanes and the block.
    std::vector<uint8_t> random(20000);
    uint32_t state = 12345;
    for (uint8_t& byte : random) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 23);
    }
    const std::vector<uint8_t> full(20000, 255);
    const uint32_t largest = (65520u << 16) | 65520u;
    for (size_t length : {0, 1, 15, 16, 17, 31, 100, 5551, 5552, 5553, 11104, 20000}) {
        EXPECT_EQ(Adler32(1, random.data(), length),
                  static_cast<uint32_t>(adler32(1, random.data(), static_cast<uInt>(length))))
            << length;
        EXPECT_EQ(Adler32(largest, full.data(), length),
                  static_cast<uint32_t>(adler32(largest, full.data(), static_cast<uInt>(length))))
            << length;
    }
}

TEST(PngReaderTest, MissingFileRefused)
{
    GrayImage image{};
    InitGrayImage(image);
    EXPECT_EQ(LoadPngFromFile(image, (norvale::test::ScratchDir() + "no_such_file.png").c_str()), 0);
    EXPECT_EQ(LoadPngFromFile(image, nullptr), 0);
}

} // namespace
} // namespace norvale
