// Retry step: after a search that decoded nothing, the picture is magnified (and, at low
// contrast, stretched) around each remembered candidate and the row and column through its middle
// are probed again. The two region operations it uses live here: nothing else changes a picture.
#include "decoder/retry_step.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "decoder/base/image_sampling.h"
#include "decoder/base/line_geometry.h"
#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/line_probes.h"
#include "decoder/location/scan_line_edges.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

// Magnification factors and the contrast stretch around a remembered candidate.
constexpr float kMagnifyFactor = 2.5f;
constexpr float kMagnifyFallbackFactor = 1.5f;
constexpr float kLowContrastSwing = 30.0f;
constexpr float kStretchMargin = 5.0f;
constexpr float kStretchFactor = 2.0f;

struct RetryGeometry
{
    PointF middle;   // midpoint of the two leg ends
    float legLength; // the longer leg
};

RetryGeometry MeasureRetryCandidate(const RetryCandidate& candidate)
{
    const PointF p0 = candidate.corner;
    const PointF p1 = candidate.yLegEnd;
    const PointF p2 = candidate.xLegEnd;
    RetryGeometry geometry{};
    geometry.middle = PointF{(p1.x + p2.x) * 0.5f, (p1.y + p2.y) * 0.5f};
    const float l1 = std::sqrt((p1.x - p0.x) * (p1.x - p0.x) + (p1.y - p0.y) * (p1.y - p0.y));
    const float l2 = std::sqrt((p2.x - p0.x) * (p2.x - p0.x) + (p2.y - p0.y) * (p2.y - p0.y));
    geometry.legLength = l1 > l2 ? l1 : l2;
    return geometry;
}

// The contrast of candidate i counts as low when its rejected copy shows a swing below 30
// levels; then the grey band is stretched. Candidates beyond the rejected list have no contrast
// figures and are never stretched.
bool IsLowContrast(const DecoderContext& context, int32_t index)
{
    if (index >= context.rejectedCount) {
        return false;
    }
    const ScanContrast& contrast = context.rejectedSymbols[index].contrast;
    return contrast.maxLevel - contrast.minLevel < kLowContrastSwing;
}

int StretchAroundCandidate(DecoderContext& context, int32_t index, const RetryGeometry& geometry)
{
    const ScanContrast& contrast = context.rejectedSymbols[index].contrast;
    const float line[2] = {contrast.contrastReference, contrast.contrastSign};
    float lo = 0.0f;
    float hi = 0.0f;
    EvaluateLinear(lo, line, contrast.minLevel - kStretchMargin);
    EvaluateLinear(hi, line, contrast.maxLevel + kStretchMargin);
    const int32_t half = static_cast<int32_t>(3.0f * geometry.legLength);
    return StretchContrast(context.image, geometry.middle.x, geometry.middle.y, half, lo, hi, kStretchFactor);
}

// Probes the column, then the row, through the middle of a candidate. Positive when decoded.
int32_t ProbeThroughMiddle(DecoderContext& context, PointF middle)
{
    if (ProbeAndDecodeLine(context, kScanDown, Nearest(middle.x)) > 0) {
        return context.symbolCount;
    }
    return ProbeAndDecodeLine(context, kScanRight, Nearest(middle.y));
}

// The retry probes record their candidates as the retry step's.
void TraceRetry(DecoderContext& context)
{
    if (context.trace != nullptr) {
        context.trace->search = TracedSearch::kRetry;
        context.trace->pass = 0;
    }
}

} // namespace

// Retry step of the text driver: magnify (2.5, else 1.5), stretch at low contrast, probe.
void RetryForText(DecoderContext& context)
{
    TraceRetry(context);
    for (int32_t i = 0; i < context.retryCount && !PastDeadline(context); ++i) {
        const RetryGeometry geometry = MeasureRetryCandidate(context.retryCandidates[i]);
        const int32_t cx = Nearest(geometry.middle.x);
        const int32_t cy = Nearest(geometry.middle.y);
        const int32_t radius = static_cast<int32_t>(1.5f * geometry.legLength);
        int ok = MagnifyRegion(context.image, kMagnifyFactor, cx, cy, radius);
        if (ok == 0) {
            ok = MagnifyRegion(context.image, kMagnifyFallbackFactor, cx, cy, radius);
        }
        if (IsLowContrast(context, i)) {
            ok = StretchAroundCandidate(context, i, geometry);
        }
        if (ok != 0) {
            ProbeThroughMiddle(context, geometry.middle);
            return;
        }
    }
}

#ifndef NORVALE_BMP_ONLY

// Retry step of the result driver: one magnification; at low contrast the stretched picture is
// probed first, and the step goes on to the magnified probe when that fails.
void RetryForResult(DecoderContext& context)
{
    TraceRetry(context);
    for (int32_t i = 0; i < context.retryCount && !PastDeadline(context); ++i) {
        const RetryGeometry geometry = MeasureRetryCandidate(context.retryCandidates[i]);
        const int ok = MagnifyRegion(context.image, kMagnifyFactor, Nearest(geometry.middle.x),
                                     Nearest(geometry.middle.y), Nearest(geometry.legLength));
        if (IsLowContrast(context, i)) {
            StretchAroundCandidate(context, i, geometry);
            if (ProbeThroughMiddle(context, geometry.middle) > 0) {
                return;
            }
        }
        if (ok != 0) {
            ProbeThroughMiddle(context, geometry.middle);
            return;
        }
    }
}

#endif

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
    // The sample positions of the columns, then of the rows.
    auto* positions = static_cast<float*>(std::malloc(2 * size_t(n) * sizeof(float)));
    if (zoomed == nullptr || positions == nullptr) {
        std::free(zoomed);
        std::free(positions);
        return 0;
    }
    const size_t count = static_cast<size_t>(n);
    for (size_t k = 0; k < count; ++k) {
        positions[k] = static_cast<float>(double(left) + double(k) * step);
        positions[count + k] = static_cast<float>(double(bottom) + double(k) * step);
    }
    SampleBicubicLattice(image, positions, count, positions + count, count, zoomed);
    std::free(positions);
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
