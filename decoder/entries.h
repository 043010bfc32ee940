// Drivers behind the public entries: one context per call, load, search, copy out.
#pragma once

#include <cstdint>

#include "norvale/datamatrix.h"

namespace norvale {

struct DecoderContext;

// A fresh context for one call, its flags and deadline set from the options (null: defaults).
// Null when memory is exhausted.
DecoderContext* PrepareContext(const DecodeOptions* options);
// Decodes the file; *text receives a new heap buffer (free()) of n + 1 bytes, the n decoded
// bytes and a NUL. Returns n, or 0 (then *text is not written).
int32_t DecodeFile(const char* path, uint8_t** text);
// Given a context whose image is loaded: search, retry step and extraction.
int32_t DecodeToText(DecoderContext& context, uint8_t** text);
// Not in the BMP-only build. Writes every field of result (see DecodeResult).
int32_t DecodeToResult(DecoderContext& context, DecodeResult& result);

} // namespace norvale
