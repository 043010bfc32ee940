// Drivers behind the public entries: one context per call, load, search, retry, copy out.
#pragma once

#include <cstdint>

#include "norvale/datamatrix.h"

namespace norvale {

struct DecoderContext;

// Decodes the file; *text receives a new heap buffer (free()) of n + 1 bytes, the n decoded
// bytes and a NUL. Returns n, or 0 (then *text is not written).
int32_t DecodeFile(const char* path, uint8_t** text);
// Given a context whose image is loaded: search, retry step and extraction.
int32_t DecodeToText(DecoderContext& context, uint8_t** text);
// Not in the BMP-only build.
int32_t DecodeToResult(DecoderContext& context, DecodeResult& result);

} // namespace norvale
