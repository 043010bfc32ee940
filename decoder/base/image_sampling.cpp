// Grey readers over the current plane: the exact pixel and the cubic-convolution sample.
#include "decoder/base/image_sampling.h"

#include <cstddef>

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

} // namespace

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

void SampleBicubicFour(const GrayImage& image, const float (&xs)[4], const float (&ys)[4], float (&out)[4])
{
#if defined(__SSE2__)
    bool interior = image.current != nullptr;
    for (int k = 0; k < 4 && interior; ++k) {
        interior = IsInteriorColumn(image, xs[k]) && IsInteriorRow(image, ys[k]);
    }
    if (interior) {
        const FourCells cells = CellsOfFour(_mm_loadu_ps(xs), _mm_loadu_ps(ys));
        const uint8_t* tops[4];
        for (int k = 0; k < 4; ++k) {
            tops[k] = InteriorTop(image, cells.x[k], cells.y[k]);
        }
        _mm_storeu_ps(out, WeighTapsOfFour(tops, image.width, cells.fx, cells.fy));
        for (float& v : out) {
            v = ClampGrey(v);
        }
        return;
    }
#endif
    for (int k = 0; k < 4; ++k) {
        SampleBicubic(out[k], image, xs[k], ys[k]);
    }
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
                    const uint8_t* top = InteriorTop(image, column.cell, iy);
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
