// PNG reader (libpng): any PNG colour type to the grey picture, bottom row first. libpng decodes
// every image to 8-bit RGB rows; an error anywhere lands back here by a long jump.
#include "image/png_reader.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace norvale {

namespace {

constexpr size_t kSignatureBytes = 8;
constexpr png_uint_32 kRgbChannels = 3;

// Everything one read holds. It lives in the caller of the function that sets the recovery
// point, so its fields keep their values across the long jump and are released in one place.
struct PngRead
{
    std::FILE* file;
    png_structp png;
    png_infop info;
    png_infop endInfo;
    png_bytepp rows;
    png_uint_32 rowCount; // rows allocated so far
    uint8_t* plane;
    png_uint_32 width;
    png_uint_32 height;
    // Memory source, used instead of `file` when the PNG is held by the caller.
    const uint8_t* memory;
    size_t memoryLength;
    size_t memoryOffset;
};

// The library prints nothing: errors only jump back, warnings are dropped.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void IgnoreWarning(png_structp, png_const_charp) {}

// Reads from the caller's bytes; running past their end is a libpng error like a short file.
void ReadFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* read = static_cast<PngRead*>(png_get_io_ptr(png));
    if (count > read->memoryLength - read->memoryOffset) {
        png_error(png, "read past the end of the buffer");
    }
    std::memcpy(out, read->memory + read->memoryOffset, count);
    read->memoryOffset += count;
}

void ReleasePngRead(PngRead& read)
{
    if (read.rows != nullptr) {
        for (png_uint_32 i = 0; i < read.rowCount; ++i) {
            png_free(read.png, read.rows[i]);
        }
        png_free(read.png, read.rows);
        read.rows = nullptr;
    }
    if (read.png != nullptr) {
        png_destroy_read_struct(&read.png, read.info != nullptr ? &read.info : nullptr,
                                read.endInfo != nullptr ? &read.endInfo : nullptr);
    }
    if (read.file != nullptr) {
        std::fclose(read.file);
        read.file = nullptr;
    }
}

// Decodes the whole file into read.rows and converts them into read.plane. Returns 0 on any
// failure (the caller releases what was allocated).
int DecodePng(PngRead& read)
{
    png_structp png = read.png;
    png_infop info = read.info;
    if (setjmp(png_jmpbuf(png)) != 0) {
        return 0;
    }
    if (read.file != nullptr) {
        png_init_io(png, read.file);
    } else {
        png_set_read_fn(png, &read, ReadFromMemory);
    }
    png_set_sig_bytes(png, static_cast<int>(kSignatureBytes));
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if (uint64_t{width} * height > kMaxPicturePixels) {
        return 0;
    }
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_packswap(png);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    // Grey of 1, 2 or 4 bits is widened to 8 first, so every decoded row has 3 bytes a pixel.
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    const png_size_t rowBytes = png_get_rowbytes(png, info);
    if (bitDepth != 8 || png_get_channels(png, info) != kRgbChannels ||
        rowBytes < png_size_t{width} * kRgbChannels) {
        return 0;
    }
    read.rows = static_cast<png_bytepp>(png_calloc(png, png_alloc_size_t{height} * sizeof(png_bytep)));
    for (; read.rowCount < height; ++read.rowCount) {
        read.rows[read.rowCount] = static_cast<png_bytep>(png_malloc(png, rowBytes));
    }
    png_read_image(png, read.rows);
    png_read_end(png, info);

    const size_t planeBytes = size_t{width} * height;
    read.plane = static_cast<uint8_t*>(std::malloc(planeBytes > 0 ? planeBytes : 1));
    if (read.plane == nullptr) {
        return 0;
    }
    for (png_uint_32 j = 0; j < height; ++j) {
        const png_bytep rgb = read.rows[height - 1 - j];
        uint8_t* out = read.plane + size_t{j} * width;
        for (png_uint_32 i = 0; i < width; ++i) {
            const uint32_t red = rgb[3 * i];
            const uint32_t green = rgb[3 * i + 1];
            const uint32_t blue = rgb[3 * i + 2];
            out[i] = GrayFromRgb(red, green, blue);
        }
    }
    read.width = width;
    read.height = height;
    return 1;
}

} // namespace

namespace {

// Creates the libpng structures for a read whose source is set, decodes, and hands the plane to
// the image. Everything is released here whatever happens.
int FinishPngRead(GrayImage& image, PngRead& read, const png_byte* signature)
{
    int loaded = 0;
    if (png_sig_cmp(signature, 0, kSignatureBytes) == 0) {
        read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
    }
    if (read.png != nullptr) {
        read.info = png_create_info_struct(read.png);
        read.endInfo = png_create_info_struct(read.png);
    }
    if (read.info != nullptr && read.endInfo != nullptr) {
        loaded = DecodePng(read);
    }
    if (loaded != 0) {
        AdoptSourcePlane(image, read.plane, read.width, read.height);
        read.plane = nullptr;
    }
    std::free(read.plane);
    ReleasePngRead(read);
    return loaded;
}

} // namespace

int LoadPngFromFile(GrayImage& image, const char* path)
{
    if (path == nullptr) {
        return 0;
    }
    PngRead read{};
    read.file = std::fopen(path, "rb");
    if (read.file == nullptr) {
        return 0;
    }
    png_byte signature[kSignatureBytes] = {};
    if (std::fread(signature, 1, kSignatureBytes, read.file) != kSignatureBytes) {
        std::fclose(read.file);
        return 0;
    }
    return FinishPngRead(image, read, signature);
}

int LoadPngFromMemory(GrayImage& image, const uint8_t* bytes, size_t length)
{
    if (bytes == nullptr || length < kSignatureBytes) {
        return 0;
    }
    PngRead read{};
    read.memory = bytes;
    read.memoryLength = length;
    read.memoryOffset = kSignatureBytes;
    return FinishPngRead(image, read, bytes);
}

} // namespace norvale
