// Grey readers over the current plane: the exact pixel and the cubic-convolution sample.
#pragma once

#include <cstdint>

#include "image/gray_image.h"

namespace norvale {

// v = grey at (x, y), or 0 outside the picture (coordinates are unsigned, so -1 is outside).
void PixelAt(float& v, const GrayImage& image, uint32_t x, uint32_t y);
// Cubic convolution (a = -1) at a real position, clamped to 0..255; 0 outside the picture.
void SampleBicubic(float& v, const GrayImage& image, float x, float y);

} // namespace norvale
