// Module count from border profiles: grey profiles along the two busiest border scans, binarised
// locally, their change counts averaged with the scan maxima and snapped to a square size.
#include "decoder/grid/module_count.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_sizes.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

constexpr int kGrayLevels = 256;

// Samples the scan once per pixel into `raw`, binarises the profile into `binary` and counts
// the changes over the positions the binarisation classified. Returns the count.
int32_t CountProfileChanges(const GrayImage& image, const FittedLine& line, int32_t n, uint8_t* raw,
                            uint8_t* binary)
{
    for (int32_t t = 0; t < n; ++t) {
        PointF p{};
        float gray = 0.0f;
        PointOnLine(p, line, static_cast<float>(t));
        SampleBicubic(gray, image, p.x, p.y);
        raw[t] = static_cast<uint8_t>(gray + 0.5f);
    }
    BinarizeProfile(raw, binary, n, kProfileWindow);
    // The first and last window / 2 positions are never classified, so they are not counted.
    const int32_t h = kProfileWindow / 2;
    if (h >= n - h) {
        return 0;
    }
    bool low = binary[h] < 127;
    int32_t changes = 0;
    for (int32_t i = h + 1; i <= n - h - 1; ++i) {
        if (low && binary[i] > 127) {
            ++changes;
            low = false;
        } else if (!low && binary[i] <= 127) {
            ++changes;
            low = true;
        }
    }
    return changes;
}

// The first (smallest) side of its region layout.
bool IsFirstOfLayout(const SymbolSize& size)
{
    const int index = FindSymbolSizeIndex(size.side);
    return index == 0 || kSymbolSizeTable[index - 1].regionCount != size.regionCount;
}

} // namespace

int32_t SnapModuleCount(int32_t n, int32_t segmentCount)
{
    // Counts within half a step of the multi-region sides snap to the nearest of them; below,
    // the count is made even and kept within the single-region sides; far above, it stays.
    const int32_t lowest = kSmallestMultiRegionSide - SideStepAt(kSmallestMultiRegionSide) / 2;
    const int32_t highest = kLargestSymbolSide + SideStepAt(kLargestSymbolSide) / 2;
    const int32_t largestSingle = kSymbolSizeTable[FindSymbolSizeIndex(kSmallestMultiRegionSide) - 1].side;
    int32_t result = n;
    if (n < lowest) {
        result = std::min(n & ~1, largestSingle);
    } else if (n < highest) {
        result = NearestMultiRegionSide(n);
    }
    // The borders found tell the least number of regions per side: the smallest side of that
    // many regions bounds the count from below.
    for (const SymbolSize& size : kSymbolSizeTable) {
        if (RegionsPerSide(size) <= segmentCount && segmentCount >= 2 && result < size.side &&
            size.regionCount > 1 && IsFirstOfLayout(size)) {
            result = size.side;
        }
    }
    return result;
}

uint8_t OtsuThreshold(const uint8_t* samples, int32_t length)
{
    if (samples == nullptr || length <= 0) {
        return 255;
    }
    int32_t histogram[kGrayLevels] = {};
    for (int32_t i = 0; i < length; ++i) {
        histogram[samples[i]] += 1;
    }
    double p[kGrayLevels];
    double meanTotal = 0.0;
    for (int i = 0; i < kGrayLevels; ++i) {
        p[i] = static_cast<double>(histogram[i]) / length;
        meanTotal += i * p[i];
    }
    double varianceTotal = 0.0;
    for (int i = 0; i < kGrayLevels; ++i) {
        varianceTotal += (i - meanTotal) * (i - meanTotal) * p[i];
    }
    if (varianceTotal < 1e-6) {
        varianceTotal = 1.0;
    }
    double omega = 0.0;
    double mu = 0.0;
    double best = -1.0;
    int threshold = 0;
    for (int t = 0; t < kGrayLevels; ++t) {
        omega += p[t];
        mu += t * p[t];
        const double mean0 = omega >= 1e-6 ? mu / omega : 1.0;
        const double mean1 = 1.0 - omega >= 1e-6 ? (meanTotal - mu) / (1.0 - omega) : 1.0;
        const double eta = omega * (mean0 - mean1) * (mean0 - mean1) * (1.0 - omega) / varianceTotal;
        if (eta >= best) { // ties go to the larger threshold
            best = eta;
            threshold = t;
        }
    }
    return static_cast<uint8_t>(threshold);
}

void BinarizeProfile(const uint8_t* source, uint8_t* destination, int32_t length, int32_t window)
{
    if (source == nullptr || destination == nullptr || length <= 0 || window < 0) {
        return;
    }
    const int32_t threshold = OtsuThreshold(source, length);
    const int32_t h = window / 2;
    if (h >= length - h) {
        return;
    }
    for (int32_t i = h; i <= length - h - 1; ++i) {
        int32_t lowSum = 0, lowCount = 0, highSum = 0, highCount = 0;
        for (int32_t k = i - h; k <= i + h; ++k) {
            if (source[k] < threshold) {
                lowSum += source[k];
                ++lowCount;
            } else {
                highSum += source[k];
                ++highCount;
            }
        }
        const int32_t lowMean = lowSum / (lowCount == 0 ? 1 : lowCount);
        const int32_t highMean = highSum / (highCount == 0 ? 1 : highCount);
        const uint8_t local = static_cast<uint8_t>((lowMean + highMean) / 2);
        destination[i] = source[i] >= local ? 255 : 0;
    }
}

int32_t CountModulesFromBorders(const GrayImage& image, RegionScanState& state, const TransitionPair& maxima)
{
    if (state.columnScans == nullptr || state.rowScans == nullptr || state.maxColumnIndex < 0 ||
        state.maxColumnIndex >= kMaxSegments || state.maxRowIndex < 0 || state.maxRowIndex >= kMaxSegments) {
        return 0;
    }
    TransitionScan* scans[2] = {&state.columnScans[state.maxColumnIndex], &state.rowScans[state.maxRowIndex]};
    const float longest = std::fmax(scans[0]->line.tEnd, scans[1]->line.tEnd);
    if (!(longest >= 1.0f && longest < static_cast<float>(kMaxScanSamples))) {
        return 0;
    }
    const size_t capacity = static_cast<size_t>(longest);
    uint8_t* raw = static_cast<uint8_t*>(std::malloc(capacity));
    uint8_t* binary = static_cast<uint8_t*>(std::malloc(capacity));
    if (raw == nullptr || binary == nullptr) {
        std::free(raw);
        std::free(binary);
        return 0;
    }
    for (TransitionScan* scan : scans) {
        const float length = scan->line.tEnd;
        const int32_t n = length >= 0.0f ? static_cast<int32_t>(length) : 0;
        const int32_t changes = CountProfileChanges(image, scan->line, n, raw, binary);
        scan->transitionCount = changes;
        scan->transitions = length > 0.0f ? changes * state.scanLength / length : 0.0f;
    }
    std::free(raw);
    std::free(binary);

    const float lo = std::fmin(maxima.column, maxima.row);
    const float hi = std::fmax(maxima.column, maxima.row);
    float sum = maxima.column + maxima.row;
    int terms = 2;
    for (const TransitionScan* scan : scans) {
        if (lo <= scan->transitions && scan->transitions <= hi) {
            sum += scan->transitions;
            ++terms;
        }
    }
    const int32_t average = static_cast<int32_t>(sum / terms + 0.5f);
    return SnapModuleCount(average, state.segmentCount);
}

} // namespace norvale
