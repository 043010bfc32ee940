// Direct PNG read: the common PNG file (8-bit grey or RGB, not interlaced, every checksum right)
// decoded without libpng's row-at-a-time machinery, by our own deflate decoder or zlib. Every
// other file, and every file this read has any doubt about, is left to libpng, which then
// decides.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvale {

// The whole file's bytes, its signature included. Returns the grey plane (bottom row first,
// malloc'd, the caller owns it) and its size, or null when the file is left to libpng: another
// layout, an unexpected chunk, a wrong checksum, image data that is short, long or corrupt, or
// no memory.
uint8_t* DecodePngDirect(const uint8_t* bytes, size_t length, uint32_t& width, uint32_t& height);

// zlib's Adler-32 of `length` more bytes, continuing from `adler` (1 for none yet).
uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t length);

} // namespace norvale
