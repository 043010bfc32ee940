// PNG reader (libpng): any PNG colour type to the grey picture, bottom row first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/gray_image.h"

namespace norvale {

int LoadPngFromFile(GrayImage& image, const char* path);

} // namespace norvale

namespace norvale {

// The same from the bytes of a PNG file held in memory (only read).
int LoadPngFromMemory(GrayImage& image, const uint8_t* bytes, size_t length);

} // namespace norvale
