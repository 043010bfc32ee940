// Region-border scan: finds the data-region borders of a large symbol by where the change count
// of scan lines parallel to the finder legs collapses, then hands on to the module count, the
// border verification and the grid lines.
#include "decoder/grid/region_border_scan.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The progress of one scan direction: the offset of its next scan, the count of its last scan
// that had not collapsed and how much that count had fallen, how it strides, and the offset of
// its last border (0, the corner, before the first).
struct ScanFront
{
    int32_t offset;
    float previous;
    float drop;
    OffsetStride stride;
    int32_t lastBorder;
};

// Everything one search for the region borders works with.
struct BorderSearch
{
    const SymbolRecord& record;
    const GrayImage& image;
    RegionScanState& state;
    ScanFront columns;
    ScanFront rows;
    TransitionPair minima;
    TransitionPair maxima;
    int mode;        // the directions scanned at the top of the next step
    int32_t current; // the scan records of the segment being searched
};

enum class SearchStep {
    kGoOn,
    kDone,   // every border found, or the limit reached just after one
    kFailed, // a scan crossed too much, or nothing paired up before the limit
};

TransitionScan& ScanOf(BorderSearch& search, bool rowScan)
{
    return rowScan ? search.state.rowScans[search.current] : search.state.columnScans[search.current];
}

bool ScanFrontAt(BorderSearch& search, bool rowScan)
{
    ScanFront& front = rowScan ? search.rows : search.columns;
    return ScanTransitions(search.record, search.image, search.state, ScanOf(search, rowScan), front.offset,
                           search.state.offsetLimit, search.minima, search.maxima, rowScan) != 0;
}

// While its count holds (more than half the last one), a direction strides on; true when it did
// or when it stepped back to trace a collapse pixel by pixel.
bool AdvanceIfHolding(BorderSearch& search, bool rowScan)
{
    ScanFront& front = rowScan ? search.rows : search.columns;
    const int scanned = rowScan ? kScanRows : kScanColumns;
    const float count = ScanOf(search, rowScan).transitions;
    if (count > front.previous * 0.5f && count > 1e-6f) {
        front.drop = front.previous - count;
        front.previous = count;
        search.mode = scanned;
        front.stride.Advance(front.offset);
        return true;
    }
    if ((search.mode & scanned) != 0 && front.stride.BackUp(front.offset)) {
        search.mode = scanned;
        return true;
    }
    return false;
}

// Follows a collapse one pixel at a time while it keeps deepening; each scan is bounded by the
// limit. False when a scan stops the search.
bool FollowCollapse(BorderSearch& search, bool rowScan)
{
    ScanFront& front = rowScan ? search.rows : search.columns;
    TransitionScan& scan = ScanOf(search, rowScan);
    while (front.previous - scan.transitions >= front.drop) {
        front.drop = front.previous - scan.transitions;
        ++front.offset;
        front.previous = scan.transitions;
        if (!ScanFrontAt(search, rowScan)) {
            return false;
        }
    }
    return true;
}

// Both directions collapsed close together: a segment border. Refines and records both scans,
// then jumps most of a region pitch on.
SearchStep RecordBorder(BorderSearch& search)
{
    if (!FollowCollapse(search, false) || !FollowCollapse(search, true)) {
        return SearchStep::kFailed;
    }
    RegionScanState& state = search.state;
    TransitionScan& column = ScanOf(search, false);
    TransitionScan& row = ScanOf(search, true);
    RefineBorderScan(search.record, search.image, column, state.xLegLine, search.maxima.row,
                     state.sampleStep);
    RefineBorderScan(search.record, search.image, row, state.yLegLine, search.maxima.column,
                     state.sampleStep);
    state.segmentColumn[state.segmentCount] = search.current;
    state.segmentRow[state.segmentCount] = search.current;
    state.segmentCount += 1;
    if (search.columns.offset + kSegmentSkip >= state.offsetLimit ||
        search.rows.offset + kSegmentSkip >= state.offsetLimit || state.segmentCount >= kMaxSegments) {
        return SearchStep::kDone;
    }
    // Regions repeat at one pitch: the next border lies about a pitch on, so the scans skip most
    // of the region between.
    for (const bool rowScan : {false, true}) {
        ScanFront& front = rowScan ? search.rows : search.columns;
        const float count = ScanOf(search, rowScan).transitions;
        const int32_t jump = JumpPastRegion(front.offset, front.lastBorder, state.offsetLimit);
        front.lastBorder = front.offset;
        front.offset += jump;
        front.drop = front.previous - count;
        front.previous = count;
    }
    search.current += 1;
    search.mode = kScanBoth;
    return SearchStep::kGoOn;
}

// No border where the two collapses lie: the lagging direction catches up, to within the pairing
// distance of the other or one pixel on.
SearchStep CatchUp(BorderSearch& search)
{
    ScanFront& columns = search.columns;
    ScanFront& rows = search.rows;
    const float columnCount = ScanOf(search, false).transitions;
    const float rowCount = ScanOf(search, true).transitions;
    const float limit = search.state.offsetLimit;
    if (columns.offset < rows.offset && limit - 1.0f > static_cast<float>(columns.offset)) {
        columns.drop = columns.previous - columnCount;
        columns.previous = columnCount;
        search.mode = kScanColumns;
        columns.offset =
            columns.offset < rows.offset - kBorderPairing ? rows.offset - kBorderPairing : columns.offset + 1;
        return SearchStep::kGoOn;
    }
    if (limit - 1.0f > static_cast<float>(rows.offset)) {
        rows.drop = rows.previous - rowCount;
        rows.previous = rowCount;
        search.mode = kScanRows;
        rows.offset =
            rows.offset < columns.offset - kBorderPairing ? columns.offset - kBorderPairing : rows.offset + 1;
        return SearchStep::kGoOn;
    }
    return SearchStep::kFailed;
}

// One step: the scans due, then the first of these that applies: a direction whose count holds
// moves on; two collapses close together make a border; else the lagging direction catches up.
SearchStep StepBorderSearch(BorderSearch& search)
{
    if ((search.mode & kScanColumns) != 0 && !ScanFrontAt(search, false)) {
        return SearchStep::kFailed;
    }
    if ((search.mode & kScanRows) != 0 && !ScanFrontAt(search, true)) {
        return SearchStep::kFailed;
    }
    if (AdvanceIfHolding(search, false) || AdvanceIfHolding(search, true)) {
        return SearchStep::kGoOn;
    }
    if (std::abs(search.columns.offset - search.rows.offset) < kBorderPairing &&
        std::fmax(search.maxima.column, search.maxima.row) > kMinBorderMaximum) {
        return RecordBorder(search);
    }
    return CatchUp(search);
}

// From the borders found to the module count, the verified borders and the grid lines.
int FinishRegionBorders(SymbolRecord& record, const GrayImage& image, RegionScanState& state,
                        const TransitionPair& maxima)
{
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
    return BuildGridLines(record, state);
}

// The search proper, on a state whose scan arrays are allocated (the caller frees them): the
// first row decides whether there is anything beside the finder, then the steps run until every
// border is found or both directions reach the limit.
int SearchRegionBorders(SymbolRecord& record, const GrayImage& image, RegionScanState& state)
{
    const float limit = state.offsetLimit;
    const OffsetStride stride{state.sampleStep, 1, 0};
    BorderSearch search{record,
                        image,
                        state,
                        ScanFront{kFirstScanOffset, 0.0f, 0.0f, stride, 0},
                        ScanFront{kFirstScanOffset, 0.0f, 0.0f, stride, 0},
                        TransitionPair{kNoMinimum, kNoMinimum},
                        TransitionPair{0.0f, 0.0f},
                        kScanColumns,
                        0};
    TransitionScan& first = state.rowScans[0];
    ScanTransitions(record, image, state, first, kFirstScanOffset, limit, search.minima, search.maxima, true);
    if (IsBlankFirstRow(record, image, state, first)) {
        record.status = kStatusSkip;
        return 0;
    }
    SearchStep step = SearchStep::kGoOn;
    while (step == SearchStep::kGoOn && (search.columns.offset < limit || search.rows.offset < limit)) {
        step = StepBorderSearch(search);
    }
    if (step == SearchStep::kFailed) {
        return 0;
    }
    return FinishRegionBorders(record, image, state, search.maxima);
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

namespace {

// The last offset a scan of this length samples every `step` pixels below kMaxScanSamples; 0 when
// it samples only its start. A whole offset t below 2^24 is an exact float, so t <= length holds
// exactly when t <= floor(length).
int32_t LastScanOffset(float length, int32_t step)
{
    if (!(length >= static_cast<float>(step))) {
        return 0;
    }
    const auto reach = static_cast<int32_t>(std::fmin(double{length}, kMaxScanSamples - 1.0));
    return reach - reach % step;
}

// Adds to `count`, up to stopAt, the class changes between the sample before `from` (of class
// `ink`) and the samples at from, from + step, .. last along the line.
template <typename Sample>
int32_t CountClassChangesFrom(const ScanContrast& contrast, const FittedLine& line, int32_t from,
                              int32_t last, int32_t step, int32_t stopAt, bool ink, int32_t count,
                              Sample sample)
{
    PointF p{};
    for (int32_t t = from; t <= last && count < stopAt; t += step) {
        PointOnLine(p, line, static_cast<float>(t));
        const bool sampleInk = IsInk(contrast, sample(p));
        count += sampleInk != ink ? 1 : 0;
        ink = sampleInk;
    }
    return count;
}

// Counts the class changes between the samples at 0, step, .. last along the line, up to stopAt.
template <typename Sample>
int32_t CountClassChanges(const ScanContrast& contrast, const FittedLine& line, int32_t last, int32_t step,
                          int32_t stopAt, Sample sample)
{
    PointF p{};
    PointOnLine(p, line, 0.0f);
    return CountClassChangesFrom(contrast, line, step, last, step, stopAt, IsInk(contrast, sample(p)), 0,
                                 sample);
}

float SampleInside(const GrayImage& image, PointF p)
{
    return BilinearInside(image, p.x, p.y);
}

#if defined(__SSE2__)
// Class changes within four successive samples (bit k: ink at sample k) and the one before them
// (bit 0 of the block shifted up): the number of set bits of a 4-bit difference.
constexpr uint8_t kSetBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Puts the two pixels at `below` and the two a row above them into words k and k + 4.
template <int k> __m128i InsertPixelPairs(__m128i pairs, const uint8_t* below, size_t width)
{
    uint16_t pair = 0;
    std::memcpy(&pair, below, sizeof pair);
    pairs = _mm_insert_epi16(pairs, pair, k);
    std::memcpy(&pair, below + width, sizeof pair);
    return _mm_insert_epi16(pairs, pair, k + 4);
}

// The same count for a line whose samples all lie where BilinearInside may read, four samples
// at a time: lane for lane the arithmetic of PointOnLine, BilinearInside and IsInk, so the count
// is the one-at-a-time count exactly. The count only grows by one a sample, so a block that
// reaches stopAt may pass it and the count is clamped.
int32_t CountClassChangesInside(const ScanContrast& contrast, const FittedLine& line, const GrayImage& image,
                                int32_t last, int32_t step, int32_t stopAt)
{
    PointF p{};
    PointOnLine(p, line, 0.0f);
    unsigned before = IsInk(contrast, SampleInside(image, p)) ? 1u : 0u;
    const LevelLine level = LevelLineOf(contrast.contrastReference, contrast.contrastSign);
    const __m128 scale = _mm_set1_ps(level.scale);
    const __m128 offset = _mm_set1_ps(level.offset);
    const __m128 threshold = _mm_set1_ps(contrast.inkThreshold);
    const __m128d directionX = _mm_set1_pd(double{line.direction.x});
    const __m128d directionY = _mm_set1_pd(double{line.direction.y});
    const __m128d originX = _mm_set1_pd(double{line.origin.x});
    const __m128d originY = _mm_set1_pd(double{line.origin.y});
    const __m128d laneStep = _mm_set1_pd(2.0 * step);
    const __m128d blockStep = _mm_set1_pd(4.0 * step);
    const __m128i lowByte = _mm_set1_epi32(0xff);
    const size_t width = image.width;
    int32_t count = 0;
    int32_t t = step;
    __m128d nearPair = _mm_setr_pd(double(t), double(t + step));
    for (; t + 3 * step <= last && count < stopAt; t += 4 * step) {
        const __m128d farPair = _mm_add_pd(nearPair, laneStep);
        const __m128 x = _mm_movelh_ps(_mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(directionX, nearPair), originX)),
                                       _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(directionX, farPair), originX)));
        const __m128 y = _mm_movelh_ps(_mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(directionY, nearPair), originY)),
                                       _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(directionY, farPair), originY)));
        nearPair = _mm_add_pd(nearPair, blockStep);
        const FourCells cells = CellsOfFour(x, y);
        // Word k: the pixel pair of sample k's lower row; word k + 4: the pair of its upper row.
        __m128i pairs = _mm_setzero_si128();
        const auto below = [&](int k) {
            return image.current + size_t(cells.y[k]) * width + size_t(cells.x[k]);
        };
        pairs = InsertPixelPairs<0>(pairs, below(0), width);
        pairs = InsertPixelPairs<1>(pairs, below(1), width);
        pairs = InsertPixelPairs<2>(pairs, below(2), width);
        pairs = InsertPixelPairs<3>(pairs, below(3), width);
        const __m128i belowBytes = _mm_unpacklo_epi16(pairs, _mm_setzero_si128());
        const __m128i aboveBytes = _mm_unpackhi_epi16(pairs, _mm_setzero_si128());
        const __m128 below0 = _mm_cvtepi32_ps(_mm_and_si128(belowBytes, lowByte));
        const __m128 below1 = _mm_cvtepi32_ps(_mm_srli_epi32(belowBytes, 8));
        const __m128 above0 = _mm_cvtepi32_ps(_mm_and_si128(aboveBytes, lowByte));
        const __m128 above1 = _mm_cvtepi32_ps(_mm_srli_epi32(aboveBytes, 8));
        const __m128 low = _mm_add_ps(below0, _mm_mul_ps(cells.fx, _mm_sub_ps(below1, below0)));
        const __m128 high = _mm_add_ps(above0, _mm_mul_ps(cells.fx, _mm_sub_ps(above1, above0)));
        const __m128 gray = _mm_add_ps(low, _mm_mul_ps(cells.fy, _mm_sub_ps(high, low)));
        const __m128 ink = _mm_cmpgt_ps(_mm_add_ps(_mm_mul_ps(scale, gray), offset), threshold);
        const auto bits = static_cast<unsigned>(_mm_movemask_ps(ink));
        count += kSetBits[(bits ^ ((bits << 1) | before)) & 0xfu];
        before = bits >> 3;
    }
    if (count >= stopAt) {
        return stopAt;
    }
    return CountClassChangesFrom(contrast, line, t, last, step, stopAt, before != 0, count,
                                 [&image](PointF q) { return SampleInside(image, q); });
}
#else
int32_t CountClassChangesInside(const ScanContrast& contrast, const FittedLine& line, const GrayImage& image,
                                int32_t last, int32_t step, int32_t stopAt)
{
    return CountClassChanges(contrast, line, last, step, stopAt,
                             [&image](PointF p) { return SampleInside(image, p); });
}
#endif

} // namespace

int32_t CountTransitions(const SymbolRecord& record, const GrayImage& image, TransitionScan& scan,
                         int32_t stopAt, int32_t step)
{
    const FittedLine& line = scan.line;
    step = step < 1 ? 1 : step;
    const int32_t last = LastScanOffset(line.tEnd, step);
    PointF start{};
    PointF end{};
    PointOnLine(start, line, 0.0f);
    PointOnLine(end, line, static_cast<float>(last));
    int32_t count = 0;
    if (IsBilinearInside(image, start.x, start.y) && IsBilinearInside(image, end.x, end.y)) {
        // Both coordinates move monotonically along the line, so every sample between the two
        // ends lies inside as well: the samples need no bounds test.
        count = CountClassChangesInside(record.contrast, line, image, last, step, stopAt);
    } else {
        count = CountClassChanges(record.contrast, line, last, step, stopAt, [&image](PointF p) {
            float gray = 0.0f;
            SampleBilinear(gray, image, p.x, p.y);
            return gray;
        });
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

// The first row scan beside the finder, on a freshly prepared state; false when the legs give no
// region to scan.
bool ScanFirstRow(const SymbolRecord& record, const GrayImage& image, RegionScanState& state,
                  TransitionScan& first)
{
    if (!PrepareRegionScan(record, image, state)) {
        return false;
    }
    TransitionPair maxima{0.0f, 0.0f};
    TransitionPair minima{kNoMinimum, kNoMinimum};
    ScanTransitions(record, image, state, first, kFirstScanOffset, state.offsetLimit, minima, maxima, true);
    return true;
}

} // namespace

int32_t CountFirstRowChanges(const SymbolRecord& record, const GrayImage& image)
{
    RegionScanState state{};
    TransitionScan first{};
    if (!ScanFirstRow(record, image, state, first)) {
        return -1;
    }
    return first.transitionCount;
}

bool IsBlankBesideFinder(const SymbolRecord& record, const GrayImage& image)
{
    RegionScanState state{};
    TransitionScan first{};
    return ScanFirstRow(record, image, state, first) && IsBlankFirstRow(record, image, state, first);
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
        result = SearchRegionBorders(record, image, state);
    }
    std::free(state.columnScans);
    std::free(state.rowScans);
    if (result == 0) {
        record.moduleCountHint = 0;
    }
    return result;
}

} // namespace norvale
