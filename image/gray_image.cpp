// Grey picture: plane ownership, the lazily built median plane, and the two in-place region
// operations of the retry step (magnify, contrast stretch).
#include "image/gray_image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace norvale {

namespace {

uint8_t MedianOfThree(uint8_t a, uint8_t b, uint8_t c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// out[i] = the median of a[i], b[i] and c[i] for i < n: sixteen at a time in SSE2 lanes (the
// same minima and maxima), the rest one by one.
void MediansOfThree(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
        const __m128i median = _mm_max_epu8(_mm_min_epu8(va, vb), _mm_min_epu8(_mm_max_epu8(va, vb), vc));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), median);
    }
#endif
    for (; i < n; ++i) {
        out[i] = MedianOfThree(a[i], b[i], c[i]);
    }
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

void GreyFromRgbRow(const uint8_t* rgb, uint8_t* out, size_t width)
{
    for (size_t i = 0; i < width; ++i) {
        out[i] = GrayFromRgb(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    }
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

GrayLoad LoadGrayPixels(GrayImage& image, const uint8_t* pixels, uint32_t width, uint32_t height,
                        size_t stride, bool bottomFirst)
{
    if (pixels == nullptr || width == 0 || height == 0 || stride < width ||
        uint64_t{width} * height > kMaxPicturePixels) {
        return GrayLoad::kRefused;
    }
    uint8_t* plane = AllocatePlane(width, height);
    if (plane == nullptr) {
        return GrayLoad::kOutOfMemory;
    }
    for (uint32_t row = 0; row < height; ++row) {
        const uint32_t sourceRow = bottomFirst ? row : height - 1 - row;
        std::copy(pixels + sourceRow * stride, pixels + sourceRow * stride + width,
                  plane + size_t{row} * width);
    }
    AdoptSourcePlane(image, plane, width, height);
    return GrayLoad::kLoaded;
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

// Separable 3-tap median: a row pass, then a column pass over the row pass's results. The row
// pass keeps only the three rows the column pass reads, in a ring. The first and last column
// (row) are copied by the row (column) pass.
int BuildMedianPlane(GrayImage& image)
{
    if (image.current == nullptr) {
        return 0;
    }
    const uint32_t width = image.width;
    const uint32_t height = image.height;
    const uint8_t* in = image.current;
    uint8_t* median = AllocatePlane(width, height);
    uint8_t* ring = AllocatePlane(width, 3);
    if (median == nullptr || ring == nullptr) {
        std::free(median);
        std::free(ring);
        return 0;
    }
    const auto ringRow = [&](uint32_t y) { return ring + size_t{y % 3} * width; };
    const auto rowPass = [&](uint32_t y) {
        const uint8_t* line = in + size_t{y} * width;
        uint8_t* out = ringRow(y);
        if (width < 3) {
            std::copy(line, line + width, out);
            return;
        }
        out[0] = line[0];
        MediansOfThree(line, line + 1, line + 2, out + 1, width - 2);
        out[width - 1] = line[width - 1];
    };
    if (height > 0) {
        rowPass(0);
    }
    for (uint32_t y = 0; y < height; ++y) {
        if (y + 1 < height) {
            rowPass(y + 1);
        }
        const uint8_t* centre = ringRow(y);
        uint8_t* out = median + size_t{y} * width;
        if (y == 0 || y + 1 == height) {
            std::copy(centre, centre + width, out);
            continue;
        }
        const uint8_t* below = ringRow(y - 1);
        const uint8_t* above = ringRow(y + 1);
        MediansOfThree(below, centre, above, out, width);
    }
    std::free(ring);
    std::free(image.median);
    image.median = median;
    image.current = median;
    return 1;
}

} // namespace norvale
