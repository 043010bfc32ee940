// Scan-line edges: one pass over a row or column span learns a contrast model and counts its
// transitions; a second walk reports each crossing of the mid level with a sub-pixel position.
#include "decoder/location/scan_line_edges.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "decoder/base/image_sampling.h"

namespace norvale {

namespace {

// Neighbouring greys must differ by more than this for a pixel to be examined as an edge.
constexpr float kMinEdgeStep = 5.0f;
// A transition counts only when half the contrast swing exceeds this.
constexpr float kMinHalfSwing = 5.0f;
// The 3x3 row or column gradient that confirms an edge pixel.
constexpr int kMinGradient = 10;
constexpr int kMinUsableTransitions = 3;
constexpr int kMinUsableSpan = 10;
// Levels sampled past a crossing to widen the local extremes.
constexpr int kExtremeLookahead = 6;
constexpr float kLevelLimit = 256.0f;
constexpr float kCrossingEpsilon = 1e-6f;

float GrayAt(const GrayImage& image, int direction, int lineCoord, int pos)
{
    float v = 0.0f;
    if (IsVerticalScan(direction)) {
        PixelAt(v, image, static_cast<uint32_t>(lineCoord), static_cast<uint32_t>(pos));
    } else {
        PixelAt(v, image, static_cast<uint32_t>(pos), static_cast<uint32_t>(lineCoord));
    }
    return v;
}

float Px(const GrayImage& image, int x, int y)
{
    float v = 0.0f;
    PixelAt(v, image, static_cast<uint32_t>(x), static_cast<uint32_t>(y));
    return v;
}

// Half the swing between two extremes, as the transition count and the crossing's test take it.
float HalfSwing(float minLevel, float maxLevel)
{
    return (maxLevel - minLevel) * 0.5f;
}

// Widens the running extremes by one level; only one of the two can change per sample.
void UpdateExtremes(float level, float& runMin, float& runMax, float& mid)
{
    if (level < runMin) {
        runMin = level;
        mid = (level + runMax) * 0.5f;
    } else if (level > runMax) {
        runMax = level;
        mid = (runMin + level) * 0.5f;
    }
}

} // namespace

void InitScanLine(ScanLine& line, int direction, int lineCoord, int start, int length)
{
    std::memset(&line, 0, sizeof line);
    line.direction = direction;
    line.lineCoord = lineCoord;
    line.startPos = start;
    line.endPos = start + length - 1;
    line.currentPos = start;
}

int NextScanSegment(ScanLine& line, const GrayImage& image)
{
    // A span of one pixel or less (or an already finished pass) has nothing to offer; testing
    // with >= also ends empty spans, whose end lies before their start.
    if (line.currentPos >= line.endPos) {
        return kTraceExhausted;
    }
    const int start = line.contrast.edgeSeen != 0 ? line.lastEdgePos : line.currentPos;
    std::memset(&line.contrast, 0, sizeof line.contrast);
    line.edgeCount = 0;
    line.lastEdgePos = 0;
    line.segmentStart = start;

    ScanContrast& c = line.contrast;
    bool high = false;
    c.currentGray = GrayAt(image, line.direction, line.lineCoord, start);
    // The grey value at endPos itself is never read.
    for (line.currentPos = start + 1; line.currentPos < line.endPos; ++line.currentPos) {
        c.previousGray = c.currentGray;
        c.currentGray = GrayAt(image, line.direction, line.lineCoord, line.currentPos);
        const float diff = c.currentGray - c.previousGray;
        if (std::fabs(diff) <= kMinEdgeStep ||
            !ConfirmEdgeGradient(image, line.direction, line.lineCoord, line.currentPos)) {
            continue;
        }
        if (c.edgeSeen == 0) {
            c.contrastReference = c.previousGray;
            c.contrastSign = diff > 0.0f ? 1.0f : -1.0f;
            c.edgeSeen = 1;
            c.minLevel = 0.0f;
            c.maxLevel = ContrastLevel(c, c.currentGray);
            c.inkThreshold = c.maxLevel * 0.5f;
            line.lastEdgePos = line.currentPos;
            high = true;
            continue;
        }
        const float level = ContrastLevel(c, c.currentGray);
        if (level < c.minLevel) {
            c.minLevel = level;
        } else if (level > c.maxLevel) {
            c.maxLevel = level;
        }
        c.inkThreshold = (c.maxLevel + c.minLevel) * 0.5f;
        const float half = HalfSwing(c.minLevel, c.maxLevel);
        const bool crossed = high ? level < c.minLevel + half : level > c.maxLevel - half;
        if (crossed && half > kMinHalfSwing) {
            line.edgeCount += 1;
            line.lastEdgePos = line.currentPos;
            high = !high;
        }
    }
    if (line.currentPos < line.endPos) {
        line.currentPos = line.endPos;
    }
    return kTraceItem;
}

bool ConfirmEdgeGradient(const GrayImage& image, int direction, int lineCoord, int pos)
{
    const int x = IsVerticalScan(direction) ? lineCoord : pos;
    const int y = IsVerticalScan(direction) ? pos : lineCoord;
    // The row and column gradients over the 3x3 neighbourhood, with pixel(dx, dy) the grey at
    // (x + dx, y + dy); greys are whole numbers, so the sums are exact.
    const auto confirms = [](auto pixel) {
        const int rows =
            (pixel(1, 1) + pixel(0, 1) + pixel(-1, 1)) - (pixel(1, -1) + pixel(0, -1) + pixel(-1, -1));
        if (rows > kMinGradient || rows < -kMinGradient) {
            return true;
        }
        const int cols =
            (pixel(-1, 0) + pixel(-1, -1) + pixel(-1, 1)) - (pixel(1, 0) + pixel(1, -1) + pixel(1, 1));
        return cols > kMinGradient || cols < -kMinGradient;
    };
    const auto width = static_cast<int64_t>(image.width);
    if (image.current != nullptr && x >= 1 && y >= 1 && x + 1 < width && y + 1 < int64_t{image.height}) {
        // The whole neighbourhood lies inside: read straight from the plane.
        const uint8_t* middle = image.current + static_cast<size_t>(y) * image.width + static_cast<size_t>(x);
        const auto stride = static_cast<ptrdiff_t>(image.width);
        return confirms([&](int dx, int dy) { return static_cast<int>(middle[dy * stride + dx]); });
    }
    // At the picture's sides a pixel outside counts as 0.
    return confirms([&](int dx, int dy) { return static_cast<int>(Px(image, x + dx, y + dy)); });
}

bool IsUsableSegment(const ScanLine& line)
{
    const int span = line.currentPos - line.segmentStart;
    return line.edgeCount >= kMinUsableTransitions && (span > kMinUsableSpan || span < -kMinUsableSpan);
}

void InitEdgeWalker(EdgeWalker& walker, const ScanLine& line)
{
    std::memset(&walker, 0, sizeof walker);
    walker.direction = line.direction;
    walker.lineCoord = line.lineCoord;
    walker.firstPos = line.segmentStart;
    walker.lastPos = line.currentPos - 1;
    walker.posA = walker.firstPos;
    walker.posB = walker.firstPos;
}

int NextEdgeCrossing(EdgeWalker& walker, const GrayImage& image, const ScanContrast& lineContrast)
{
    if (walker.posA >= walker.lastPos) {
        return kTraceExhausted;
    }
    const float threshold = lineContrast.inkThreshold;
    float runMin = kLevelLimit;
    float runMax = -kLevelLimit;
    float mid = 0.0f;
    if (walker.posA != walker.firstPos) {
        runMin = runMax = mid = walker.levelA;
    }
    bool crossing = false;
    float dA = 0.0f;
    float dB = 0.0f;
    for (;;) {
        walker.posA = walker.posB;
        walker.levelA = walker.levelB;
        walker.grayA = walker.grayB;
        walker.posB += 1;
        if (walker.posA == walker.firstPos) {
            walker.grayA = GrayAt(image, walker.direction, walker.lineCoord, walker.posA);
            walker.levelA = ContrastLevel(lineContrast, walker.grayA);
        }
        walker.grayB = GrayAt(image, walker.direction, walker.lineCoord, walker.posB);
        walker.levelB = ContrastLevel(lineContrast, walker.grayB);
        UpdateExtremes(walker.levelB, runMin, runMax, mid);
        dA = threshold - walker.levelA;
        dB = threshold - walker.levelB;
        if (std::fabs(dA - dB) >= kCrossingEpsilon && dA * dB <= 0.0f) {
            crossing = true;
            break;
        }
        if (walker.posA >= walker.lastPos) {
            break;
        }
    }
    if (crossing) {
        walker.fraction = dA * (1.0f / (dA - dB));
        for (int p = walker.posB + 1; p <= walker.posB + kExtremeLookahead && p <= walker.lastPos; ++p) {
            UpdateExtremes(ContrastLevel(lineContrast, GrayAt(image, walker.direction, walker.lineCoord, p)),
                           runMin, runMax, mid);
        }
    }
    walker.contrast = lineContrast;
    if (runMin != runMax) {
        walker.contrast.minLevel = runMin;
        walker.contrast.maxLevel = runMax;
        walker.contrast.inkThreshold = mid;
    }
    return kTraceItem;
}

bool SwingsLikeTransition(const EdgeWalker& walker)
{
    const float half = HalfSwing(walker.contrast.minLevel, walker.contrast.maxLevel);
    return half > kMinHalfSwing || half < 0.0f;
}

int RotateDirection(int code, int sense)
{
    int c = sense == kTurnForward ? (code >> 1) & 15 : (code & 7) << 1;
    if (c == 0) {
        c = ~code & 9;
    }
    return c;
}

} // namespace norvale
