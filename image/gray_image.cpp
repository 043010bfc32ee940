// Grey picture: plane ownership, the lazily built median plane, and the two in-place region
// operations of the retry step (magnify, contrast stretch).
#include "image/gray_image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "decoder/base/image_sampling.h"

namespace norvale {

namespace {

uint8_t MedianOfThree(uint8_t a, uint8_t b, uint8_t c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// A plane of width x height bytes; never a null pointer for an empty picture.
uint8_t* AllocatePlane(uint32_t width, uint32_t height)
{
    const size_t bytes = size_t{width} * height;
    return static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
}

} // namespace

// An image that is initialised owns nothing yet: a picture on the caller's stack can go straight
// to a reader, which frees whatever planes the image held before.
void InitGrayImage(GrayImage& image)
{
    image.width = 0;
    image.height = 0;
    image.current = nullptr;
    image.source = nullptr;
    image.median = nullptr;
    image.scale = 1;
}

void FreeGrayImage(GrayImage& image)
{
    std::free(image.median);
    image.median = nullptr;
    std::free(image.source);
    image.source = nullptr;
    image.current = nullptr;
    image.scale = 1;
}

void AdoptSourcePlane(GrayImage& image, uint8_t* plane, uint32_t width, uint32_t height)
{
    FreeGrayImage(image);
    image.source = plane;
    image.current = plane;
    image.width = width;
    image.height = height;
    image.scale = 1;
}

int UseSourcePlane(GrayImage& image)
{
    if (image.source == nullptr) {
        return 0;
    }
    image.current = image.source;
    return 1;
}

int UseFilteredPlane(GrayImage& image)
{
    if (image.median != nullptr) {
        image.current = image.median;
        return 1;
    }
    return BuildMedianPlane(image);
}

// Separable 3-tap median: a row pass into a temporary plane, then a column pass into the new
// plane. The first and last column (row) are copied by the row (column) pass.
int BuildMedianPlane(GrayImage& image)
{
    if (image.current == nullptr) {
        return 0;
    }
    const uint32_t width = image.width;
    const uint32_t height = image.height;
    const uint8_t* in = image.current;
    uint8_t* rows = AllocatePlane(width, height);
    if (rows == nullptr) {
        return 0;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* line = in + size_t{y} * width;
        uint8_t* out = rows + size_t{y} * width;
        if (width < 3) {
            std::copy(line, line + width, out);
            continue;
        }
        // The end columns are copied outside the loop so that it vectorises.
        out[0] = line[0];
        for (uint32_t x = 1; x + 1 < width; ++x) {
            out[x] = MedianOfThree(line[x - 1], line[x], line[x + 1]);
        }
        out[width - 1] = line[width - 1];
    }
    uint8_t* median = AllocatePlane(width, height);
    if (median == nullptr) {
        std::free(rows);
        return 0;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* centre = rows + size_t{y} * width;
        uint8_t* out = median + size_t{y} * width;
        if (y == 0 || y + 1 == height) {
            std::copy(centre, centre + width, out);
            continue;
        }
        const uint8_t* below = centre - width;
        const uint8_t* above = centre + width;
        for (uint32_t x = 0; x < width; ++x) {
            out[x] = MedianOfThree(below[x], centre[x], above[x]);
        }
    }
    std::free(rows);
    std::free(image.median);
    image.median = median;
    image.current = median;
    return 1;
}

// The square of side 2r around (cx, cy) is enlarged by `factor` and written back centred on the
// same point. Every sample is taken before the first write, so the zoom reads unchanged pixels.
int MagnifyRegion(GrayImage& image, float factor, int32_t cx, int32_t cy, int32_t r)
{
    if (image.current == nullptr) {
        return 0;
    }
    const int64_t width = image.width;
    const int64_t height = image.height;
    const int64_t left = int64_t{cx} - r;
    const int64_t bottom = int64_t{cy} - r;
    if (left < 0 || bottom < 0 || int64_t{cx} + r > width || int64_t{cy} + r > height) {
        return 0;
    }
    const double side = 2.0 * r * double{factor} + 0.5;
    // The output square must fit the picture, which also bounds it for the checks below.
    if (!(side >= 0.0 && side <= double(std::min(width, height)) + 1.0)) {
        return 0;
    }
    const int64_t n = static_cast<int64_t>(side);
    const float step = 1.0f / factor;
    const int64_t x0 = int64_t{cx} - n / 2;
    const int64_t y0 = int64_t{cy} - n / 2;
    if (x0 < 0 || y0 < 0 || x0 + n > width || y0 + n > height) {
        return 0;
    }
    if (n == 0) {
        return 1;
    }
    auto* zoomed = static_cast<uint8_t*>(std::malloc(size_t(n) * size_t(n)));
    if (zoomed == nullptr) {
        return 0;
    }
    for (int64_t i = 0; i < n; ++i) {
        const auto y = static_cast<float>(double(bottom) + double(i) * step);
        for (int64_t j = 0; j < n; ++j) {
            const auto x = static_cast<float>(double(left) + double(j) * step);
            float v = 0.0f;
            SampleBicubic(v, image, x, y);
            zoomed[i * n + j] = static_cast<uint8_t>(v);
        }
    }
    for (int64_t i = 0; i < n; ++i) {
        for (int64_t j = 0; j < n; ++j) {
            const int64_t x = x0 + j;
            const int64_t y = y0 + i;
            if (x < width && y < height) {
                image.current[size_t(y) * size_t(width) + size_t(x)] = zoomed[i * n + j];
            }
        }
    }
    std::free(zoomed);
    return 1;
}

// Piecewise-linear stretch of the square around (cx, cy): the band [lo, hi] gets slope k and the
// grey ranges below and above it share what is left of 0..255 evenly (0 and 255 stay fixed).
int StretchContrast(GrayImage& image, float cx, float cy, int32_t half, float b1, float b2, float k)
{
    if (image.current == nullptr) {
        return 0;
    }
    const float lo = std::min(b1, b2);
    const float hi = std::max(b1, b2);
    const float t = hi - lo;
    const float o = t * k;
    if (!std::isfinite(o) || !std::isfinite(lo) || !std::isfinite(cx) || !std::isfinite(cy)) {
        return 0;
    }
    if (o > 255.0f || t >= 255.0f) {
        return 0;
    }
    // Window corners, truncated toward zero; pre-clamped so that the conversion stays defined.
    const double width = image.width;
    const double height = image.height;
    auto corner = [](double v, double size) { return static_cast<int64_t>(std::clamp(v, -1.0, size)); };
    int64_t x0 = corner(double{cx} - half, width);
    int64_t y0 = corner(double{cy} - half, height);
    int64_t x1 = corner(double{cx} + half, width);
    int64_t y1 = corner(double{cy} + half, height);
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    if (x1 >= int64_t{image.width}) {
        x1 = int64_t{image.width} - 1;
    }
    if (y1 >= int64_t{image.height}) {
        y1 = int64_t{image.height} - 1;
    }
    const double s = (255.0 - o) / (255.0 - t);
    const double a = s * lo;
    const double b = o + a;
    for (int64_t y = y0; y < y1; ++y) {
        uint8_t* row = image.current + size_t(y) * image.width;
        for (int64_t x = x0; x < x1; ++x) {
            const double v = row[x];
            double stretched;
            if (v < lo) {
                stretched = v * s;
            } else if (v < hi) {
                stretched = (v - lo) * k + a;
            } else {
                stretched = (v - hi) * s + b;
            }
            // A negative slope could leave 0..255; the clamp keeps every stored value a grey.
            row[x] = static_cast<uint8_t>(std::clamp(stretched + 0.5, 0.0, 255.0));
        }
    }
    return 1;
}

} // namespace norvale
