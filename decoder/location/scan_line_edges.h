// Scan-line edges: dark/light transitions along one scan line, with the contrast model learnt
// from them.
#pragma once

#include <cstdint>

namespace norvale {

// One-hot travel codes. "Down" means +y, which is upward on the picture (row 0 is the bottom).
enum ScanDirection : int
{
    kScanDown = 1,
    kScanLeft = 2,
    kScanUp = 4,
    kScanRight = 8,
};

// Contrast model of one pass over a scan line; copied whole into every symbol candidate.
// The contrast level of grey g is (g - contrastReference) when contrastSign > 0, else
// (contrastReference - g).
struct ScanContrast
{
    uint8_t edgeSeen;
    float minLevel;
    float maxLevel;
    float inkThreshold;
    float contrastReference;
    float contrastSign;
    float currentGray;
    float previousGray;
};

}  // namespace norvale
