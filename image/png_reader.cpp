// PNG reader (libpng): any PNG colour type to the grey picture, bottom row first. Grey pictures
// and the indices of palette pictures are decoded by libpng straight into the plane, through row
// pointers in bottom-up order; colour pictures are decoded to 8-bit RGB and converted row by row.
// An error anywhere lands back here by a long jump. The common file (8-bit grey or RGB, not
// interlaced) is first tried by the direct read, which leaves every other file, and every file it
// has any doubt about, to libpng.
#include "image/png_reader.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image/png_direct.h"

namespace norvale {

namespace {

constexpr size_t kSignatureBytes = 8;
constexpr png_uint_32 kRgbChannels = 3;
constexpr int kPaletteSize = 256; // every index an 8-bit sample can hold

// Everything one read holds. It lives in the caller of the function that sets the recovery
// point, so its fields keep their values across the long jump and are released in one place.
struct PngRead
{
    std::FILE* file;
    png_structp png;
    png_infop info;
    png_infop endInfo;
    png_bytepp rows;  // one pointer a picture row, for the reads of the whole picture
    png_bytep colour; // decoded RGB: one row, or every row of an interlaced picture
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
    if (read.png != nullptr) {
        png_free(read.png, read.rows);
        read.rows = nullptr;
        png_free(read.png, read.colour);
        read.colour = nullptr;
        png_destroy_read_struct(&read.png, read.info != nullptr ? &read.info : nullptr,
                                read.endInfo != nullptr ? &read.endInfo : nullptr);
    }
    if (read.file != nullptr) {
        std::fclose(read.file);
        read.file = nullptr;
    }
}

// Grey of every palette entry. Indices past the palette's end read as black, as they do when
// libpng expands the palette itself (it keeps 256 entries, zeroed past the end).
void GreyPalette(png_structp png, png_infop info, uint8_t grey[kPaletteSize])
{
    std::memset(grey, 0, kPaletteSize);
    png_colorp palette = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &palette, &entries) != PNG_INFO_PLTE || palette == nullptr) {
        png_error(png, "palette picture without a palette");
    }
    for (int i = 0; i < entries && i < kPaletteSize; ++i) {
        grey[i] = GrayFromRgb(palette[i].red, palette[i].green, palette[i].blue);
    }
}

// What the transforms make of a picture: 8-bit samples without alpha, one grey value or palette
// index a pixel, or three colour samples.
struct PngLayout
{
    png_uint_32 width;
    png_uint_32 height;
    bool palette;
    bool colour;
    bool interlaced;
    png_size_t rowBytes;
    uint8_t paletteGrey[kPaletteSize];
};

// Reads the header, asks libpng for 8-bit samples without alpha and checks the layout it will
// deliver. 0 for a picture above the size limit or any other layout.
int SetUpTransforms(PngRead& read, PngLayout& layout)
{
    png_structp png = read.png;
    png_infop info = read.info;
    png_read_info(png, info);
    int bitDepth = 0;
    int colourType = 0;
    png_get_IHDR(png, info, &layout.width, &layout.height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if (uint64_t{layout.width} * layout.height > kMaxPicturePixels) {
        return 0;
    }
    layout.palette = colourType == PNG_COLOR_TYPE_PALETTE;
    layout.colour = !layout.palette && (colourType & PNG_COLOR_MASK_COLOR) != 0;
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    if (layout.palette) {
        GreyPalette(png, info, layout.paletteGrey);
        png_set_packing(png); // indices of 1, 2 or 4 bits to one byte each, values unchanged
    } else if (!layout.colour && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    layout.interlaced = png_set_interlace_handling(png) != 1;
    png_read_update_info(png, info);
    png_get_IHDR(png, info, &layout.width, &layout.height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    const png_uint_32 channels = layout.colour ? kRgbChannels : 1;
    layout.rowBytes = png_get_rowbytes(png, info);
    return bitDepth == 8 && png_get_channels(png, info) == channels &&
           layout.rowBytes == png_size_t{layout.width} * channels;
}

// A colour picture read once from top to bottom needs one RGB row: the top row comes first and
// is the plane's last.
void ReadRgbRows(PngRead& read, const PngLayout& layout)
{
    read.colour = static_cast<png_bytep>(png_malloc(read.png, layout.rowBytes));
    for (png_uint_32 j = layout.height; j-- > 0;) {
        png_read_row(read.png, read.colour, nullptr);
        GreyFromRgbRow(read.colour, read.plane + size_t{j} * layout.width, layout.width);
    }
}

// Read whole: grey values and palette indices straight into the plane, bottom row last in the
// file and first in the plane; an interlaced colour picture, whose passes revisit every row, into
// one RGB block that is converted afterwards.
void ReadWholePicture(PngRead& read, const PngLayout& layout)
{
    const png_uint_32 height = layout.height;
    const png_size_t rowBytes = layout.rowBytes;
    read.rows = static_cast<png_bytepp>(png_malloc(read.png, png_alloc_size_t{height} * sizeof(png_bytep)));
    if (layout.colour) {
        read.colour = static_cast<png_bytep>(png_malloc(read.png, png_alloc_size_t{height} * rowBytes));
    }
    for (png_uint_32 i = 0; i < height; ++i) {
        read.rows[i] = layout.colour ? read.colour + size_t{i} * rowBytes
                                     : read.plane + size_t{height - 1 - i} * layout.width;
    }
    png_read_image(read.png, read.rows);
    for (png_uint_32 i = 0; layout.colour && i < height; ++i) {
        GreyFromRgbRow(read.rows[i], read.plane + size_t{height - 1 - i} * layout.width, layout.width);
    }
}

// Decodes the whole file into read.plane. Returns 0 on any failure (the caller releases what was
// allocated). The helpers it calls may raise libpng errors: they land on the recovery point set
// here, and nothing in this frame is read after the jump.
int DecodePng(PngRead& read)
{
    png_structp png = read.png;
    if (setjmp(png_jmpbuf(png)) != 0) {
        return 0;
    }
    if (read.file != nullptr) {
        png_init_io(png, read.file);
    } else {
        png_set_read_fn(png, &read, ReadFromMemory);
    }
    png_set_sig_bytes(png, static_cast<int>(kSignatureBytes));
    PngLayout layout{};
    if (!SetUpTransforms(read, layout)) {
        return 0;
    }
    const size_t planeBytes = size_t{layout.width} * layout.height;
    read.plane = static_cast<uint8_t*>(std::malloc(planeBytes > 0 ? planeBytes : 1));
    if (read.plane == nullptr) {
        return 0;
    }
    if (layout.colour && !layout.interlaced) {
        ReadRgbRows(read, layout);
    } else {
        ReadWholePicture(read, layout);
    }
    png_read_end(png, read.info);
    for (size_t i = 0; layout.palette && i < planeBytes; ++i) {
        read.plane[i] = layout.paletteGrey[read.plane[i]];
    }
    read.width = layout.width;
    read.height = layout.height;
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

// Files up to this size are read whole; larger ones stream through libpng.
constexpr long kMaxWholeFileBytes = 64L << 20;

// The whole of an open file of known size up to kMaxWholeFileBytes, malloc'd. Otherwise null,
// with the file still at its start (a stream that cannot seek never moved). A file that ends
// early gives what it holds.
uint8_t* ReadWholeFile(std::FILE* file, size_t& length)
{
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return nullptr;
    }
    const long size = std::ftell(file);
    const bool rewound = std::fseek(file, 0, SEEK_SET) == 0;
    if (!rewound || size < static_cast<long>(kSignatureBytes) || size > kMaxWholeFileBytes) {
        return nullptr;
    }
    auto* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (bytes != nullptr) {
        length = std::fread(bytes, 1, static_cast<size_t>(size), file);
    }
    return bytes;
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
    // A file of known, moderate size is read whole: the direct read tries it first, and libpng
    // reads the same bytes from memory when the direct read leaves it.
    size_t length = 0;
    uint8_t* bytes = ReadWholeFile(read.file, length);
    if (bytes != nullptr) {
        std::fclose(read.file);
        const int loaded = LoadPngFromMemory(image, bytes, length);
        std::free(bytes);
        return loaded;
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
    uint32_t width = 0;
    uint32_t height = 0;
    if (uint8_t* plane = DecodePngDirect(bytes, length, width, height)) {
        AdoptSourcePlane(image, plane, width, height);
        return 1;
    }
    PngRead read{};
    read.memory = bytes;
    read.memoryLength = length;
    read.memoryOffset = kSignatureBytes;
    return FinishPngRead(image, read, bytes);
}

} // namespace norvale
