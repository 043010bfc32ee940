// Deflate decoder for a stream whose whole output is known in size beforehand (a PNG picture's
// filtered rows): the output lies in one buffer, so a match is copied straight from what was
// written before it, several bytes at a time, and the window is the buffer itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvale {

// Bytes of room past the output that a call may overwrite: matches are copied in whole words.
constexpr size_t kInflateSlack = 32;

// Inflates the raw deflate stream `in` (no zlib header or checksum) into `out`. True when the
// final block ends after exactly `outLength` bytes, every code is one zlib accepts too and no
// match reaches farther back than the output's start or `window` bytes; `consumed` is then the
// number of input bytes up to the end of the final block. False for anything else: a stream that
// is short, long or corrupt. `out` must have kInflateSlack bytes of room past `outLength`.
bool InflateWhole(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, size_t window,
                  size_t& consumed);

} // namespace norvale
