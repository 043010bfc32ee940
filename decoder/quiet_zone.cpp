// Quiet-zone search: a symbol drawn to the picture's edge gets a light margin and one more search.
#include "decoder/quiet_zone.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/search_driver.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

constexpr int kScanDivisions = 20;
// Below this swing between the darkest and lightest pixel there is nothing to decode.
constexpr int kMinimumSwing = 30;
// Rings examined from the edge inward: the tracers stop two pixels short of the picture's edge,
// so a margin this thin is as good as none.
constexpr uint32_t kEdgeBand = 6;
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
    // Byte-wide extremes, so that the loop vectorises.
    uint8_t darkest = 255;
    uint8_t lightest = 0;
    const size_t count = size_t{image.width} * image.height;
    const uint8_t* pixels = image.source;
    for (size_t i = 0; i < count; ++i) {
        darkest = pixels[i] < darkest ? pixels[i] : darkest;
        lightest = pixels[i] > lightest ? pixels[i] : lightest;
    }
    return GreyRange{darkest, lightest};
}

// Along a side of the picture, a few pixels in from its edge: a solid finder leg is one dark run
// over most of the side; a clock border alternates.
constexpr double kFinderRunShare = 0.6;
constexpr int kClockChanges = 6;
// A clock border's dark runs are single modules: none spans this share of the side. (A dark or
// textured surround reaching the edge has long dark runs on every side.)
constexpr double kClockRunShare = 0.25;

struct SideProfile
{
    double longestDarkRun; // share of the side
    int changes;           // dark/light changes along it
};

// Side `side` (0 bottom, 1 right, 2 top, 3 left) of the ring `depth` pixels in from the edge.
SideProfile ProfileSide(const GrayImage& image, int side, uint32_t depth, int mid)
{
    const bool horizontal = side == 0 || side == 2;
    const uint32_t length = horizontal ? image.width : image.height;
    const uint32_t across = horizontal ? image.height : image.width;
    const uint32_t fixed = side == 0 || side == 3 ? depth : across - 1 - depth;
    SideProfile profile{0.0, 0};
    uint32_t run = 0;
    uint32_t longest = 0;
    bool previous = false;
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t x = horizontal ? i : fixed;
        const uint32_t y = horizontal ? fixed : i;
        const bool dark = image.source[size_t{y} * image.width + x] < mid;
        run = dark ? run + 1 : 0;
        longest = std::max(longest, run);
        profile.changes += i > 0 && dark != previous ? 1 : 0;
        previous = dark;
    }
    profile.longestDarkRun = static_cast<double>(longest) / static_cast<double>(length);
    return profile;
}

// A symbol cut out tightly shows, at the first inked ring of pixels of each side, its finder
// legs along two adjacent sides of the picture and its clock borders along the other two, all
// within a few pixels of the edge. (A dark frame is solid on all four sides.)
bool SymbolFillsThePicture(const GrayImage& image, int mid)
{
    const uint32_t deepest = std::min<uint32_t>(kEdgeBand, std::min(image.width, image.height) / 2);
    bool finder[4] = {false, false, false, false};
    bool clock[4] = {false, false, false, false};
    for (int side = 0; side < 4; ++side) {
        for (uint32_t depth = 0; depth < deepest; ++depth) {
            const SideProfile profile = ProfileSide(image, side, depth, mid);
            if (profile.longestDarkRun > 0.0) {
                finder[side] = profile.longestDarkRun >= kFinderRunShare;
                clock[side] = profile.changes >= kClockChanges && profile.longestDarkRun < kClockRunShare;
                break;
            }
        }
    }
    for (int side = 0; side < 4; ++side) {
        if (finder[side] && finder[(side + 1) % 4] && clock[(side + 2) % 4] && clock[(side + 3) % 4]) {
            return true;
        }
    }
    return false;
}

} // namespace

bool PictureFilledBySymbol(const GrayImage& image)
{
    if (image.source == nullptr || image.width < 2 || image.height < 2) {
        return false;
    }
    const GreyRange range = MeasureRange(image);
    return range.lightest - range.darkest >= kMinimumSwing &&
           SymbolFillsThePicture(image, (range.lightest + range.darkest) / 2);
}

int32_t SearchWithAddedQuietZone(DecoderContext& context)
{
    GrayImage& image = context.image;
    if (!PictureFilledBySymbol(image)) {
        return 0;
    }
    const GreyRange range = MeasureRange(image);
    const uint32_t shorter = std::min(image.width, image.height);
    const uint32_t factor = shorter >= kSmallPictureSide
                                ? 1
                                : std::min(kMaxEnlargement, (kSmallPictureSide + shorter - 1) / shorter);
    const uint32_t margin =
        std::max(kMinimumMargin, std::max(image.width, image.height) * factor / kMarginDivisor);
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
    // The margined copy is searched in place of the picture, which is kept for the searches that
    // may follow; every list of the context starts empty.
    const GrayImage original = image;
    InitGrayImage(image);
    AdoptSourcePlane(image, plane, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    ForgetCandidates(context);

    PointF before[4];
    std::memcpy(before, context.corners, sizeof before);
    const TracedSearch traced = context.trace != nullptr ? context.trace->search : TracedSearch::kPicture;
    if (context.trace != nullptr) {
        context.trace->search = TracedSearch::kMargined;
    }
    const int32_t decoded = SearchSymbols(context, kScanDivisions, kScanDivisions);
    if (context.trace != nullptr) {
        context.trace->search = traced;
    }
    // Corners published by this search are in the margined picture: take them back.
    if (decoded > 0 || std::memcmp(before, context.corners, sizeof before) != 0) {
        for (PointF& corner : context.corners) {
            corner.x = (corner.x - static_cast<float>(margin)) / static_cast<float>(factor);
            corner.y = (corner.y - static_cast<float>(margin)) / static_cast<float>(factor);
        }
    }
    FreeGrayImage(image);
    image = original;
    if (decoded <= 0) {
        ForgetCandidates(context);
    }
    return decoded;
}

} // namespace norvale
