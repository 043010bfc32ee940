// Fuzz target: the C++ grey-buffer entry on arbitrary small pictures. No reader stands in front,
// so every byte pattern reaches the search, the frame fitting and the sampling as pixels.
//
// Input: [width low] [width high] [flags] then pixels, row after row.
//   width    1 + (u16 mod kMaxSide)
//   flags    bit 0: rows bottom first; bits 1-3: padding bytes after each row (stride - width)
// The height is whatever the pixels fill, at most kMaxSide rows.
#include <cstddef>
#include <cstdint>

#include "norvale/datamatrix.hpp"

namespace {

constexpr size_t kHeaderBytes = 3;
// Small pictures keep each run short; symbols of every size still fit at 2 pixels a module.
constexpr uint32_t kMaxSide = 320;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes) {
        return 0;
    }
    const uint32_t width = 1 + (static_cast<uint32_t>(data[0] | data[1] << 8) % kMaxSide);
    const auto order = (data[2] & 1) ? norvale::RowOrder::kBottomFirst : norvale::RowOrder::kTopFirst;
    const size_t stride = width + ((data[2] >> 1) & 7);
    const uint8_t* pixels = data + kHeaderBytes;
    const size_t available = size - kHeaderBytes;
    if (available < width) {
        return 0;
    }
    // The last row needs only width bytes, not a whole stride.
    size_t height = 1 + (available - width) / stride;
    if (height > kMaxSide) {
        height = kMaxSide;
    }
    const norvale::Decoded decoded =
        norvale::DecodeGray(pixels, width, static_cast<uint32_t>(height), stride, order);
    if (decoded.ok() && decoded.bytes.size() > NORVALE_MAX_DECODED_BYTES) {
        __builtin_trap(); // more bytes than any symbol holds
    }
    return 0;
}
