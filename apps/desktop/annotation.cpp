// Annotated copy of a picture: library reader -> grey picture -> RGB rows (top row first) ->
// outline drawn through the corners -> PNG written with libpng.
#include "apps/desktop/annotation.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/gray_image.h"
#include "image/picture_reader.h"

namespace norvale::app {

namespace {

constexpr int kChannels = 3;

// An RGB copy of the picture, top row first, as PNG stores it.
struct RgbPicture
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
};

// By content, as the C++ API reads the picture it decodes.
bool LoadGrey(const char* path, GrayImage& image)
{
    return LoadPictureFile(image, path, FormatOfFile(path)) == 1;
}

bool LoadRgb(const char* path, RgbPicture& picture)
{
    GrayImage image{};
    InitGrayImage(image);
    if (!LoadGrey(path, image)) {
        FreeGrayImage(image);
        return false;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.pixels.resize(size_t{image.width} * image.height * kChannels);
    // The reader's row 0 is the bottom row.
    for (uint32_t row = 0; row < image.height; ++row) {
        const uint8_t* grey = image.source + size_t{image.height - 1 - row} * image.width;
        unsigned char* rgb = picture.pixels.data() + size_t{row} * image.width * kChannels;
        for (uint32_t x = 0; x < image.width; ++x) {
            rgb[kChannels * x] = rgb[kChannels * x + 1] = rgb[kChannels * x + 2] = grey[x];
        }
    }
    FreeGrayImage(image);
    return true;
}

void FillSquare(RgbPicture& picture, int cx, int cy, int half, const unsigned char* colour)
{
    for (int y = cy - half; y <= cy + half; ++y) {
        for (int x = cx - half; x <= cx + half; ++x) {
            if (x >= 0 && y >= 0 && x < picture.width && y < picture.height) {
                std::memcpy(&picture.pixels[(size_t(y) * picture.width + x) * kChannels], colour, kChannels);
            }
        }
    }
}

// A thick straight line, one square per step along its longer axis.
void DrawLine(RgbPicture& picture, SymbolPoint a, SymbolPoint b, const unsigned char* colour)
{
    const long dx = long{b.x} - a.x;
    const long dy = long{b.y} - a.y;
    const long steps = std::max(std::labs(dx), std::labs(dy));
    for (long i = 0; i <= steps; ++i) {
        // Nearest pixel along the segment; steps == 0 draws the one point.
        const double t = steps == 0 ? 0.0 : double(i) / double(steps);
        const int x = static_cast<int>(a.x + t * dx + (dx >= 0 ? 0.5 : -0.5));
        const int y = static_cast<int>(a.y + t * dy + (dy >= 0 ? 0.5 : -0.5));
        FillSquare(picture, x, y, kOutlineHalfWidth, colour);
    }
}

void DrawOutline(RgbPicture& picture, const Decoded& decoded)
{
    const auto corners = decoded.cornersFromTop();
    bool any = false;
    for (const SymbolPoint& c : decoded.corners) {
        any = any || c.x != 0 || c.y != 0;
    }
    if (!any) {
        return;
    }
    const unsigned char* colour = decoded.ok() ? kDecodedOutline : kCandidateOutline;
    // Around the symbol: vertex, end of the left leg, opposite corner, end of the bottom leg.
    constexpr int kOrder[5] = {0, 1, 3, 2, 0};
    for (int k = 0; k < 4; ++k) {
        DrawLine(picture, corners[kOrder[k]], corners[kOrder[k + 1]], colour);
    }
    for (const SymbolPoint& c : corners) {
        FillSquare(picture, c.x, c.y, kCornerHalfWidth, colour);
    }
}

// libpng reports errors by a long jump back here; nothing with a destructor lives in this frame.
bool WriteRows(png_structp png, png_infop info, std::FILE* file, const RgbPicture& picture, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_rows(png, rows, png_uint_32(picture.height));
    png_write_end(png, info);
    return true;
}

bool WritePng(const char* path, RgbPicture& picture)
{
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    std::vector<png_bytep> rows(size_t(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        rows[size_t(y)] = picture.pixels.data() + size_t(y) * picture.width * kChannels;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    bool written = info != nullptr && WriteRows(png, info, file, picture, rows.data());
    png_destroy_write_struct(&png, &info);
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::remove(path);
    }
    return written;
}

} // namespace

bool WriteAnnotatedPicture(const char* picturePath, const Decoded& decoded, const char* outPath)
{
    RgbPicture picture;
    if (!LoadRgb(picturePath, picture)) {
        return false;
    }
    DrawOutline(picture, decoded);
    return WritePng(outPath, picture);
}

} // namespace norvale::app
