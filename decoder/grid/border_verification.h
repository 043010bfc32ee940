// Region-border verification: checks that every segment border lies at a fraction of the symbol
// side where ECC 200 puts a region border, and nudges each border line by half a module at one
// end at a time until the line half a module inside crosses the alternating clocked modules and
// the line half a module outside runs along solid modules.
#pragma once

#include <cstdint>

#include "decoder/grid/region_border_scan.h"

namespace norvale {

struct GrayImage;
struct SymbolRecord;

// Most minority samples a line along solid modules may show, and fewest one across alternating
// modules must show.
constexpr int32_t kSolidLineMinority = 4;
// Corrections tried per test before the line is left where the last one put it.
constexpr int kMaxBorderCorrections = 4;

// 1 when every segment border snapped to the fraction its place in the list calls for (the
// pattern tests correct lines but never fail the call), else 0. Rewrites the scans in place.
int VerifyRegionBorders(const GrayImage& image, const SymbolRecord& record, RegionScanState& state);

// 1 and the fraction among 1/6, 1/4, 1/3, 1/2, 2/3, 3/4, 5/6 and 1 nearest to
// distance / sideLength, when it lies closer than 0.1 of the side and 15 pixels; else 0.
int SnapBorderFraction(float distance, float sideLength, float& fraction);

// The smaller of the two class counts (dark / light against the record's ink threshold) over n
// samples taken at the centres of n equal steps along the line; 0 when n <= 0.
int32_t CountMinoritySamples(const GrayImage& image, const SymbolRecord& record, const FittedLine& line,
                             int32_t n);

} // namespace norvale
