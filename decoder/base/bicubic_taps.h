// The cubic sample of a point whose 16 taps all lie inside the picture: the kernel's weights and
// the weighed taps, inline so that the samplers' loops keep them in registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/gray_image.h"

namespace norvale {

// The cubic convolution kernel (a = -1) in single precision, for tap distances 1 + f, f, 1 - f
// and 2 - f from a cell fraction f in [0, 1): with g = 1 - f the weights are -f g^2,
// 1 - 2f^2 + f^3, 1 - 2g^2 + g^3 and -g f^2 (the far piece factorises: 4 - 8u + 5u^2 - u^3 =
// -(u - 1)(u - 2)^2). Each axis's weights depend on its own fraction only, so a lattice of
// samples can weigh its columns and rows once.
#if defined(__SSE2__)
struct TapWeights
{
    __m128 wx;    // the four column weights
    __m128 wy[4]; // each row's weight in all four lanes
};

[[gnu::always_inline]] inline TapWeights InteriorWeights(float fx, float fy)
{
    // Both axes' weights side by side, lane for lane the arithmetic of the scalar version below.
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 f = _mm_setr_ps(fx, fy, 0.0f, 0.0f);
    const __m128 g = _mm_sub_ps(one, f);
    const __m128 u = _mm_movelh_ps(f, g); // fx fy gx gy
    const __m128 w = _mm_movelh_ps(g, f); // gx gy fx fy
    // Lanes w1x w1y w2x w2y, and w0x w0y w3x w3y.
    const __m128 nearer = _mm_add_ps(_mm_sub_ps(one, _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(2.0f), u), u)),
                                     _mm_mul_ps(_mm_mul_ps(u, u), u));
    const __m128 farther = _mm_mul_ps(_mm_mul_ps(_mm_xor_ps(u, _mm_set1_ps(-0.0f)), w), w);
    const __m128 xs = _mm_shuffle_ps(farther, nearer, _MM_SHUFFLE(2, 0, 2, 0)); // w0x w3x w1x w2x
    const __m128 ys = _mm_shuffle_ps(farther, nearer, _MM_SHUFFLE(3, 1, 3, 1)); // w0y w3y w1y w2y
    return TapWeights{_mm_shuffle_ps(xs, xs, _MM_SHUFFLE(1, 3, 2, 0)),
                      {_mm_shuffle_ps(ys, ys, 0x00), _mm_shuffle_ps(ys, ys, 0xaa),
                       _mm_shuffle_ps(ys, ys, 0xff), _mm_shuffle_ps(ys, ys, 0x55)}};
}

// The 4 x 4 taps from row pointer `top` (the row above the cell, one column left of it) weighed
// by rows, then by columns.
[[gnu::always_inline]] inline float WeighTaps(const uint8_t* top, size_t stride, const __m128& wx,
                                              const __m128 (&wy)[4])
{
    const __m128i zero = _mm_setzero_si128();
    __m128 rows = _mm_setzero_ps();
    for (int j = 0; j < 4; ++j, top += stride) {
        int32_t word = 0;
        std::memcpy(&word, top, sizeof word);
        const __m128i bytes = _mm_cvtsi32_si128(word);
        const __m128i taps = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
        rows = _mm_add_ps(rows, _mm_mul_ps(wy[j], _mm_cvtepi32_ps(taps)));
    }
    rows = _mm_mul_ps(rows, wx);
    const __m128 pairs = _mm_add_ps(rows, _mm_movehl_ps(rows, rows));
    return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
}
#else
struct TapWeights
{
    float wx[4];
    float wy[4];
};

[[gnu::always_inline]] inline TapWeights InteriorWeights(float fx, float fy)
{
    const auto weights = [](float w[4], float f) {
        const float g = 1.0f - f;
        w[0] = -f * g * g;
        w[1] = 1.0f - 2.0f * f * f + f * f * f;
        w[2] = 1.0f - 2.0f * g * g + g * g * g;
        w[3] = -g * f * f;
    };
    TapWeights tap{};
    weights(tap.wx, fx);
    weights(tap.wy, fy);
    return tap;
}

[[gnu::always_inline]] inline float WeighTaps(const uint8_t* top, size_t stride, const float (&wx)[4],
                                              const float (&wy)[4])
{
    float columns[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int j = 0; j < 4; ++j, top += stride) {
        for (int i = 0; i < 4; ++i) {
            columns[i] += wy[j] * top[i];
        }
    }
    return wx[0] * columns[0] + wx[1] * columns[1] + wx[2] * columns[2] + wx[3] * columns[3];
}
#endif

// Where the 16 taps of (x, y) all lie inside the picture, in each axis; the fraction is then the
// positive distance from the cell's lower corner and single precision keeps the value within 1e-4.
inline bool IsInteriorColumn(const GrayImage& image, float x)
{
    return x >= 1.0f && x < static_cast<float>(image.width) - 2.0f;
}

inline bool IsInteriorRow(const GrayImage& image, float y)
{
    return y >= 1.0f && y < static_cast<float>(image.height) - 2.0f;
}

inline float ClampGrey(float sum)
{
    return sum < 0.0f ? 0.0f : (sum > 255.0f ? 255.0f : sum);
}

} // namespace norvale
