// Quiet-zone search: a symbol drawn to the picture's edge gets a light margin and one more search.
#include "decoder/quiet_zone.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/search_driver.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

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

// Offset of the pixel `depth` in from side `side` (0 bottom, 1 right, 2 top, 3 left) at position
// `i` along it.
size_t EdgeOffset(const GrayImage& image, int side, uint32_t i, uint32_t depth)
{
    const bool horizontal = side == 0 || side == 2;
    const uint32_t across = horizontal ? image.height : image.width;
    const uint32_t fixed = side == 0 || side == 3 ? depth : across - 1 - depth;
    const uint32_t x = horizontal ? i : fixed;
    const uint32_t y = horizontal ? fixed : i;
    return size_t{y} * image.width + x;
}

uint8_t EdgePixel(const GrayImage& image, int side, uint32_t i, uint32_t depth)
{
    return image.source[EdgeOffset(image, side, i, depth)];
}

uint32_t SideLength(const GrayImage& image, int side)
{
    return side == 0 || side == 2 ? image.width : image.height;
}

// Side `side` of the ring `depth` pixels in from the edge.
SideProfile ProfileSide(const GrayImage& image, int side, uint32_t depth, int mid)
{
    const uint32_t length = SideLength(image, side);
    SideProfile profile{0.0, 0};
    uint32_t run = 0;
    uint32_t longest = 0;
    bool previous = false;
    for (uint32_t i = 0; i < length; ++i) {
        const bool dark = EdgePixel(image, side, i, depth) < mid;
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

// Depth of the first pixel on the wanted side of `mid` at position `i` along a side, `cap` where
// none is found that shallow.
uint32_t FirstDepth(const GrayImage& image, int side, uint32_t i, int mid, bool wantDark, uint32_t cap)
{
    for (uint32_t depth = 0; depth < cap; ++depth) {
        if ((EdgePixel(image, side, i, depth) < mid) == wantDark) {
            return depth;
        }
    }
    return cap;
}

// A finder leg tilted by up to a few degrees comes within the edge band at one end and meets
// deeper rings towards the other, its depth changing by at most a pixel from one position to the
// next; the band widens with the side to allow the tilt.
constexpr uint32_t kTiltBandDivisor = 10;

// The longest stretch along a side over which the first dark pixel lies at a steadily changing
// depth that reaches the edge band: one finder leg, even tilted.
struct EdgeLeg
{
    double share; // of the side
    uint32_t first;
    uint32_t last;
    uint32_t firstDepth;
    uint32_t lastDepth;
};

EdgeLeg LongestLegRun(const GrayImage& image, int side, int mid)
{
    const uint32_t length = SideLength(image, side);
    const uint32_t across = SideLength(image, side ^ 1);
    const uint32_t cap = std::min(kEdgeBand + length / kTiltBandDivisor, across / 2);
    EdgeLeg leg{0.0, 0, 0, 0, 0};
    uint32_t run = 0;
    uint32_t start = 0;
    uint32_t startDepth = 0;
    uint32_t shallowest = cap;
    uint32_t longest = 0;
    uint32_t previous = cap;
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t depth = FirstDepth(image, side, i, mid, true, cap);
        const bool steady = previous < cap && depth + 1 >= previous && depth <= previous + 1;
        run = depth >= cap ? 0 : steady ? run + 1 : 1;
        if (run == 1) {
            start = i;
            startDepth = depth;
            shallowest = depth;
        }
        shallowest = std::min(shallowest, depth);
        if (run > longest && shallowest < kEdgeBand) {
            longest = run;
            leg =
                EdgeLeg{static_cast<double>(run) / static_cast<double>(length), start, i, startDepth, depth};
        }
        previous = depth;
    }
    return leg;
}

// Dark pixels met walking inward from position `i` of a side, from `depth` on, each step a pixel
// deeper and at most a pixel along the side to stay on ink; true when the walk reaches `wanted`
// pixels or the far edge.
bool InkRunsInward(const GrayImage& image, int side, uint32_t i, uint32_t depth, uint32_t wanted, int mid)
{
    const uint32_t length = SideLength(image, side);
    const uint32_t across = SideLength(image, side ^ 1);
    const uint32_t end = std::min(across, depth + wanted);
    for (; depth < end; ++depth) {
        if (EdgePixel(image, side, i, depth) < mid) {
            continue;
        }
        if (i + 1 < length && EdgePixel(image, side, i + 1, depth) < mid) {
            ++i;
        } else if (i > 0 && EdgePixel(image, side, i - 1, depth) < mid) {
            --i;
        } else {
            return false;
        }
    }
    return true;
}

// A finder cut by, or almost touching, the picture's edge: a leg along most of one side, the
// opposite side not solid as well (a dark surround or frame is solid all round), and either a
// leg along an adjacent side too or ink running inward from one end of the leg over most of the
// leg's length (the other leg, away from its edge) when `loneLeg` admits that weaker evidence.
bool FinderAtTheEdge(const GrayImage& image, int mid, bool loneLeg)
{
    EdgeLeg legs[4];
    bool leg[4] = {false, false, false, false};
    for (int side = 0; side < 4; ++side) {
        legs[side] = LongestLegRun(image, side, mid);
        leg[side] = legs[side].share >= kFinderRunShare;
    }
    for (int side = 0; side < 4; ++side) {
        if (!leg[side] || leg[(side + 2) % 4]) {
            continue;
        }
        const EdgeLeg& edge = legs[side];
        const uint32_t wanted = static_cast<uint32_t>(kFinderRunShare * (edge.last - edge.first));
        if (leg[(side + 1) % 4] || leg[(side + 3) % 4] ||
            (loneLeg && (InkRunsInward(image, side, edge.first + 1, edge.firstDepth, wanted, mid) ||
                         InkRunsInward(image, side, edge.last - 1, edge.lastDepth, wanted, mid)))) {
            return true;
        }
    }
    return false;
}

bool WorthExamining(const GrayImage& image)
{
    return image.source != nullptr && image.width >= 2 && image.height >= 2;
}

bool SwingEnough(const GreyRange& range)
{
    return range.lightest - range.darkest >= kMinimumSwing;
}

int MidGrey(const GreyRange& range)
{
    return (range.lightest + range.darkest) / 2;
}

// The grey between the darkest and lightest pixel of a picture worth examining: false when it is
// too small or too flat.
bool MidGreyOf(const GrayImage& image, int& mid)
{
    if (!WorthExamining(image)) {
        return false;
    }
    const GreyRange range = MeasureRange(image);
    mid = MidGrey(range);
    return SwingEnough(range);
}

// A dark surround reaching every edge: the outer ring of pixels is dark over this share of each
// side. Inside it the surround is looked through to this share of the shorter side.
constexpr double kSurroundShare = 0.9;
constexpr uint32_t kSurroundDepthDivisor = 3;
// The surround's inner edge along a side is the shallowest light pixel within a window of a
// quarter of the side: wide enough to hold a light clock module of the smallest symbol.
constexpr uint32_t kEnvelopeDivisor = 8;
// Light clock modules against the surround: at least this many runs give the module size.
constexpr int kMinimumClockRuns = 6;

// Where the surround ends along one side: the first light depth at each position, its lower
// envelope, and the runs in which the first light lies deeper than the envelope.
struct SurroundSide
{
    uint32_t* depths;
    uint32_t* envelope;
    uint32_t length;
    uint32_t typicalEnvelope; // median over the side
    uint32_t typicalRun;      // median run, in pixels
    int runs;
};

uint32_t MedianOf(uint32_t* values, uint32_t count)
{
    std::nth_element(values, values + count / 2, values + count);
    return values[count / 2];
}

bool OuterRingDark(const GrayImage& image, int side, int mid)
{
    const uint32_t length = SideLength(image, side);
    uint32_t dark = 0;
    for (uint32_t i = 0; i < length; ++i) {
        dark += EdgePixel(image, side, i, 0) < mid ? 1 : 0;
    }
    return static_cast<double>(dark) >= kSurroundShare * static_cast<double>(length);
}

// Fills `out` (its arrays sized to the side); false when light shows along too little of it.
// `scratch` holds the side's length.
bool ProfileSurround(const GrayImage& image, int side, int mid, uint32_t* scratch, SurroundSide& out)
{
    const uint32_t cap = std::min(image.width, image.height) / kSurroundDepthDivisor;
    const uint32_t length = out.length;
    uint32_t found = 0;
    for (uint32_t i = 0; i < length; ++i) {
        out.depths[i] = FirstDepth(image, side, i, mid, false, cap);
        found += out.depths[i] < cap ? 1 : 0;
    }
    if (2 * found < length) {
        return false;
    }
    const uint32_t reach = std::max<uint32_t>(1, length / kEnvelopeDivisor);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t lowest = cap;
        for (uint32_t j = i > reach ? i - reach : 0; j < std::min(length, i + reach + 1); ++j) {
            lowest = std::min(lowest, out.depths[j]);
        }
        out.envelope[i] = lowest;
        if (lowest < cap) {
            scratch[kept++] = lowest;
        }
    }
    out.typicalEnvelope = MedianOf(scratch, kept);
    // Runs of deeper first light between changes; the first and the last may be cut.
    uint32_t runCount = 0;
    uint32_t start = 0;
    bool previous = false;
    for (uint32_t i = 0; i < length; ++i) {
        const bool deeper = out.depths[i] < cap && out.depths[i] > out.envelope[i] + 1;
        if (i > 0 && deeper != previous) {
            if (start > 0) {
                scratch[runCount++] = i - start;
            }
            start = i;
        }
        previous = deeper;
    }
    out.runs = static_cast<int>(runCount);
    out.typicalRun = runCount > 0 ? MedianOf(scratch, runCount) : 0;
    return true;
}

// Paints the surround light in `plane` (a copy of the picture): along each side up to its inner
// edge, and on a side where a finder leg runs into it (its edge a module deeper than the
// shallowest side's), up to one module short of it. False when the evidence does not hold.
bool PaintSurround(const GrayImage& image, int mid, uint8_t light, SurroundSide sides[4], uint32_t* scratch,
                   uint8_t* plane)
{
    uint32_t module = 0;
    uint32_t shallowest = UINT32_MAX;
    for (int side = 0; side < 4; ++side) {
        if (!ProfileSurround(image, side, mid, scratch, sides[side])) {
            return false;
        }
        if (sides[side].runs >= kMinimumClockRuns && (module == 0 || sides[side].typicalRun < module)) {
            module = sides[side].typicalRun;
        }
        shallowest = std::min(shallowest, sides[side].typicalEnvelope);
    }
    if (module < 2) {
        return false;
    }
    for (int side = 0; side < 4; ++side) {
        const SurroundSide& profile = sides[side];
        const uint32_t beyond = profile.typicalEnvelope - shallowest;
        if (beyond > 2 * module) {
            return false;
        }
        const uint32_t kept = 2 * beyond >= module ? module : 0;
        for (uint32_t i = 0; i < profile.length; ++i) {
            const uint32_t edge = profile.envelope[i] > kept ? profile.envelope[i] - kept : 0;
            for (uint32_t depth = 0; depth < edge; ++depth) {
                plane[EdgeOffset(image, side, i, depth)] = light;
            }
        }
    }
    return true;
}

// A copy of the picture with a dark surround that reaches every edge painted `light`, or null.
uint8_t* PaintedSurround(const GrayImage& image, int mid, uint8_t light)
{
    for (int side = 0; side < 4; ++side) {
        if (!OuterRingDark(image, side, mid)) {
            return nullptr;
        }
    }
    const size_t perimeter = 2 * (size_t{image.width} + image.height);
    const size_t pixels = size_t{image.width} * image.height;
    auto* buffer =
        static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (2 * perimeter + image.width + image.height)));
    auto* plane = static_cast<uint8_t*>(std::malloc(pixels));
    bool painted = buffer != nullptr && plane != nullptr;
    if (painted) {
        SurroundSide sides[4];
        uint32_t* next = buffer;
        for (int side = 0; side < 4; ++side) {
            sides[side].length = SideLength(image, side);
            sides[side].depths = next;
            sides[side].envelope = next + sides[side].length;
            next += 2 * sides[side].length;
        }
        std::memcpy(plane, image.source, pixels);
        painted = PaintSurround(image, mid, light, sides, next, plane);
    }
    std::free(buffer);
    if (!painted) {
        std::free(plane);
        return nullptr;
    }
    return plane;
}

} // namespace

bool PictureCutAtFinder(const GrayImage& image)
{
    int mid = 0;
    return MidGreyOf(image, mid) && FinderAtTheEdge(image, mid, true);
}

bool PictureFilledBySymbol(const GrayImage& image)
{
    int mid = 0;
    return MidGreyOf(image, mid) && SymbolFillsThePicture(image, mid);
}

namespace {

// The margined search of `image`, the picture itself or its negative, of grey range `range`:
// searched in the picture's place when the evidence holds. `surround` admits the two weaker kinds
// of evidence, a dark surround reaching every edge and a lone finder leg with ink running inward;
// a negative is searched on the stronger evidence only (its dark surround would be the picture's
// light background).
int32_t SearchMarginedCopy(DecoderContext& context, const GrayImage& image, const GreyRange& range,
                           bool surround)
{
    const int mid = MidGrey(range);
    const auto light = static_cast<uint8_t>(range.lightest);
    const bool cut = SymbolFillsThePicture(image, mid) || FinderAtTheEdge(image, mid, surround);
    uint8_t* painted = cut || !surround ? nullptr : PaintedSurround(image, mid, light);
    if (!cut && painted == nullptr) {
        return 0;
    }
    const uint8_t* pixels = painted != nullptr ? painted : image.source;
    const uint32_t shorter = std::min(image.width, image.height);
    const uint32_t factor = shorter >= kSmallPictureSide
                                ? 1
                                : std::min(kMaxEnlargement, (kSmallPictureSide + shorter - 1) / shorter);
    const uint32_t margin =
        std::max(kMinimumMargin, std::max(image.width, image.height) * factor / kMarginDivisor);
    const uint64_t width = uint64_t{image.width} * factor + 2 * margin;
    const uint64_t height = uint64_t{image.height} * factor + 2 * margin;
    auto* plane = width * height > kMaxPicturePixels
                      ? nullptr
                      : static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width * height)));
    if (plane == nullptr) {
        std::free(painted);
        return 0;
    }
    std::memset(plane, light, static_cast<size_t>(width * height));
    for (uint64_t y = 0; y < uint64_t{image.height} * factor; ++y) {
        const uint8_t* source = pixels + (y / factor) * image.width;
        uint8_t* row = plane + (y + margin) * width + margin;
        for (uint64_t x = 0; x < uint64_t{image.width} * factor; ++x) {
            row[x] = source[x / factor];
        }
    }
    std::free(painted);
    // The margined copy is searched in place of the picture, which is kept for the searches that
    // may follow.
    PointF before[4];
    std::memcpy(before, context.corners, sizeof before);
    const int32_t decoded = SearchPictureCopy(context, plane, static_cast<uint32_t>(width),
                                              static_cast<uint32_t>(height), TracedSearch::kMargined);
    // Corners published by this search are in the margined picture: take them back.
    if (decoded > 0 || std::memcmp(before, context.corners, sizeof before) != 0) {
        for (PointF& corner : context.corners) {
            corner.x = (corner.x - static_cast<float>(margin)) / static_cast<float>(factor);
            corner.y = (corner.y - static_cast<float>(margin)) / static_cast<float>(factor);
        }
    }
    return decoded;
}

// A symbol is about half ink. A picture light over more than this share of its pixels is a light
// background, not a light symbol cut at the edge, and its negative is not searched.
constexpr double kMostLightShare = 0.75;
constexpr uint32_t kLightShareStep = 4; // every fourth pixel of every fourth row is counted

bool MostlyLight(const GrayImage& image, int mid)
{
    uint64_t light = 0;
    uint64_t counted = 0;
    for (uint32_t y = 0; y < image.height; y += kLightShareStep) {
        const uint8_t* row = image.source + size_t{y} * image.width;
        for (uint32_t x = 0; x < image.width; x += kLightShareStep) {
            light += row[x] >= mid ? 1 : 0;
            counted += 1;
        }
    }
    return static_cast<double>(light) > kMostLightShare * static_cast<double>(counted);
}

// The negative of the picture (light and dark swapped), or null when memory runs out.
uint8_t* NegativeOf(const GrayImage& image)
{
    const size_t pixels = size_t{image.width} * image.height;
    auto* negative = static_cast<uint8_t*>(std::malloc(pixels));
    if (negative != nullptr) {
        for (size_t i = 0; i < pixels; ++i) {
            negative[i] = static_cast<uint8_t>(255 - image.source[i]);
        }
    }
    return negative;
}

} // namespace

int32_t SearchWithAddedQuietZone(DecoderContext& context)
{
    if (!WorthExamining(context.image)) {
        return 0;
    }
    const GreyRange range = MeasureRange(context.image);
    if (!SwingEnough(range)) {
        return 0;
    }
    const int32_t decoded = SearchMarginedCopy(context, context.image, range, true);
    if (decoded > 0 || (context.flags & kFlagDarkOnLightOnly) != 0 || PastDeadline(context) ||
        MostlyLight(context.image, MidGrey(range))) {
        return decoded;
    }
    // A light symbol cut at the edge, or on a light surround, shows the same evidence in the
    // negative, which the search then reads as a dark symbol.
    uint8_t* plane = NegativeOf(context.image);
    if (plane == nullptr) {
        return 0;
    }
    GrayImage negative;
    InitGrayImage(negative);
    AdoptSourcePlane(negative, plane, context.image.width, context.image.height);
    const GreyRange negativeRange{255 - range.lightest, 255 - range.darkest};
    const int32_t found = SearchMarginedCopy(context, negative, negativeRange, false);
    FreeGrayImage(negative);
    return found;
}

} // namespace norvale
