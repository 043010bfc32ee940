// BMP reader: uncompressed bottom-up 1, 4, 8, 16 and 24-bit bitmaps, from a file or memory, to
// the grey picture. Every size is checked against the bytes present before anything is sized
// from it: the input is untrusted.
#include "image/bmp_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace norvale {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;  // the only info-header layout read
constexpr uint16_t kBmpSignature = 0x4D42; // "BM" read little-endian

// Field offsets inside the header block, which starts right after the 14-byte file header.
constexpr size_t kWidthField = 4;
constexpr size_t kHeightField = 8;
constexpr size_t kDepthField = 14;
constexpr size_t kCompressionField = 16;
constexpr size_t kImageSizeField = 20;
constexpr size_t kPaletteStart = kInfoHeaderBytes;
constexpr size_t kPaletteEntryBytes = 4; // blue, green, red, reserved

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The header block: info header and palette, bytes 14 up to the pixel-data offset. Owned.
struct BmpHeader
{
    uint8_t* bytes;
    uint32_t size;
};

// What the header block says about the pixel data, after every check has passed.
struct BmpLayout
{
    uint32_t width;
    uint32_t height;
    uint32_t bitsPerPixel;
    uint64_t stride;      // bytes per stored row, padded to a multiple of 4
    uint64_t claimedSize; // the image-size field, or height x stride when it is 0
};

// Validates the header block and derives the pixel-data layout. Refuses negative or oversized
// dimensions, unsupported depths, compression, and a claimed size below height x stride.
bool ReadBmpLayout(const BmpHeader& header, BmpLayout& layout)
{
    if (header.size < kInfoHeaderBytes) {
        return false;
    }
    const uint8_t* h = header.bytes;
    const auto width = static_cast<int32_t>(ReadU32(h + kWidthField));
    const auto height = static_cast<int32_t>(ReadU32(h + kHeightField));
    const uint32_t depth = ReadU16(h + kDepthField);
    if (width < 0 || height < 0 || uint64_t(width) * uint64_t(height) > kMaxPicturePixels) {
        return false;
    }
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24) {
        return false;
    }
    if (ReadU32(h + kCompressionField) != 0) {
        return false;
    }
    layout.width = static_cast<uint32_t>(width);
    layout.height = static_cast<uint32_t>(height);
    layout.bitsPerPixel = depth;
    layout.stride = ((uint64_t{depth} * layout.width + 7) / 8 + 3) & ~uint64_t{3};
    const uint64_t rowsBytes = layout.stride * layout.height;
    const uint32_t imageSize = ReadU32(h + kImageSizeField);
    layout.claimedSize = imageSize != 0 ? imageSize : rowsBytes;
    // An image-size field too small for the rows would make the conversion read past the data.
    return layout.claimedSize >= rowsBytes;
}

// 5-bit channel to 8 bits, so that 31 becomes 255.
uint32_t Widen5(uint32_t v)
{
    return v << 3 | v >> 2;
}

// Grey of each palette entry the header block holds, by index. An index past the palette's end
// maps to kNoEntry, which no grey reaches, so a row can be checked once after its conversion.
constexpr size_t kPaletteIndices = 256; // every index an 8-bit pixel can hold
constexpr uint16_t kNoEntry = 256;
struct BmpPalette
{
    uint16_t grey[kPaletteIndices];
};

void ReadPalette(const BmpHeader& header, BmpPalette& palette)
{
    const size_t entries =
        header.size >= kPaletteStart ? (header.size - kPaletteStart) / kPaletteEntryBytes : 0;
    for (size_t i = 0; i < kPaletteIndices; ++i) {
        palette.grey[i] = kNoEntry;
    }
    for (size_t i = 0; i < entries && i < kPaletteIndices; ++i) {
        const uint8_t* entry = header.bytes + kPaletteStart + kPaletteEntryBytes * i; // blue, green, red
        palette.grey[i] = GrayFromRgb(entry[2], entry[1], entry[0]);
    }
}

// One row of 1, 4 or 8-bit indices, most significant bits first. Returns the OR of the looked-up
// values: kNoEntry is set in it when an index named no entry.
template <uint32_t Bits>
uint16_t PaletteRow(const uint8_t* row, const BmpPalette& palette, uint8_t* out, size_t width)
{
    constexpr size_t kPerByte = 8 / Bits;
    constexpr uint32_t kMask = (1u << Bits) - 1;
    uint16_t seen = 0;
    for (size_t k = 0; k < width; ++k) {
        const uint32_t shift = 8 - Bits - Bits * uint32_t(k % kPerByte);
        const uint16_t grey = palette.grey[(row[k / kPerByte] >> shift) & kMask];
        out[k] = static_cast<uint8_t>(grey);
        seen |= grey;
    }
    return seen;
}

// 5-5-5 words, little-endian: the top bit of the high byte is unused and must not reach red.
void Row16(const uint8_t* row, uint8_t* out, size_t width)
{
    for (size_t k = 0; k < width; ++k) {
        const uint32_t low = row[2 * k];
        const uint32_t high = row[2 * k + 1];
        out[k] =
            GrayFromRgb(Widen5((high >> 2) & 31), Widen5(((high & 3) << 3) + (low >> 5)), Widen5(low & 31));
    }
}

// Blue, green, red bytes.
void Row24(const uint8_t* row, uint8_t* out, size_t width)
{
    for (size_t k = 0; k < width; ++k) {
        out[k] = GrayFromRgb(row[3 * k + 2], row[3 * k + 1], row[3 * k]);
    }
}

// Converts one stored row; false when a palette index names an entry outside the header block.
bool ConvertRow(const BmpLayout& layout, const BmpPalette& palette, const uint8_t* row, uint8_t* out)
{
    const size_t width = layout.width;
    switch (layout.bitsPerPixel) {
    case 1:
        return (PaletteRow<1>(row, palette, out, width) & kNoEntry) == 0;
    case 4:
        return (PaletteRow<4>(row, palette, out, width) & kNoEntry) == 0;
    case 8:
        return (PaletteRow<8>(row, palette, out, width) & kNoEntry) == 0;
    case 16:
        Row16(row, out, width);
        return true;
    default:
        Row24(row, out, width);
        return true;
    }
}

// Grey plane from the stored rows, bottom row first; `nextRow(i)` gives row i (stride bytes) or
// null when it cannot be read. Null when a row is missing, a palette index names an entry outside
// the header block, or memory is exhausted.
template <typename NextRow>
uint8_t* BmpToGray(const BmpHeader& header, const BmpLayout& layout, NextRow nextRow)
{
    const size_t width = layout.width;
    const size_t bytes = width * layout.height;
    auto* plane = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    if (plane == nullptr) {
        return nullptr;
    }
    BmpPalette palette;
    if (layout.bitsPerPixel <= 8) {
        ReadPalette(header, palette);
    }
    for (size_t i = 0; i < layout.height; ++i) {
        const uint8_t* row = nextRow(i);
        if (row == nullptr || !ConvertRow(layout, palette, row, plane + i * width)) {
            std::free(plane);
            return nullptr;
        }
    }
    return plane;
}

// Checks the 14-byte file header and returns the header block's size (pixel-data offset - 14),
// or 0 when the signature is wrong or the block is shorter than the info header.
uint32_t HeaderBlockSize(const uint8_t* fileHeader)
{
    if (ReadU16(fileHeader) != kBmpSignature) {
        return 0;
    }
    const uint32_t offset = ReadU32(fileHeader + 10);
    if (offset < kFileHeaderBytes + kInfoHeaderBytes) {
        return 0;
    }
    return offset - static_cast<uint32_t>(kFileHeaderBytes);
}

// Returns the grey plane and hands the header block to the caller, or null with nothing held.
uint8_t* ReadBmpFile(const char* path, BmpHeader& header, BmpLayout& layout)
{
    header = BmpHeader{};
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    uint8_t* row = nullptr;
    uint8_t* plane = nullptr;
    uint8_t fileHeader[kFileHeaderBytes];
    long fileSize = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        fileSize = std::ftell(file);
    }
    const bool sized = fileSize >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    const uint64_t available = sized ? uint64_t(fileSize) : 0;
    uint32_t blockSize = 0;
    if (sized && std::fread(fileHeader, 1, kFileHeaderBytes, file) == kFileHeaderBytes) {
        blockSize = HeaderBlockSize(fileHeader);
    }
    // Claimed sizes are checked against the bytes present first: 60 bytes never buy gigabytes.
    if (blockSize != 0 && blockSize <= available - kFileHeaderBytes) {
        header.bytes = static_cast<uint8_t*>(std::malloc(blockSize));
        header.size = blockSize;
    }
    if (header.bytes != nullptr && std::fread(header.bytes, 1, blockSize, file) == blockSize &&
        ReadBmpLayout(header, layout) && layout.claimedSize <= available - kFileHeaderBytes - blockSize) {
        // Only the rows are used, one at a time; the claimed size has been checked against the file.
        const size_t stride = size_t(layout.stride);
        row = static_cast<uint8_t*>(std::malloc(stride > 0 ? stride : 1));
        if (row != nullptr) {
            plane = BmpToGray(header, layout, [&](size_t) {
                return std::fread(row, 1, stride, file) == stride ? row : nullptr;
            });
        }
    }
    std::fclose(file);
    std::free(row);
    if (plane == nullptr) {
        std::free(header.bytes);
        header = BmpHeader{};
    }
    return plane;
}

// The same from the bytes of a BMP file; the caller's buffer is only read, never copied whole.
uint8_t* ReadBmpBuffer(const uint8_t* buffer, size_t length, BmpHeader& header, BmpLayout& layout)
{
    header = BmpHeader{};
    if (buffer == nullptr || length < kFileHeaderBytes) {
        return nullptr;
    }
    const uint32_t blockSize = HeaderBlockSize(buffer);
    if (blockSize == 0 || blockSize > length - kFileHeaderBytes) {
        return nullptr;
    }
    header.bytes = static_cast<uint8_t*>(std::malloc(blockSize));
    if (header.bytes == nullptr) {
        return nullptr;
    }
    header.size = blockSize;
    std::memcpy(header.bytes, buffer + kFileHeaderBytes, blockSize);
    uint8_t* plane = nullptr;
    if (ReadBmpLayout(header, layout) && layout.claimedSize <= length - kFileHeaderBytes - blockSize) {
        const uint8_t* pixels = buffer + kFileHeaderBytes + blockSize;
        plane = BmpToGray(header, layout, [&](size_t i) { return pixels + i * size_t(layout.stride); });
    }
    if (plane == nullptr) {
        std::free(header.bytes);
        header = BmpHeader{};
    }
    return plane;
}

int AdoptBmp(GrayImage& image, uint8_t* plane, BmpHeader& header, const BmpLayout& layout)
{
    if (plane == nullptr) {
        return 0;
    }
    std::free(header.bytes);
    header = BmpHeader{};
    AdoptSourcePlane(image, plane, layout.width, layout.height);
    return 1;
}

} // namespace

int LoadBmpFromFile(GrayImage& image, const char* path)
{
    if (path == nullptr) {
        return 0;
    }
    BmpHeader header{};
    BmpLayout layout{};
    uint8_t* plane = ReadBmpFile(path, header, layout);
    return AdoptBmp(image, plane, header, layout);
}

int LoadBmpFromMemory(GrayImage& image, const uint8_t* buffer, size_t length)
{
    BmpHeader header{};
    BmpLayout layout{};
    uint8_t* plane = ReadBmpBuffer(buffer, length, header, layout);
    return AdoptBmp(image, plane, header, layout);
}

} // namespace norvale
