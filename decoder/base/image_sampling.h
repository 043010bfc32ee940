// Grey readers over the current plane: the exact pixel and the cubic-convolution sample.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/base/bicubic_taps.h"
#include "image/gray_image.h"

namespace norvale {

// v = grey at (x, y), or 0 outside the picture (coordinates are unsigned, so -1 is outside).
void PixelAt(float& v, const GrayImage& image, uint32_t x, uint32_t y);
// The cubic sample anywhere, the picture's edges included: the taps are clamped to the picture and
// the sum is kept in double precision.
void SampleBicubicClamped(float& v, const GrayImage& image, float x, float y);
// Cubic convolution (a = -1) at a real position, clamped to 0..255; 0 outside the picture. Inline:
// the walks and module samplers call it for every point, and nearly every point is interior.
[[gnu::always_inline]] inline void SampleBicubic(float& v, const GrayImage& image, float x, float y)
{
    if (image.current != nullptr && IsInteriorColumn(image, x) && IsInteriorRow(image, y)) {
        const int ix = static_cast<int>(x);
        const int iy = static_cast<int>(y);
        const uint8_t* top = InteriorTop(image, ix, iy);
        const TapWeights tap = InteriorWeights(x - static_cast<float>(ix), y - static_cast<float>(iy));
        v = ClampGrey(WeighTaps(top, image.width, tap.wx, tap.wy));
        return;
    }
    SampleBicubicClamped(v, image, x, y);
}
// The cubic samples of four points, each exactly its SampleBicubic: where all four are interior
// they are weighed side by side, otherwise one by one.
void SampleBicubicFour(const GrayImage& image, const float (&xs)[4], const float (&ys)[4], float (&out)[4]);
// The cubic samples of a lattice: out[i * columns + j] is SampleBicubic at (xs[j], ys[i]), cut to
// its whole part (the samples lie in 0..255). The weights of each column and row are worked out
// once, not for every sample.
void SampleBicubicLattice(const GrayImage& image, const float* xs, size_t columns, const float* ys,
                          size_t rows, uint8_t* out);
// Bilinear interpolation of the four pixels around a real position: cheaper, and enough where
// only the side of a threshold matters. Along the last row and column, where the four do not all
// exist, and outside the picture, the cubic sample.
void SampleBilinear(float& v, const GrayImage& image, float x, float y);

// The bilinear sample where the caller knows the point to lie in [0, width - 1) x [0, height - 1)
// of a picture with a current plane: the four pixels around it all exist.
inline float BilinearInside(const GrayImage& image, float x, float y)
{
    const int ix = static_cast<int>(x);
    const int iy = static_cast<int>(y);
    const float fx = x - static_cast<float>(ix);
    const float fy = y - static_cast<float>(iy);
    const uint8_t* below = image.current + size_t(iy) * image.width + size_t(ix);
    const uint8_t* above = below + image.width;
    const float low = static_cast<float>(below[0]) + fx * (static_cast<float>(below[1]) - below[0]);
    const float high = static_cast<float>(above[0]) + fx * (static_cast<float>(above[1]) - above[0]);
    return low + fy * (high - low);
}

// True when (x, y) lies where BilinearInside may sample.
inline bool IsBilinearInside(const GrayImage& image, float x, float y)
{
    return image.current != nullptr && x >= 0.0f && y >= 0.0f && x < static_cast<float>(image.width) - 1.0f &&
           y < static_cast<float>(image.height) - 1.0f;
}

} // namespace norvale
