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

// The kernel's pieces lane by lane: the near weight 1 - 2u^2 + u^3 of a distance u, and the far
// weight -u w^2 of the distance 1 + u, w = 1 - u (the sum for one point is built from these
// in one order, whether its lanes hold one point's fractions or four points').
[[gnu::always_inline]] inline __m128 NearerWeights(__m128 u)
{
    return _mm_add_ps(_mm_sub_ps(_mm_set1_ps(1.0f), _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(2.0f), u), u)),
                      _mm_mul_ps(_mm_mul_ps(u, u), u));
}

[[gnu::always_inline]] inline __m128 FartherWeights(__m128 u, __m128 w)
{
    return _mm_mul_ps(_mm_mul_ps(_mm_xor_ps(u, _mm_set1_ps(-0.0f)), w), w);
}

[[gnu::always_inline]] inline TapWeights InteriorWeights(float fx, float fy)
{
    // Both axes' weights side by side, lane for lane the arithmetic of the scalar version below.
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 f = _mm_setr_ps(fx, fy, 0.0f, 0.0f);
    const __m128 g = _mm_sub_ps(one, f);
    const __m128 u = _mm_movelh_ps(f, g); // fx fy gx gy
    const __m128 w = _mm_movelh_ps(g, f); // gx gy fx fy
    // Lanes w1x w1y w2x w2y, and w0x w0y w3x w3y.
    const __m128 nearer = NearerWeights(u);
    const __m128 farther = FartherWeights(u, w);
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

// The pixel cells of four points with non-negative coordinates (where truncation is the floor),
// in memory for the row pointers, and each point's fraction within its cell.
struct FourCells
{
    alignas(16) int32_t x[4];
    alignas(16) int32_t y[4];
    __m128 fx;
    __m128 fy;
};

[[gnu::always_inline]] inline FourCells CellsOfFour(__m128 x, __m128 y)
{
    FourCells cells;
    const __m128i ix = _mm_cvttps_epi32(x);
    const __m128i iy = _mm_cvttps_epi32(y);
    _mm_store_si128(reinterpret_cast<__m128i*>(cells.x), ix);
    _mm_store_si128(reinterpret_cast<__m128i*>(cells.y), iy);
    cells.fx = _mm_sub_ps(x, _mm_cvtepi32_ps(ix));
    cells.fy = _mm_sub_ps(y, _mm_cvtepi32_ps(iy));
    return cells;
}

// Four interior points at once, lane k for point k: the same arithmetic, in the same order, as
// InteriorWeights and WeighTaps give one point, so each lane equals the one-point sum exactly.
// `tops[k]` is point k's row pointer as for WeighTaps.
[[gnu::always_inline]] inline __m128 WeighTapsOfFour(const uint8_t* const (&tops)[4], size_t stride,
                                                     __m128 fx, __m128 fy)
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 gx = _mm_sub_ps(one, fx);
    const __m128 gy = _mm_sub_ps(one, fy);
    const __m128 wx[4] = {FartherWeights(fx, gx), NearerWeights(fx), NearerWeights(gx),
                          FartherWeights(gx, fx)};
    const __m128 wy[4] = {FartherWeights(fy, gy), NearerWeights(fy), NearerWeights(gy),
                          FartherWeights(gy, fy)};
    const __m128i zero = _mm_setzero_si128();
    __m128 columns[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (int j = 0; j < 4; ++j) {
        int32_t words[4];
        for (int k = 0; k < 4; ++k) {
            std::memcpy(&words[k], tops[k] + size_t(j) * stride, sizeof words[k]);
        }
        // Bytes point-major (point k's four taps together), then tap-major: tap i of the four points.
        const __m128i pointMajor = _mm_setr_epi32(words[0], words[1], words[2], words[3]);
        const __m128i half = _mm_unpacklo_epi8(pointMajor, _mm_srli_si128(pointMajor, 8));
        const __m128i tapMajor = _mm_unpacklo_epi8(half, _mm_srli_si128(half, 8));
        const __m128i low = _mm_unpacklo_epi8(tapMajor, zero);
        const __m128i high = _mm_unpackhi_epi8(tapMajor, zero);
        const __m128 taps[4] = {
            _mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)),
            _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero))};
        for (int i = 0; i < 4; ++i) {
            columns[i] = _mm_add_ps(columns[i], _mm_mul_ps(wy[j], taps[i]));
        }
    }
    for (int i = 0; i < 4; ++i) {
        columns[i] = _mm_mul_ps(columns[i], wx[i]);
    }
    return _mm_add_ps(_mm_add_ps(columns[0], columns[2]), _mm_add_ps(columns[1], columns[3]));
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

// The first of an interior cell's 16 taps: the row above the cell, one column left of it.
inline const uint8_t* InteriorTop(const GrayImage& image, int ix, int iy)
{
    return image.current + size_t(iy - 1) * image.width + size_t(ix - 1);
}

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
