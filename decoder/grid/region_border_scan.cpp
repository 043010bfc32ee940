// Region-border scan: finds the data-region borders of a large symbol by where the change count
// of scan lines parallel to the finder legs collapses, then hands on to the module count, the
// border verification and the grid lines.
#include "decoder/grid/region_border_scan.h"

#include <cmath>
#include <cstdlib>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"
#include "decoder/grid/border_verification.h"
#include "decoder/grid/grid_lines.h"
#include "decoder/grid/module_count.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

constexpr int32_t kFirstScanOffset = 15; // pixels from the corner: inside the first region
constexpr float kScanOverhang = 5.0f;    // scan length beyond the longer leg
constexpr float kLegOverhang = 10.0f;    // leg lines and offset limit beyond the longer leg
// Scans are laid this far past their whole-pixel offset. A corner found on a sharp edge lies on a
// pixel boundary, and in a pixel-aligned symbol whole-pixel offsets from it then put every few
// scans exactly on a module boundary, where samples are mid-grey and their class is noise.
constexpr float kScanOffsetShift = 0.25f;
constexpr int32_t kMinModuleCount = kSmallestMultiRegionSide; // the first side with region borders
constexpr float kMinChangesPerPixel = 0.02f;

constexpr int32_t kMinChangesBesideFinder = 2;
constexpr float kMaxCountedChanges = 150.0f;  // counts from here on never raise the maximum
constexpr float kMaxBearableChanges = 230.0f; // a count above it is no symbol: stop
constexpr int32_t kBorderPairing = 10;        // column and row borders closer than this pair up
constexpr float kMinBorderMaximum = 25.0f;    // a border needs a clocked line of more changes
constexpr int32_t kSegmentSkip = 10;          // pixels jumped past a recorded border, at least
constexpr float kRegionSkipShare = 0.6f;      // of the last region pitch, jumped past a border
constexpr float kRefineStep = 0.33f;          // pixels per end move of the border refinement
constexpr int kMaxRefineMoves = 10;           // per phase
constexpr float kOneThird = 0.33333334f;
constexpr float kNoMinimum = 2147483648.0f;
constexpr float kPerspectiveShrink = 0.75f;
constexpr float kShortLegAllowance = 12.0f;

enum ScanMode {
    kScanColumns = 1,
    kScanRows = 2,
    kScanBoth = 3,
};

float LegLength(PointF from, PointF to)
{
    return static_cast<float>(std::hypot(double{to.x} - from.x, double{to.y} - from.y));
}

FittedLine MakeLegLine(PointF origin, PointF end, float length)
{
    FittedLine line{};
    line.valid = 1;
    line.origin = origin;
    line.direction = PointF{end.x - origin.x, end.y - origin.y};
    NormalizeVector(line.direction);
    line.tEnd = length;
    return line;
}

// Index of `scan` within `scans` (kMaxSegments records), or -1 when it is not one of them.
int32_t ScanIndex(const TransitionScan* scans, const TransitionScan& scan)
{
    for (int32_t i = 0; scans != nullptr && i < kMaxSegments; ++i) {
        if (&scans[i] == &scan) {
            return i;
        }
    }
    return -1;
}

// Samples along a scan: one per pixel, or one every few pixels when even the finest module the
// legs allow (144 modules, a quarter narrower under perspective, the leg up to 12 pixels short)
// is wider than that; every module still holds a sample, so the class changes are the same.
int32_t SampleStepFor(float longerLeg)
{
    const float finest =
        kPerspectiveShrink * (longerLeg - kShortLegAllowance) / static_cast<float>(kLargestSymbolSide);
    return finest >= 2.0f ? static_cast<int32_t>(finest) : 1;
}

// Nearest lower even count, then down to the spacing of the table's sides in its range.
int32_t CountFromSmallerMaximum(float maximum)
{
    int32_t n = static_cast<int32_t>(maximum);
    n -= n % 2;
    const int32_t step = SideStepAt(n);
    return n - n % step;
}

// The first row scan runs 15 pixels from the x leg. Modules larger than that put it inside the
// solid finder row, where it sees nothing although the candidate is a symbol; so a candidate is
// only marked as blank when a second row scan, through the middle of the second module row of the
// coarsest symbol its legs allow (10 modules), crosses no edge either.
bool IsBlankSecondRow(const SymbolRecord& record, const GrayImage& image, const RegionScanState& state)
{
    const float longerLeg = state.scanLength - kScanOverhang;
    const float coarsestModule = longerLeg / static_cast<float>(kSmallestSymbolSide);
    TransitionScan probe{};
    probe.line.valid = 1;
    PointOnLine(probe.line.origin, state.yLegLine, 1.5f * coarsestModule + kScanOffsetShift);
    probe.line.direction = state.xLegLine.direction;
    probe.line.tEnd = state.scanLength;
    // Data modules of any size change class somewhere along a row; blank paper does not.
    return CountTransitions(record, image, probe) < kMinChangesBesideFinder;
}

// The first row scan crosses almost nothing, and neither does the second row scan past it.
bool IsBlankFirstRow(const SymbolRecord& record, const GrayImage& image, const RegionScanState& state,
                     const TransitionScan& first)
{
    const float density = first.line.tEnd > 0.0f ? first.transitions / first.line.tEnd : 0.0f;
    return density < kMinChangesPerPixel && IsBlankSecondRow(record, image, state);
}

// How far the scans move on past a border at `offset`, the previous one (or the corner) lying at
// `previous`: most of a region pitch, never less than the usual skip, and never to the limit.
int32_t JumpPastRegion(int32_t offset, int32_t previous, float limit)
{
    const int32_t pitch = offset - previous;
    int32_t jump = static_cast<int32_t>(kRegionSkipShare * static_cast<float>(pitch));
    jump = jump > kSegmentSkip ? jump : kSegmentSkip;
    while (jump > kSegmentSkip && static_cast<float>(offset + jump) >= limit - 1.0f) {
        jump -= 1;
    }
    return jump;
}

// How a scan direction moves its offset while its count holds. Where even the finest module the
// legs allow is several pixels wide, the offset moves by that many pixels: a solid module row
// cannot fall between two scans. A collapse seen after such a stride is traced back from the
// offset after the last uncollapsed scan one pixel at a time, as far as the collapse, so the
// border is found where single-pixel steps would have found it.
struct OffsetStride
{
    int32_t coarse;    // pixels per stride while nothing collapses
    int32_t last;      // the stride that led to the current offset
    int32_t fineUntil; // single-pixel steps below this offset

    void Advance(int32_t& offset)
    {
        last = offset < fineUntil ? 1 : coarse;
        offset += last;
    }

    // After a collapse at `offset`: true (and the offset moved back) when a coarse stride led to
    // it and the pixels between must be scanned first.
    bool BackUp(int32_t& offset)
    {
        if (last <= 1) {
            return false;
        }
        fineUntil = offset;
        offset -= last - 1;
        last = 1;
        return true;
    }
};

// Steps 2 to 6 of the search, on a state whose arrays are allocated. The caller frees them.
int SearchRegionBorders(SymbolRecord& record, const GrayImage& image, RegionScanState& state, float limit)
{
    int32_t cOff = kFirstScanOffset;
    int32_t rOff = kFirstScanOffset;
    float pc = 0.0f, pr = 0.0f, dc = 0.0f, dr = 0.0f;
    TransitionPair maxima{0.0f, 0.0f};
    TransitionPair minima{kNoMinimum, kNoMinimum};
    int mode = kScanColumns;
    int32_t current = 0;
    OffsetStride columnStride{state.sampleStep, 1, 0};
    OffsetStride rowStride{state.sampleStep, 1, 0};
    int32_t columnBorder = 0; // offsets of the last border found, 0 (the corner) before the first
    int32_t rowBorder = 0;

    TransitionScan& first = state.rowScans[0];
    ScanTransitions(record, image, state, first, kFirstScanOffset, limit, minima, maxima, true);
    if (IsBlankFirstRow(record, image, state, first)) {
        record.status = kStatusSkip;
        return 0;
    }

    int lastResult = 1;
    bool bordersDone = false;
    while (!bordersDone && (cOff < limit || rOff < limit)) {
        TransitionScan& column = state.columnScans[current];
        TransitionScan& row = state.rowScans[current];
        if ((mode & kScanColumns) != 0) {
            lastResult = ScanTransitions(record, image, state, column, cOff, limit, minima, maxima, false);
            if (lastResult == 0) {
                return 0;
            }
        }
        if ((mode & kScanRows) != 0) {
            lastResult = ScanTransitions(record, image, state, row, rOff, limit, minima, maxima, true);
            if (lastResult == 0) {
                return 0;
            }
        }
        const float cc = column.transitions;
        const float cr = row.transitions;
        if (cc > pc * 0.5f && cc > 1e-6f) {
            dc = pc - cc;
            pc = cc;
            mode = kScanColumns;
            columnStride.Advance(cOff);
            continue;
        }
        if ((mode & kScanColumns) != 0 && columnStride.BackUp(cOff)) {
            mode = kScanColumns;
            continue;
        }
        if (cr > pr * 0.5f && cr > 1e-6f) {
            dr = pr - cr;
            pr = cr;
            mode = kScanRows;
            rowStride.Advance(rOff);
            continue;
        }
        if ((mode & kScanRows) != 0 && rowStride.BackUp(rOff)) {
            mode = kScanRows;
            continue;
        }
        if (std::abs(cOff - rOff) < kBorderPairing &&
            std::fmax(maxima.column, maxima.row) > kMinBorderMaximum) {
            // Follow the collapse while it keeps deepening; each scan is bounded by the limit.
            while (pc - column.transitions >= dc) {
                dc = pc - column.transitions;
                ++cOff;
                pc = column.transitions;
                if (ScanTransitions(record, image, state, column, cOff, limit, minima, maxima, false) == 0) {
                    return 0;
                }
            }
            while (pr - row.transitions >= dr) {
                dr = pr - row.transitions;
                ++rOff;
                pr = row.transitions;
                if (ScanTransitions(record, image, state, row, rOff, limit, minima, maxima, true) == 0) {
                    return 0;
                }
            }
            RefineBorderScan(record, image, column, state.xLegLine, maxima.row, state.sampleStep);
            RefineBorderScan(record, image, row, state.yLegLine, maxima.column, state.sampleStep);
            state.segmentColumn[state.segmentCount] = current;
            state.segmentRow[state.segmentCount] = current;
            state.segmentCount += 1;
            if (cOff + kSegmentSkip >= limit || rOff + kSegmentSkip >= limit ||
                state.segmentCount >= kMaxSegments) {
                bordersDone = true;
                continue;
            }
            // Regions repeat at one pitch: the next border lies about a pitch on, so the scans
            // skip most of the region between.
            const int32_t columnJump = JumpPastRegion(cOff, columnBorder, limit);
            const int32_t rowJump = JumpPastRegion(rOff, rowBorder, limit);
            columnBorder = cOff;
            rowBorder = rOff;
            cOff += columnJump;
            rOff += rowJump;
            dc = pc - column.transitions;
            pc = column.transitions;
            dr = pr - row.transitions;
            pr = row.transitions;
            current += 1;
            mode = kScanBoth;
            continue;
        }
        // No border here: the lagging direction catches up.
        if (cOff < rOff && limit - 1.0f > static_cast<float>(cOff)) {
            dc = pc - cc;
            pc = cc;
            mode = kScanColumns;
            cOff = cOff < rOff - kBorderPairing ? rOff - kBorderPairing : cOff + 1;
        } else if (limit - 1.0f > static_cast<float>(rOff)) {
            dr = pr - cr;
            pr = cr;
            mode = kScanRows;
            rOff = rOff < cOff - kBorderPairing ? cOff - kBorderPairing : rOff + 1;
        } else {
            return 0;
        }
    }
    if (!bordersDone && lastResult == 0) {
        return 0;
    }

    if (record.moduleCountHint == 0) {
        record.moduleCountHint = CountModulesFromBorders(image, state, maxima);
    }
    if (std::fabs(maxima.column - maxima.row) > kBorderPairing) {
        record.moduleCountHint = CountFromSmallerMaximum(std::fmin(maxima.column, maxima.row));
    }
    if (record.moduleCountHint < kMinModuleCount) {
        return 0;
    }
    if (VerifyRegionBorders(image, record, state) == 0) {
        return 0;
    }
    return BuildGridLines(image, record, state);
}

} // namespace

int AimLine(FittedLine& line, PointF from, PointF to)
{
    PointF direction{to.x - from.x, to.y - from.y};
    if (NormalizeVector(direction) == 0.0f) {
        return 0;
    }
    line.origin = from;
    line.direction = direction;
    return 1;
}

int DistanceOfCrossing(float& distance, const FittedLine& line, const FittedLine& along)
{
    PointF p{};
    if (IntersectLines(p, line, along) == 0) {
        return 0;
    }
    distance = LineProjection(along, p);
    return 1;
}

int32_t CountTransitions(const SymbolRecord& record, const GrayImage& image, TransitionScan& scan,
                         int32_t stopAt, int32_t step)
{
    const FittedLine& line = scan.line;
    PointF p{};
    float gray = 0.0f;
    PointOnLine(p, line, 0.0f);
    SampleBicubic(gray, image, p.x, p.y);
    bool ink = IsInk(record.contrast, gray);
    int32_t count = 0;
    step = step < 1 ? 1 : step;
    for (int32_t t = step; static_cast<float>(t) <= line.tEnd && t < kMaxScanSamples && count < stopAt;
         t += step) {
        PointOnLine(p, line, static_cast<float>(t));
        SampleBicubic(gray, image, p.x, p.y);
        const bool sampleInk = IsInk(record.contrast, gray);
        if (sampleInk != ink) {
            ++count;
            ink = sampleInk;
        }
    }
    scan.transitionCount = count;
    scan.transitions = static_cast<float>(count);
    return count;
}

int ScanTransitions(const SymbolRecord& record, const GrayImage& image, RegionScanState& state,
                    TransitionScan& scan, int32_t offset, float offsetLimit, TransitionPair& minima,
                    TransitionPair& maxima, bool rowScan)
{
    if (!(static_cast<float>(offset) < offsetLimit)) {
        return 0;
    }
    const FittedLine& along = rowScan ? state.yLegLine : state.xLegLine;
    const FittedLine& across = rowScan ? state.xLegLine : state.yLegLine;
    scan.line = FittedLine{};
    scan.line.valid = 1;
    PointOnLine(scan.line.origin, along, static_cast<float>(offset) + kScanOffsetShift);
    scan.line.direction = across.direction;
    scan.line.tEnd = state.scanLength;
    float& minimum = rowScan ? minima.row : minima.column;
    float& maximum = rowScan ? maxima.row : maxima.column;
    // Once a minimum of at most 230 stands, any count above 230 ends the search, so the count
    // need not go further (clutter can cross hundreds of edges).
    const int32_t stopAt =
        minimum <= kMaxBearableChanges ? static_cast<int32_t>(kMaxBearableChanges) + 1 : INT32_MAX;
    const float count = static_cast<float>(CountTransitions(record, image, scan, stopAt, state.sampleStep));

    if (count < minimum) {
        minimum = count;
        return 1;
    }
    if (count > maximum) {
        if (count < kMaxCountedChanges) {
            maximum = count;
            const int32_t index = ScanIndex(rowScan ? state.rowScans : state.columnScans, scan);
            if (index >= 0) {
                (rowScan ? state.maxRowIndex : state.maxColumnIndex) = index;
            }
            return 1;
        }
        if (count > kMaxBearableChanges) {
            return 0;
        }
    }
    return 1;
}

void RefineBorderScan(const SymbolRecord& record, const GrayImage& image, TransitionScan& scan,
                      const FittedLine& legLine, float otherMaximum, int32_t sampleStep)
{
    // The two ends slide on lines through them parallel to the leg; ds and de are their offsets.
    FittedLine startLine = legLine;
    FittedLine endLine = legLine;
    startLine.origin = scan.line.origin;
    PointOnLine(endLine.origin, scan.line, scan.line.tEnd);
    float offsets[2] = {0.0f, 0.0f}; // start side, end side

    // Counts the scan from the current start towards the current end; false when degenerate.
    auto tryEnds = [&](TransitionScan& trial) {
        PointF start{};
        PointF end{};
        PointOnLine(start, startLine, offsets[0]);
        PointOnLine(end, endLine, offsets[1]);
        trial = scan;
        if (AimLine(trial.line, start, end) == 0) {
            return false;
        }
        CountTransitions(record, image, trial, INT32_MAX, sampleStep);
        return true;
    };
    auto accept = [&](const TransitionScan& trial) {
        scan.line.origin = trial.line.origin; // unchanged by an end move
        scan.line.direction = trial.line.direction;
        scan.transitions = trial.transitions;
        scan.transitionCount = trial.transitionCount;
    };

    int side = 0;
    for (int move = 0; move < kMaxRefineMoves; ++move) {
        offsets[side] += kRefineStep;
        TransitionScan trial{};
        if (!tryEnds(trial) || !(trial.transitions < scan.transitions)) {
            offsets[side] -= kRefineStep;
            break;
        }
        accept(trial);
        side = 1 - side;
    }
    side = 0;
    for (int move = 0; move < kMaxRefineMoves; ++move) {
        offsets[side] -= kRefineStep;
        TransitionScan trial{};
        if (!tryEnds(trial)) {
            break;
        }
        if (!(trial.transitions <= scan.transitions || trial.transitions <= otherMaximum * kOneThird)) {
            break;
        }
        accept(trial);
        side = 1 - side;
    }
}

bool RegionScanApplies(const SymbolRecord& record)
{
    const float longer =
        std::fmax(LegLength(record.corner, record.yLegEnd), LegLength(record.corner, record.xLegEnd));
    // Two pixels a module at least: a shorter leg cannot hold the smallest side with region borders.
    return static_cast<int32_t>((longer + kScanOverhang) * 0.5f + 0.5f) >= kMinModuleCount;
}

namespace {

// Everything of the scan state but its two scan arrays; false when the legs are too short, too
// long for the picture or not finite.
bool PrepareRegionScan(const SymbolRecord& record, const GrayImage& image, RegionScanState& state)
{
    if (!RegionScanApplies(record)) {
        return false;
    }
    const float longer =
        std::fmax(LegLength(record.corner, record.yLegEnd), LegLength(record.corner, record.xLegEnd));
    // A leg longer than the picture's width plus height (or not finite) is no finder; refusing it
    // here keeps every scan within kMaxScanSamples.
    const float pictureSpan = static_cast<float>(image.width) + static_cast<float>(image.height);
    if (!(longer <= pictureSpan) || longer + kLegOverhang >= static_cast<float>(kMaxScanSamples)) {
        return false;
    }
    state = RegionScanState{};
    state.scanLength = longer + kScanOverhang;
    state.offsetLimit = longer + kLegOverhang;
    state.sampleStep = SampleStepFor(longer);
    state.yLegLine = MakeLegLine(record.corner, record.yLegEnd, longer + kLegOverhang);
    state.xLegLine = MakeLegLine(record.corner, record.xLegEnd, longer + kLegOverhang);
    return true;
}

} // namespace

int32_t CountFirstRowChanges(const SymbolRecord& record, const GrayImage& image)
{
    RegionScanState state{};
    if (!PrepareRegionScan(record, image, state)) {
        return -1;
    }
    TransitionPair maxima{0.0f, 0.0f};
    TransitionPair minima{kNoMinimum, kNoMinimum};
    TransitionScan first{};
    ScanTransitions(record, image, state, first, kFirstScanOffset, state.offsetLimit, minima, maxima, true);
    return first.transitionCount;
}

bool IsBlankBesideFinder(const SymbolRecord& record, const GrayImage& image)
{
    RegionScanState state{};
    if (!PrepareRegionScan(record, image, state)) {
        return false;
    }
    TransitionPair maxima{0.0f, 0.0f};
    TransitionPair minima{kNoMinimum, kNoMinimum};
    TransitionScan first{};
    ScanTransitions(record, image, state, first, kFirstScanOffset, state.offsetLimit, minima, maxima, true);
    return IsBlankFirstRow(record, image, state, first);
}

int FindRegionBorders(SymbolRecord& record, const GrayImage& image)
{
    RegionScanState state{};
    if (!PrepareRegionScan(record, image, state)) {
        return 0;
    }
    state.columnScans = static_cast<TransitionScan*>(std::calloc(kMaxSegments, sizeof(TransitionScan)));
    state.rowScans = static_cast<TransitionScan*>(std::calloc(kMaxSegments, sizeof(TransitionScan)));
    int result = 0;
    if (state.columnScans != nullptr && state.rowScans != nullptr) {
        result = SearchRegionBorders(record, image, state, state.offsetLimit);
    }
    std::free(state.columnScans);
    std::free(state.rowScans);
    if (result == 0) {
        record.moduleCountHint = 0;
    }
    return result;
}

} // namespace norvale
