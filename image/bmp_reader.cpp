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

uint8_t Grey(uint32_t blue, uint32_t green, uint32_t red)
{
    return GrayFromRgb(red, green, blue);
}

// 5-bit channel to 8 bits, so that 31 becomes 255.
uint32_t Widen5(uint32_t v)
{
    return v << 3 | v >> 2;
}

// Grey plane from the pixel rows (height x stride bytes at `pixels`), or null when a palette
// index names an entry outside the header block or memory is exhausted.
uint8_t* BmpToGray(const BmpHeader& header, const BmpLayout& layout, const uint8_t* pixels)
{
    const size_t width = layout.width;
    const size_t bytes = width * layout.height;
    auto* plane = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    if (plane == nullptr) {
        return nullptr;
    }
    const size_t paletteEntries =
        header.size >= kPaletteStart ? (header.size - kPaletteStart) / kPaletteEntryBytes : 0;
    const uint8_t* palette = header.bytes + kPaletteStart;
    for (size_t i = 0; i < layout.height; ++i) {
        const uint8_t* row = pixels + i * layout.stride;
        uint8_t* out = plane + i * width;
        for (size_t k = 0; k < width; ++k) {
            uint32_t index = 0;
            switch (layout.bitsPerPixel) {
            case 1:
                index = (row[k / 8] >> (7 - k % 8)) & 1;
                break;
            case 4:
                index = (k % 2 == 0) ? row[k / 2] >> 4 : row[k / 2] & 15;
                break;
            case 8:
                index = row[k];
                break;
            case 16: {
                const uint32_t low = row[2 * k];
                const uint32_t high = row[2 * k + 1];
                // 5-5-5: the top bit of the high byte is unused and must not reach red.
                out[k] =
                    Grey(Widen5(low & 31), Widen5(((high & 3) << 3) + (low >> 5)), Widen5((high >> 2) & 31));
                continue;
            }
            default:
                out[k] = Grey(row[3 * k], row[3 * k + 1], row[3 * k + 2]);
                continue;
            }
            if (index >= paletteEntries) {
                std::free(plane);
                return nullptr;
            }
            const uint8_t* entry = palette + kPaletteEntryBytes * index;
            out[k] = Grey(entry[0], entry[1], entry[2]);
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
    uint8_t* pixels = nullptr;
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
        // Only the rows are used; the claimed size has been checked against the file.
        const size_t rowsBytes = size_t(layout.stride * layout.height);
        pixels = static_cast<uint8_t*>(std::malloc(rowsBytes > 0 ? rowsBytes : 1));
        if (pixels != nullptr && std::fread(pixels, 1, rowsBytes, file) == rowsBytes) {
            plane = BmpToGray(header, layout, pixels);
        }
    }
    std::fclose(file);
    std::free(pixels);
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
        plane = BmpToGray(header, layout, buffer + kFileHeaderBytes + blockSize);
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
