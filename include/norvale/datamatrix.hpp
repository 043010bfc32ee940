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
    kOutOfMemory = 3,    // an allocation failed
    kTimedOut = 4,       // the time budget ran out before a symbol decoded
};

// What a call looks for. The defaults give the plain entries' behaviour.
struct Options
{
    uint32_t maxSymbols = 0;   // DecodeAll...: most symbols returned, 0 for every one found
    uint32_t timeBudgetMs = 0; // return what has been found after about this long; 0: no budget
    bool inverted = true;      // also look for light-on-dark symbols
};

// Place of a symbol in a structured-append sequence; total is 0 for a symbol outside one.
struct StructuredAppend
{
    uint32_t position = 0; // 1 to total
    uint32_t total = 0;    // 2 to 16 symbols
    uint32_t fileId = 0;   // the two identification codewords, the first one in the high byte
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

    // What the symbol's function codewords say about the bytes (empty when nothing decoded).
    // The symbology identifier of ISO/IEC 15424: "]d1" plain, "]d2" GS1 (FNC1 first), "]d3" AIM
    // (FNC1 after a letter or digit pair), "]d4" to "]d6" the same three with ECI designators.
    std::string symbologyIdentifier;
    // For a GS1 symbol, the element string in human-readable form, each application identifier
    // in parentheses: "(01)09501101530003(17)250101(10)AB12". Empty for other symbols and for
    // GS1 bytes that do not parse as element strings.
    std::string gs1;
    // The ECI designators met, in order (the first four). The bytes are not converted: they are
    // in the encoding each designator names.
    std::vector<uint32_t> eci;
    StructuredAppend structuredAppend;
    bool readerProgramming = false; // the symbol programs the reader rather than carrying data

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

// The name of a start mode as vistrel --json and the Python module write it: "ascii", "c40",
// "text", "x12", "edifact", "base256" or "upper-shift" (any other value is an ASCII start).
constexpr const char* StartModeName(uint32_t mode) noexcept
{
    switch (mode) {
    case kStartModeC40:
        return "c40";
    case kStartModeBase256:
        return "base256";
    case kStartModeUpperShift:
        return "upper-shift";
    case kStartModeX12:
        return "x12";
    case kStartModeText:
        return "text";
    case kStartModeEdifact:
        return "edifact";
    default:
        return "ascii";
    }
}

// Row order of a caller's grey buffer.
enum class RowOrder {
    kTopFirst,
    kBottomFirst,
};

// Every symbol of one picture, in the order found, none twice.
struct DecodedAll
{
    DecodeErrorKind error = DecodeErrorKind::kImageNotLoaded; // kNone when symbols is not empty
    std::vector<Decoded> symbols;

    bool ok() const noexcept { return error == DecodeErrorKind::kNone; }
};

// Decodes the image file at path (BMP, PNG or JPEG, recognised by content, whatever its name).
// kImageNotLoaded: the file cannot be opened or read, or its format is unknown or unsupported.
NORVALE_API Decoded DecodePath(const std::string& path, const Options& options = {}) noexcept;

// Decodes an encoded image held in memory (length bytes of a BMP, PNG or JPEG file, recognised
// by content). The bytes are only read. kImageNotLoaded for null, empty or unknown data.
NORVALE_API Decoded DecodeMemory(const uint8_t* bytes, size_t length, const Options& options = {}) noexcept;

// Decodes a caller's 8-bit grey picture (0 black, 255 white). stride is the distance between the
// starts of two rows in bytes and must be at least width; the buffer holds (height - 1) * stride
// + width bytes. order tells which row comes first in memory. kImageNotLoaded for a null buffer,
// a zero width or height, stride < width, or more than 2^26 pixels.
NORVALE_API Decoded DecodeGray(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                               RowOrder order, const Options& options = {}) noexcept;

// Every distinct symbol of the picture, up to options.maxSymbols (0: all). Each symbol found is
// painted out of a copy of the picture before the search runs again, so a sheet of labels costs
// one search per symbol and one more that finds nothing.
NORVALE_API DecodedAll DecodeAllPath(const std::string& path, const Options& options = {}) noexcept;
NORVALE_API DecodedAll DecodeAllMemory(const uint8_t* bytes, size_t length,
                                       const Options& options = {}) noexcept;
NORVALE_API DecodedAll DecodeAllGray(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                                     RowOrder order, const Options& options = {}) noexcept;

} // namespace norvale
