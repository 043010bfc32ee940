// Clock evidence: class changes along lines just inside the two far sides of a candidate, read
// through its frame (the finder legs as axes, no tapers yet).
#include "decoder/grid/clock_evidence.h"

#include <cstdint>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_record.h"
#include "decoder/base/transform2d.h"
#include "decoder/grid/region_border_scan.h"

namespace norvale {

namespace {

// Longest side walked, in samples: legs are checked against the picture, this only bounds the
// loop whatever the inputs.
constexpr int32_t kMaxSideSamples = 1 << 16;

bool InkAt(const SymbolRecord& record, const GrayImage& image, PointF frame)
{
    PointF p{};
    TransformApply(p, frame, record.frameToImage);
    float gray = 0.0f;
    SampleBilinear(gray, image, p.x, p.y);
    return IsInk(record.contrast, gray);
}

// Changes along the frame line from `from` in `samples` steps of `step` (frame units), counted up
// to `stopAt`.
int32_t CountAlong(const SymbolRecord& record, const GrayImage& image, PointF from, PointF step,
                   int32_t samples, int32_t stopAt)
{
    bool previous = InkAt(record, image, from);
    int32_t changes = 0;
    for (int32_t i = 1; i <= samples && changes < stopAt; ++i) {
        const PointF p{from.x + step.x * static_cast<float>(i), from.y + step.y * static_cast<float>(i)};
        const bool ink = InkAt(record, image, p);
        changes += ink != previous ? 1 : 0;
        previous = ink;
    }
    return changes;
}

int32_t SamplesAlong(float legPixels)
{
    if (!(legPixels >= 1.0f)) {
        return 1;
    }
    return legPixels < static_cast<float>(kMaxSideSamples) ? static_cast<int32_t>(legPixels)
                                                           : kMaxSideSamples;
}

// The most changes along a far-side line, each line counted up to `stopAt`; lines are read until
// one reaches kMinFarSideChanges.
int32_t FarSideChanges(const SymbolRecord& record, const GrayImage& image, int32_t stopAt)
{
    if (!(record.xLegLength > 0.0f) || !(record.yLegLength > 0.0f)) {
        return 0;
    }
    // One pixel in frame units across each far side, and one sample per pixel along it.
    const float inY = kFrameSide / record.yLegLength;
    const float inX = kFrameSide / record.xLegLength;
    const int32_t alongTop = SamplesAlong(record.xLegLength);
    const int32_t alongRight = SamplesAlong(record.yLegLength);
    int32_t most = 0;
    for (int k = 1; k <= kFarSideLines && most < kMinFarSideChanges; ++k) {
        const float top = kFrameSide - static_cast<float>(k) * inY;
        const float right = kFrameSide - static_cast<float>(k) * inX;
        const int32_t a =
            CountAlong(record, image, PointF{0.0f, top},
                       PointF{kFrameSide / static_cast<float>(alongTop), 0.0f}, alongTop, stopAt);
        if (a >= stopAt) {
            return a;
        }
        const int32_t b =
            CountAlong(record, image, PointF{right, 0.0f},
                       PointF{0.0f, kFrameSide / static_cast<float>(alongRight)}, alongRight, stopAt);
        most = a > most ? a : most;
        most = b > most ? b : most;
    }
    return most;
}

} // namespace

int32_t CountFarSideChanges(const SymbolRecord& record, const GrayImage& image)
{
    return FarSideChanges(record, image, INT32_MAX);
}

// The first line that reaches the minimum settles it: no line is counted further.
bool HasClockEvidence(const SymbolRecord& record, const GrayImage& image)
{
    return FarSideChanges(record, image, kMinFarSideChanges) >= kMinFarSideChanges;
}

} // namespace norvale
