// Quiet-zone search: a symbol drawn to the picture's edge gets a light margin and one more search.
#include "decoder/quiet_zone.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "decoder/decoder_context.h"
#include "decoder/search_driver.h"

namespace norvale {

namespace {

constexpr int kScanDivisions = 20;
// Below this swing between the darkest and lightest pixel there is nothing to decode.
constexpr int kMinimumSwing = 30;
// Share of one ring of pixels that must be dark before the picture counts as cut at a symbol.
constexpr double kDarkRingShare = 0.10;
// Rings examined from the edge inward: the tracers stop two pixels short of the picture's edge,
// so a margin this thin is as good as none.
constexpr uint32_t kEdgeBand = 4;
// Pictures whose shorter side is below this are enlarged (whole factors, nearest neighbour) so
// that one-pixel modules become traceable.
constexpr uint32_t kSmallPictureSide = 64;
constexpr uint32_t kMaxEnlargement = 4;
constexpr uint32_t kMinimumMargin = 10;
// The margin grows with the picture: a sixteenth of its longer side.
constexpr uint32_t kMarginDivisor = 16;

struct GreyRange
{
    int darkest;
    int lightest;
};

GreyRange MeasureRange(const GrayImage& image)
{
    GreyRange range{255, 0};
    const size_t count = size_t{image.width} * image.height;
    for (size_t i = 0; i < count; ++i) {
        range.darkest = std::min<int>(range.darkest, image.source[i]);
        range.lightest = std::max<int>(range.lightest, image.source[i]);
    }
    return range;
}

// True when at least a tenth of the ring of pixels `depth` pixels in from the edge is darker
// than mid-grey.
bool RingIsInked(const GrayImage& image, uint32_t depth, int mid)
{
    const uint32_t x0 = depth;
    const uint32_t y0 = depth;
    const uint32_t x1 = image.width - 1 - depth;
    const uint32_t y1 = image.height - 1 - depth;
    size_t dark = 0;
    size_t total = 0;
    auto visit = [&](uint32_t x, uint32_t y) {
        total += 1;
        dark += image.source[size_t{y} * image.width + x] < mid ? 1 : 0;
    };
    for (uint32_t x = x0; x <= x1; ++x) {
        visit(x, y0);
        visit(x, y1);
    }
    for (uint32_t y = y0 + 1; y < y1; ++y) {
        visit(x0, y);
        visit(x1, y);
    }
    return static_cast<double>(dark) >= kDarkRingShare * static_cast<double>(total);
}

// Something, possibly a finder, reaches into the few pixels along the picture's edge.
bool EdgeBandIsInked(const GrayImage& image, int mid)
{
    for (uint32_t depth = 0; depth < kEdgeBand && 2 * depth + 2 <= std::min(image.width, image.height); ++depth) {
        if (RingIsInked(image, depth, mid)) {
            return true;
        }
    }
    return false;
}

}  // namespace

int32_t SearchWithAddedQuietZone(DecoderContext& context)
{
    GrayImage& image = context.image;
    if (image.source == nullptr || image.width < 2 || image.height < 2) {
        return 0;
    }
    const GreyRange range = MeasureRange(image);
    if (range.lightest - range.darkest < kMinimumSwing ||
        !EdgeBandIsInked(image, (range.lightest + range.darkest) / 2)) {
        return 0;
    }
    const uint32_t shorter = std::min(image.width, image.height);
    const uint32_t factor = shorter >= kSmallPictureSide
                                ? 1
                                : std::min(kMaxEnlargement, (kSmallPictureSide + shorter - 1) / shorter);
    const uint32_t margin = std::max(kMinimumMargin, std::max(image.width, image.height) * factor / kMarginDivisor);
    const uint64_t width = uint64_t{image.width} * factor + 2 * margin;
    const uint64_t height = uint64_t{image.height} * factor + 2 * margin;
    if (width * height > kMaxPicturePixels) {
        return 0;
    }
    auto* plane = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width * height)));
    if (plane == nullptr) {
        return 0;
    }
    std::memset(plane, range.lightest, static_cast<size_t>(width * height));
    for (uint64_t y = 0; y < uint64_t{image.height} * factor; ++y) {
        const uint8_t* source = image.source + (y / factor) * image.width;
        uint8_t* row = plane + (y + margin) * width + margin;
        for (uint64_t x = 0; x < uint64_t{image.width} * factor; ++x) {
            row[x] = source[x / factor];
        }
    }
    // The picture as searched so far is no longer needed: every remembered candidate lies in it.
    AdoptSourcePlane(image, plane, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    context.symbolCount = 0;
    context.examinedCount = 0;
    context.decodedCount = 0;
    ClearRetryCandidates(context);
    context.rejectedCount = 0;

    PointF before[4];
    std::memcpy(before, context.corners, sizeof before);
    const int32_t decoded = SearchSymbols(context, kScanDivisions, kScanDivisions);
    // Corners published by this search are in the margined picture: take them back.
    if (decoded > 0 || std::memcmp(before, context.corners, sizeof before) != 0) {
        for (PointF& corner : context.corners) {
            corner.x = (corner.x - static_cast<float>(margin)) / static_cast<float>(factor);
            corner.y = (corner.y - static_cast<float>(margin)) / static_cast<float>(factor);
        }
    }
    return decoded;
}

}  // namespace norvale
