// Search of one loaded picture: the first symbol, and the sweep that paints each symbol found out
// of a copy of the picture and searches again until nothing more decodes.
#include "decoder/picture_search.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decoder/decoder_context.h"
#include "decoder/levelled_search.h"
#include "decoder/quiet_zone.h"
#include "decoder/retry_step.h"
#include "decoder/search_driver.h"
#include "decoder/stage_clock.h"
#include "image/gray_image.h"
#include "norvale/datamatrix.h"

namespace norvale {

namespace {

// The levelled copy holds only the picture's soft areas, and the margined copy serves a symbol
// that the picture's edge cuts: the second pass on the picture itself reads neither better than the
// first, so the picture's own search takes both copies between its passes (a picture filled by a
// symbol only the levelled one: its margined copy was searched first).
int32_t SearchCopies(DecoderContext& context)
{
    const int32_t levelled = SearchLevelledPicture(context);
    if (levelled > 0 || PastDeadline(context)) {
        return levelled;
    }
    const int32_t margined = SearchWithAddedQuietZone(context);
    return margined > 0 ? margined : 0;
}

// A picture filled by a symbol is searched with a margin first, the way it can decode; only when
// that fails do the search and the retry step run on the picture itself. Otherwise the margin is
// the last resort. Either way a failed call reports the corners of the margined search when it
// reached error correction, as when it runs last.
template <typename Retry> void SearchPicture(DecoderContext& context, Retry retry)
{
    const bool filled = PictureFilledBySymbol(context.image);
    PointF marginCorners[4];
    bool marginPublished = false;
    if (filled) {
        StageScope stage(context.clock, Stage::kFallbacks);
        PointF before[4];
        std::memcpy(before, context.corners, sizeof before);
        if (SearchWithAddedQuietZone(context) > 0) {
            return;
        }
        marginPublished = std::memcmp(before, context.corners, sizeof before) != 0;
        std::memcpy(marginCorners, context.corners, sizeof marginCorners);
    }
    InterimSearch copies{};
    copies.run = filled ? SearchLevelledPicture : SearchCopies;
    if (SearchSymbols(context, kScanDivisions, kScanDivisions, &copies) <= 0 && !PastDeadline(context)) {
        StageScope stage(context.clock, Stage::kFallbacks);
        // The copies come before the retry step, which changes the picture in place: between the
        // passes, or here when there was no memory to run them there.
        bool copiesFailed = true;
        if (copies.ran) {
            ApplyInterimFailure(context, copies);
        } else {
            copiesFailed = copies.run(context) <= 0;
        }
        if (copiesFailed && !PastDeadline(context)) {
            retry(context);
        }
    }
    if (GetSymbolCount(context) <= 0 && marginPublished) {
        std::memcpy(context.corners, marginCorners, sizeof marginCorners);
    }
}

} // namespace

void SearchForText(DecoderContext& context)
{
    SearchPicture(context, RetryForText);
}

#ifndef NORVALE_BMP_ONLY

namespace {

// A symbol found again (its centre inside one already taken) ends the sweep after this many.
constexpr int kMaxRepeatedFinds = 2;
// The painted patch reaches this far past the symbol's outline, in modules: inside the quiet
// zone of one module, so that a neighbour a module away keeps every module of its own.
constexpr float kPaintMarginModules = 0.5f;
constexpr float kPaintMarginPixels = 1.0f;
// The surround is read this far outside the outline, in modules, at this many points a side.
constexpr float kSurroundDistanceModules = 1.0f;
constexpr int kSurroundSamplesPerSide = 8;

// Mode of the first data codeword as the result reports it.
uint32_t StartModeOf(const SymbolRecord& symbol)
{
    if (symbol.codewords == nullptr || symbol.totalCodewords < 1) {
        return kStartModeAscii;
    }
    switch (symbol.codewords[0]) {
    case kStartModeC40:
    case kStartModeBase256:
    case kStartModeUpperShift:
    case kStartModeX12:
    case kStartModeText:
    case kStartModeEdifact:
        return symbol.codewords[0];
    default:
        return kStartModeAscii;
    }
}

// Appends the context's decoded symbol; false when memory is exhausted.
bool TakeDecodedSymbol(const DecoderContext& context, const SymbolRecord& symbol, FoundSymbols& found)
{
    if (found.count == found.capacity) {
        const int32_t capacity = found.capacity == 0 ? 4 : 2 * found.capacity;
        void* grown = std::realloc(found.items, sizeof(FoundSymbol) * static_cast<size_t>(capacity));
        if (grown == nullptr) {
            return false;
        }
        found.items = static_cast<FoundSymbol*>(grown);
        found.capacity = capacity;
    }
    const int32_t length = symbol.dataLength > 0 ? symbol.dataLength : 0;
    auto* copy = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(length) + 1, 1));
    if (copy == nullptr) {
        return false;
    }
    if (length > 0) {
        std::memcpy(copy, symbol.data, static_cast<size_t>(length));
    }
    FoundSymbol& item = found.items[found.count++];
    item.data = copy;
    item.length = length;
    item.side = GetSymbolSide(&symbol);
    item.startMode = StartModeOf(symbol);
    item.correctedCount = symbol.correctedCount;
    std::memcpy(item.corners, context.corners, sizeof item.corners);
    item.content = symbol.content;
    return true;
}

PointF Centre(const PointF corners[4])
{
    return PointF{(corners[0].x + corners[1].x + corners[2].x + corners[3].x) * 0.25f,
                  (corners[0].y + corners[1].y + corners[2].y + corners[3].y) * 0.25f};
}

// The outline in drawing order: vertex, y-leg end, opposite corner, x-leg end.
void OutlineOf(const PointF corners[4], PointF outline[4])
{
    outline[0] = corners[0];
    outline[1] = corners[1];
    outline[2] = corners[3];
    outline[3] = corners[2];
}

// True when p lies inside the convex outline (either winding).
bool InsideOutline(const PointF outline[4], PointF p)
{
    int positive = 0;
    int negative = 0;
    for (int k = 0; k < 4; ++k) {
        const PointF a = outline[k];
        const PointF b = outline[(k + 1) % 4];
        const double cross = double(b.x - a.x) * (p.y - a.y) - double(b.y - a.y) * (p.x - a.x);
        positive += cross > 0.0 ? 1 : 0;
        negative += cross < 0.0 ? 1 : 0;
    }
    return positive == 0 || negative == 0;
}

bool FoundBefore(const FoundSymbols& found, const PointF corners[4])
{
    const PointF centre = Centre(corners);
    for (int32_t i = 0; i < found.count; ++i) {
        PointF outline[4];
        OutlineOf(found.items[i].corners, outline);
        if (InsideOutline(outline, centre)) {
            return true;
        }
    }
    return false;
}

float ModulePitch(const PointF corners[4], uint32_t side)
{
    const auto length = [](PointF a, PointF b) { return std::hypot(double(b.x - a.x), double(b.y - a.y)); };
    const double legs = 0.5 * (length(corners[0], corners[1]) + length(corners[0], corners[2]));
    return static_cast<float>(legs / std::max<uint32_t>(side, 1));
}

// The outline pushed out from the centre by `distance` pixels along each corner's diagonal.
void GrowOutline(const PointF outline[4], float distance, PointF grown[4])
{
    const PointF centre = Centre(outline);
    for (int k = 0; k < 4; ++k) {
        const double dx = outline[k].x - centre.x;
        const double dy = outline[k].y - centre.y;
        const double reach = std::hypot(dx, dy);
        const double scale = reach > 0.0 ? (reach + distance * std::sqrt(2.0)) / reach : 1.0;
        grown[k] =
            PointF{static_cast<float>(centre.x + dx * scale), static_cast<float>(centre.y + dy * scale)};
    }
}

// Median grey of the picture along the outline grown by a module: the symbol's surround.
uint8_t SurroundGrey(const uint8_t* plane, uint32_t width, uint32_t height, const PointF outline[4],
                     float pitch)
{
    PointF ring[4];
    GrowOutline(outline, kSurroundDistanceModules * pitch, ring);
    uint8_t samples[4 * kSurroundSamplesPerSide];
    int count = 0;
    for (int k = 0; k < 4; ++k) {
        const PointF a = ring[k];
        const PointF b = ring[(k + 1) % 4];
        for (int i = 0; i < kSurroundSamplesPerSide; ++i) {
            const float t = (i + 0.5f) / kSurroundSamplesPerSide;
            const double x = a.x + (b.x - a.x) * t;
            const double y = a.y + (b.y - a.y) * t;
            if (x >= 0.0 && y >= 0.0 && x < width && y < height) {
                samples[count++] = plane[static_cast<size_t>(y) * width + static_cast<size_t>(x)];
            }
        }
    }
    if (count == 0) {
        return 255;
    }
    std::nth_element(samples, samples + count / 2, samples + count);
    return samples[count / 2];
}

// Fills the convex outline with one grey, row by row between its edge crossings.
void FillOutline(uint8_t* plane, uint32_t width, uint32_t height, const PointF outline[4], uint8_t grey)
{
    float low = outline[0].y;
    float high = outline[0].y;
    for (int k = 1; k < 4; ++k) {
        low = std::min(low, outline[k].y);
        high = std::max(high, outline[k].y);
    }
    const int64_t firstRow = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(low - 0.5f)));
    const int64_t lastRow =
        std::min<int64_t>(int64_t{height} - 1, static_cast<int64_t>(std::floor(high - 0.5f)));
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        const double y = row + 0.5;
        double left = width;
        double right = -1.0;
        for (int k = 0; k < 4; ++k) {
            const PointF a = outline[k];
            const PointF b = outline[(k + 1) % 4];
            if ((a.y <= y && b.y > y) || (b.y <= y && a.y > y)) {
                const double x = a.x + (y - a.y) * (b.x - a.x) / (double(b.y) - a.y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        const int64_t from = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(left - 0.5)));
        const int64_t to =
            std::min<int64_t>(int64_t{width} - 1, static_cast<int64_t>(std::floor(right - 0.5)));
        if (from <= to) {
            std::memset(plane + row * width + from, grey, static_cast<size_t>(to - from + 1));
        }
    }
}

// Paints a found symbol out of the sheet with the grey of its surround, half a module past its
// outline, so that the next search cannot find it and its neighbours keep their modules.
void PaintOut(uint8_t* sheet, uint32_t width, uint32_t height, const PointF corners[4], uint32_t side)
{
    PointF outline[4];
    OutlineOf(corners, outline);
    const float pitch = ModulePitch(corners, side);
    const uint8_t grey = SurroundGrey(sheet, width, height, outline, pitch);
    PointF patch[4];
    GrowOutline(outline, kPaintMarginModules * pitch + kPaintMarginPixels, patch);
    FillOutline(sheet, width, height, patch, grey);
}

// The next search starts from the painted sheet, with no candidates, corners or median plane
// left from the one before.
void StartOverOnSheet(DecoderContext& context, const uint8_t* sheet)
{
    GrayImage& image = context.image;
    ForgetCandidates(context);
    std::memcpy(image.source, sheet, size_t{image.width} * image.height);
    std::free(image.median);
    image.median = nullptr;
    UseSourcePlane(image);
    std::memset(context.corners, 0, sizeof context.corners);
}

} // namespace

void SearchForResult(DecoderContext& context)
{
    SearchPicture(context, RetryForResult);
}

void FreeFoundSymbols(FoundSymbols& found)
{
    for (int32_t i = 0; i < found.count; ++i) {
        std::free(found.items[i].data);
    }
    std::free(found.items);
    found = FoundSymbols{};
}

SweepEnd SweepSymbols(DecoderContext& context, uint32_t maxSymbols, FoundSymbols& found)
{
    const uint32_t limit = maxSymbols == 0 ? kMaxSweptSymbols : std::min(maxSymbols, kMaxSweptSymbols);
    GrayImage& image = context.image;
    const size_t planeBytes = size_t{image.width} * image.height;
    // The retry step writes into the picture, so every search after the first starts from a
    // clean copy with the symbols found so far painted out.
    uint8_t* sheet = nullptr;
    if (limit > 1) {
        sheet = static_cast<uint8_t*>(std::malloc(planeBytes));
        if (sheet == nullptr) {
            return SweepEnd::kOutOfMemory;
        }
        std::memcpy(sheet, image.source, planeBytes);
    }
    SweepEnd end = SweepEnd::kNothingFound;
    PointF firstCorners[4] = {};
    int repeats = 0;
    for (uint32_t search = 0; static_cast<uint32_t>(found.count) < limit; ++search) {
        SearchForResult(context);
        if (search == 0) {
            std::memcpy(firstCorners, context.corners, sizeof firstCorners);
        }
        if (GetSymbolCount(context) <= 0) {
            break;
        }
        const bool repeated = FoundBefore(found, context.corners);
        if (!repeated && !TakeDecodedSymbol(context, context.symbols[0], found)) {
            end = SweepEnd::kOutOfMemory;
            break;
        }
        if ((repeated && ++repeats > kMaxRepeatedFinds) || static_cast<uint32_t>(found.count) >= limit ||
            sheet == nullptr || PastDeadline(context)) {
            break;
        }
        PaintOut(sheet, image.width, image.height, context.corners, GetSymbolSide(&context.symbols[0]));
        StartOverOnSheet(context, sheet);
    }
    ForgetCandidates(context);
    std::free(sheet);
    if (found.count > 0) {
        return SweepEnd::kFound;
    }
    std::memcpy(context.corners, firstCorners, sizeof firstCorners);
    return end == SweepEnd::kOutOfMemory ? end : PastDeadline(context) ? SweepEnd::kTimedOut : end;
}

#endif

} // namespace norvale
