// Module count from border profiles: reads the grey profile along the two border scans that showed
// the most changes, binarises each with a windowed two-mean threshold seeded by Otsu's method,
// and snaps the averaged change count to a square ECC 200 size.
#pragma once

#include <cstdint>

#include "decoder/grid/region_border_scan.h"

namespace norvale {

struct GrayImage;

// Window of the profile binarisation, in samples.
constexpr int32_t kProfileWindow = 8;

// Modules per symbol side from the scan state and the (column, row) change maxima of the scan.
// 0 when the profile buffers cannot be allocated or the chosen scans are unusable.
int32_t CountModulesFromBorders(const GrayImage& image, RegionScanState& state, const TransitionPair& maxima);

// Snaps an averaged change count to a square ECC 200 size (odd counts below 28 go down to the
// even number below; 150 and more stay), then raises it to the least size the number of segments
// implies: 6 segments at least 120, 4 at least 64, 2 at least 32.
int32_t SnapModuleCount(int32_t count, int32_t segmentCount);

// Otsu's threshold of `length` bytes: the largest t that best separates the histogram into
// values <= t and values > t. A constant (or empty) input gives 255.
uint8_t OtsuThreshold(const uint8_t* samples, int32_t length);

// destination[i] = 255 or 0 against the mean of the low and high group means over the
// 2 * (window / 2) + 1 samples around i, the groups split at the Otsu threshold of the whole
// source. Only positions window / 2 .. length - window / 2 - 1 are written.
void BinarizeProfile(const uint8_t* source, uint8_t* destination, int32_t length, int32_t window);

} // namespace norvale
