// Region-border scan: for symbols of 32 modules and more, finds the data-region borders, counts
// the modules and builds one grid line per module row and column.
//
// Scan lines run parallel to one finder leg at a growing offset from the other. Along the data
// of a region they cross many ink/non-ink changes; just past a clocked row or column (the right
// or top side of a region) the count collapses. Each collapse found in both directions at about
// the same offset is a segment border; from the borders come the module count, the verified
// border lines and finally the grid lines the line-mode sampler intersects.
#pragma once

#include <cstdint>

#include "decoder/base/line_geometry.h"

namespace norvale {

struct GrayImage;
struct SymbolRecord;

// Borders recorded per direction: 6 x 6 data regions is the largest layout.
constexpr int kMaxSegments = 6;
// Slots of the per-segment index tables; only the first kMaxSegments are ever used.
constexpr int kSegmentSlots = 12;
// Longest scan line, in samples. Legs are checked against the picture first, so real scans stay
// far below it; it only keeps every sampling loop bounded whatever the inputs.
constexpr int32_t kMaxScanSamples = 1 << 20;

// One scan line: origin, unit direction and length (tEnd; tStart is 0) and its change count.
struct TransitionScan
{
    float transitions; // ink/non-ink changes; rescaled to the scan length by the module count
    int32_t transitionCount;
    FittedLine line;
};

// Working state of one FindRegionBorders call; zeroed when created. Distances are pixels.
struct RegionScanState
{
    float scanLength;            // every scan line: longer leg + 5 pixels
    float offsetLimit;           // scan offsets stay below it: longer leg + 10 pixels
    int32_t sampleStep;          // pixels between the samples of a scan
    TransitionScan* columnScans; // kMaxSegments, heap; start on the x leg, run along the y leg
    TransitionScan* rowScans;    // kMaxSegments, heap; start on the y leg, run along the x leg
    int32_t segmentCount;
    int32_t segmentColumn[kSegmentSlots]; // per segment: index of its column scan
    int32_t segmentRow[kSegmentSlots];    // per segment: index of its row scan
    int32_t maxColumnIndex;               // scan record that last raised the column maximum
    int32_t maxRowIndex;
    FittedLine yLegLine; // origin: the finder corner, towards the y-leg end; longer leg + 10
    FittedLine xLegLine; // origin: the finder corner, towards the x-leg end
};

// A figure kept once per scan direction.
struct TransitionPair
{
    float column;
    float row;
};

// 1 when the module grid lines were built; 0 otherwise (moduleCountHint then 0). A candidate
// whose longer leg is below 58 pixels is refused before anything changes; a first row scan of
// fewer than 0.02 changes per pixel marks the record (status kStatusSkip).
int FindRegionBorders(SymbolRecord& record, const GrayImage& image);
// False when the longer leg is too short for the scan (FindRegionBorders then refuses at once).
bool RegionScanApplies(const SymbolRecord& record);
// The test FindRegionBorders starts with: true when the candidate is blank beside its finder (the
// scan would mark it kStatusSkip and give up); false also when the scan does not apply.
bool IsBlankBesideFinder(const SymbolRecord& record, const GrayImage& image);
// Changes along the scan's first row, on the current plane; -1 when the scan does not apply.
int32_t CountFirstRowChanges(const SymbolRecord& record, const GrayImage& image);

// Lays one scan at `offset` along a leg line (row scans along the y leg, column scans along the
// x leg), counts it and updates the minimum and maximum of its direction. 0 stops the search:
// the offset reached `offsetLimit`, or the scan crossed more than 230 changes.
int ScanTransitions(const SymbolRecord& record, const GrayImage& image, RegionScanState& state,
                    TransitionScan& scan, int32_t offset, float offsetLimit, TransitionPair& minima,
                    TransitionPair& maxima, bool rowScan);

// Samples the scan every `step` pixels from t = 0 to its length, bilinearly (only the class of
// a sample counts), and counts changes of class (ink: contrast above the record's inkThreshold). Stores the
// count in both count fields. The count stops early once it reaches stopAt (a caller that only needs to know
// the count is too high).
int32_t CountTransitions(const SymbolRecord& record, const GrayImage& image, TransitionScan& scan,
                         int32_t stopAt = INT32_MAX, int32_t step = 1);

// Slides the two ends of a border scan along the leg direction in 0.33-pixel steps: outward while
// the count falls, then inward while it stays low, so the line ends up hugging the clocked row.
void RefineBorderScan(const SymbolRecord& record, const GrayImage& image, TransitionScan& scan,
                      const FittedLine& legLine, float otherMaximum, int32_t sampleStep = 1);

// Points `line` from `from` towards `to` (origin and unit direction). 0 and the line untouched
// when the two points coincide.
int AimLine(FittedLine& line, PointF from, PointF to);

// Distance along `along` of the point where `line` crosses it; 0 when the two are parallel.
int DistanceOfCrossing(float& distance, const FittedLine& line, const FittedLine& along);

} // namespace norvale
