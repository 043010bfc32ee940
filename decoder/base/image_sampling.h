// Grey readers over the current plane: the exact pixel and the cubic-convolution sample.
#pragma once

#include <cstdint>

#include "image/gray_image.h"

namespace norvale {

// v = grey at (x, y), or 0 outside the picture (coordinates are unsigned, so -1 is outside).
void PixelAt(float& v, const GrayImage& image, uint32_t x, uint32_t y);
// Cubic convolution (a = -1) at a real position, clamped to 0..255; 0 outside the picture.
void SampleBicubic(float& v, const GrayImage& image, float x, float y);
// Bilinear interpolation of the four pixels around a real position: cheaper, and enough where
// only the side of a threshold matters. Along the last row and column, where the four do not all
// exist, and outside the picture, the cubic sample.
void SampleBilinear(float& v, const GrayImage& image, float x, float y);

} // namespace norvale
