// Grey readers over the current plane: the exact pixel and the cubic-convolution sample.
#include "decoder/base/image_sampling.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace norvale {

void PixelAt(float& v, const GrayImage& image, uint32_t x, uint32_t y)
{
    if (image.current != nullptr && x < image.width && y < image.height) {
        v = image.current[size_t{y} * image.width + x];
    } else {
        v = 0.0f;
    }
}

namespace {

// Cubic convolution kernel with a = -1, split into its near (|u| < 1) and far (1 <= |u| < 2)
// pieces. The pieces take the arguments as given, without absolute values.
double NearWeight(double u)
{
    return 1.0 - 2.0 * u * u + u * u * u;
}
double FarWeight(double u)
{
    return 4.0 - 8.0 * u + 5.0 * u * u - u * u * u;
}

// Offsets of the four taps around index i, clamped so that only pixels of the picture are read.
void TapOffsets(int offsets[4], int i, int size)
{
    offsets[0] = i > 0 ? -1 : 0;
    offsets[1] = 0;
    if (i < size - 2) {
        offsets[2] = 1;
        offsets[3] = 2;
    } else if (i < size - 1) {
        offsets[2] = offsets[3] = 1;
    } else {
        offsets[2] = offsets[3] = 0;
    }
}

// The same kernel in single precision, for tap distances 1 + f, f, 1 - f and 2 - f from a cell
// fraction f in [0, 1): with g = 1 - f the weights are -f g^2, 1 - 2f^2 + f^3, 1 - 2g^2 + g^3 and
// -g f^2 (the far piece factorises: 4 - 8u + 5u^2 - u^3 = -(u - 1)(u - 2)^2). Each axis's weights
// depend on its own fraction only, so a lattice of samples can weigh its columns and rows once.
#if defined(__SSE2__)
struct TapWeights
{
    __m128 wx;    // the four column weights
    __m128 wy[4]; // each row's weight in all four lanes
};

TapWeights InteriorWeights(float fx, float fy)
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
float WeighTaps(const uint8_t* top, size_t stride, const __m128& wx, const __m128 (&wy)[4])
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

TapWeights InteriorWeights(float fx, float fy)
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

float WeighTaps(const uint8_t* top, size_t stride, const float (&wx)[4], const float (&wy)[4])
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
bool IsInteriorColumn(const GrayImage& image, float x)
{
    return x >= 1.0f && x < static_cast<float>(image.width) - 2.0f;
}

bool IsInteriorRow(const GrayImage& image, float y)
{
    return y >= 1.0f && y < static_cast<float>(image.height) - 2.0f;
}

float ClampGrey(float sum)
{
    return sum < 0.0f ? 0.0f : (sum > 255.0f ? 255.0f : sum);
}

// Every position of the picture, its edges included: the taps are clamped to the picture and the
// sum is kept in double precision.
void SampleBicubicClamped(float& v, const GrayImage& image, float x, float y)
{
    // Truncation, not floor: for -1 < x < 0 the cell is 0 and the fraction negative. So the cell
    // lies inside exactly when -1 < x < width; testing that before converting also turns away
    // positions that are not a number or too large for an int.
    const int width = static_cast<int>(image.width);
    const int height = static_cast<int>(image.height);
    if (image.current == nullptr || !(x > -1.0f && x < float(width) && y > -1.0f && y < float(height))) {
        v = 0.0f;
        return;
    }
    const int ix = static_cast<int>(x);
    const int iy = static_cast<int>(y);
    const double fx = double{x} - ix;
    const double fy = double{y} - iy;
    int dx[4];
    int dy[4];
    TapOffsets(dx, ix, width);
    TapOffsets(dy, iy, height);
    const double wy[4] = {FarWeight(fy + 1.0), NearWeight(fy), NearWeight(1.0 - fy), FarWeight(2.0 - fy)};
    const double wx[4] = {FarWeight(fx + 1.0), NearWeight(fx), NearWeight(1.0 - fx), FarWeight(2.0 - fx)};
    const uint8_t* rows[4];
    for (int j = 0; j < 4; ++j) {
        rows[j] = image.current + size_t(iy + dy[j]) * image.width;
    }
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) {
        const size_t column = size_t(ix + dx[i]);
        double weighted = 0.0;
        for (int j = 0; j < 4; ++j) {
            weighted += wy[j] * rows[j][column];
        }
        sum += wx[i] * weighted;
    }
    if (sum < 0.0) {
        sum = 0.0;
    } else if (sum > 255.0) {
        sum = 255.0;
    }
    v = static_cast<float>(sum);
}

} // namespace

void SampleBicubic(float& v, const GrayImage& image, float x, float y)
{
    if (image.current != nullptr && IsInteriorColumn(image, x) && IsInteriorRow(image, y)) {
        const int ix = static_cast<int>(x);
        const int iy = static_cast<int>(y);
        const uint8_t* top = image.current + size_t(iy - 1) * image.width + size_t(ix - 1);
        const TapWeights tap = InteriorWeights(x - static_cast<float>(ix), y - static_cast<float>(iy));
        v = ClampGrey(WeighTaps(top, image.width, tap.wx, tap.wy));
        return;
    }
    SampleBicubicClamped(v, image, x, y);
}

void SampleBicubicLattice(const GrayImage& image, const float* xs, size_t columns, const float* ys,
                          size_t rows, uint8_t* out)
{
    // The columns go in blocks whose cells and weights are kept on the stack; each row's weights
    // are worked out once per block.
    constexpr size_t kBlock = 64;
    struct Column
    {
        TapWeights tap; // only the column weights are read
        int cell;
        bool interior;
    };
    Column block[kBlock];
    for (size_t first = 0; first < columns; first += kBlock) {
        const size_t count = columns - first < kBlock ? columns - first : kBlock;
        for (size_t k = 0; k < count; ++k) {
            const float x = xs[first + k];
            Column& column = block[k];
            column.interior = image.current != nullptr && IsInteriorColumn(image, x);
            column.cell = column.interior ? static_cast<int>(x) : 0;
            column.tap = InteriorWeights(column.interior ? x - static_cast<float>(column.cell) : 0.0f, 0.0f);
        }
        for (size_t i = 0; i < rows; ++i) {
            const float y = ys[i];
            const bool interiorRow = image.current != nullptr && IsInteriorRow(image, y);
            const int iy = interiorRow ? static_cast<int>(y) : 0;
            const TapWeights rowTap = InteriorWeights(0.0f, interiorRow ? y - static_cast<float>(iy) : 0.0f);
            uint8_t* line = out + i * columns + first;
            for (size_t k = 0; k < count; ++k) {
                const Column& column = block[k];
                float v = 0.0f;
                if (interiorRow && column.interior) {
                    const uint8_t* top =
                        image.current + size_t(iy - 1) * image.width + size_t(column.cell - 1);
                    v = ClampGrey(WeighTaps(top, image.width, column.tap.wx, rowTap.wy));
                } else {
                    SampleBicubicClamped(v, image, xs[first + k], y);
                }
                line[k] = static_cast<uint8_t>(v);
            }
        }
    }
}

void SampleBilinear(float& v, const GrayImage& image, float x, float y)
{
    if (IsBilinearInside(image, x, y)) {
        v = BilinearInside(image, x, y);
        return;
    }
    SampleBicubic(v, image, x, y);
}

} // namespace norvale
