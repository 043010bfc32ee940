// NorvaleDataMatrix C++ API: value types over the same decoder as the C entries.
//
// Every function is noexcept and reports failure in the returned value: nothing is thrown. The
// caller's buffers are only read during the call. Unlike the C path entry, DecodePath picks the
// reader from the file's content (BMP, PNG or JPEG signature), not from its name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "norvale/datamatrix.h"

namespace norvale {

enum class DecodeErrorKind {
    kNone = 0,           // a symbol was decoded
    kImageNotLoaded = 1, // unreadable file, unknown format, bad pixels or dimensions
    kNothingFound = 2,   // the picture loaded, but no symbol decoded
};

struct SymbolPoint
{
    int32_t x = 0;
    int32_t y = 0;
};

// Outcome of one decode. Corners are in picture pixels with x to the right and y counted from
// the picture's BOTTOM row (row 0 is the bottom), as in DecodeResult: corner 0 is the finder
// vertex, 1 the far end of the leg that runs along the symbol's left side, 2 the far end of the
// bottom leg, 3 opposite 0. When the picture loaded but nothing decoded, the corners are those
// of the last candidate that reached error correction (all 0 if none did), and bytes is empty.
struct Decoded
{
    DecodeErrorKind error = DecodeErrorKind::kImageNotLoaded;
    std::vector<uint8_t> bytes; // the decoded bytes, NUL bytes included
    uint32_t side = 0;          // modules per side
    uint32_t startMode = 0;     // StartMode of the first codeword
    int32_t correctedCount = 0; // codewords fixed by Reed-Solomon
    std::array<SymbolPoint, 4> corners{};
    uint32_t pictureHeight = 0; // of the loaded picture, to turn corners into top-down rows

    bool ok() const noexcept { return error == DecodeErrorKind::kNone; }

    // The bytes as a string (NUL bytes kept); empty if the copy cannot be allocated.
    std::string text() const noexcept
    {
        try {
            return std::string(bytes.begin(), bytes.end());
        } catch (...) {
            return std::string();
        }
    }

    // The corners with y counted from the picture's TOP row (row 0 at the top), as most image
    // tools and top-first grey buffers count rows. All 0 when no picture was loaded.
    std::array<SymbolPoint, 4> cornersFromTop() const noexcept
    {
        std::array<SymbolPoint, 4> top{};
        if (pictureHeight == 0) {
            return top;
        }
        for (size_t k = 0; k < top.size(); ++k) {
            top[k] = SymbolPoint{corners[k].x, static_cast<int32_t>(pictureHeight) - 1 - corners[k].y};
        }
        return top;
    }
};

// Row order of a caller's grey buffer.
enum class RowOrder {
    kTopFirst,
    kBottomFirst,
};

// Decodes the image file at path (BMP, PNG or JPEG, recognised by content, whatever its name).
// kImageNotLoaded: the file cannot be opened or read, or its format is unknown or unsupported.
NORVALE_API Decoded DecodePath(const std::string& path) noexcept;

// Decodes an encoded image held in memory (length bytes of a BMP, PNG or JPEG file, recognised
// by content). The bytes are only read. kImageNotLoaded for null, empty or unknown data.
NORVALE_API Decoded DecodeMemory(const uint8_t* bytes, size_t length) noexcept;

// Decodes a caller's 8-bit grey picture (0 black, 255 white). stride is the distance between the
// starts of two rows in bytes and must be at least width; the buffer holds (height - 1) * stride
// + width bytes. order tells which row comes first in memory. kImageNotLoaded for a null buffer,
// a zero width or height, stride < width, or more than 2^26 pixels.
NORVALE_API Decoded DecodeGray(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                               RowOrder order) noexcept;

} // namespace norvale
