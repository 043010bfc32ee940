// JPEG reader (libjpeg): three-component JPEG files to the grey picture, bottom row first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/gray_image.h"

namespace norvale {

int LoadJpegFromFile(GrayImage& image, const char* path);

} // namespace norvale

namespace norvale {

// The same from the bytes of a JPEG file held in memory (only read).
int LoadJpegFromMemory(GrayImage& image, const uint8_t* bytes, size_t length);

// The grey (GrayFromRgb) of each of `width` pixels of a decoded row, four bytes a pixel (red,
// green, blue and one ignored).
void GreyFromRgbxRow(const uint8_t* rgbx, uint8_t* out, size_t width);

} // namespace norvale
