// Size selection and module sampling: from a fitted frame (or module grid lines) to the size of
// the symbol, its binarised modules in the context's grids and the record's mapping matrix.
#include "decoder/sampling/module_sampling.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_frame.h"
#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"
#include "decoder/base/transform2d.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

// A walk stretch spans two modules.
constexpr double kStretchFrameUnits = 2.0 * double{kFrameSide};
constexpr double kZeroStretch = 1e-6;
constexpr double kMaxHalfEstimate = 1 << 19;
// Quiet-zone rings sampled on each side of the symbol; also the reach of a cell's threshold window.
constexpr int kMargin = kGridMargin;
constexpr int kWindowSide = 2 * kMargin + 1;
// The border ring: the finder and clock modules and the two module rows inside them.
constexpr int kRingDepth = 3;
constexpr int kTrialOffsets[] = {0, -2, 2, -4, 4, -kLargestTrialOffset, kLargestTrialOffset};
constexpr int kMaxMismatches = 4;
constexpr int kNoSample = -1;
constexpr int kDark = 0;
constexpr int kLight = 255;
constexpr int kCodewordDataBytes = 10;

// The finder and clock rows between the data regions of one side: two between each pair.
int AlignmentRows(const SymbolSize& size)
{
    return 2 * (RegionsPerSide(size) - 1);
}

int GridSide(int symbolSide)
{
    return symbolSide + 2 * kMargin;
}

bool GridFits(int symbolSide)
{
    return symbolSide >= 1 && GridSide(symbolSide) <= kSampleGridSide;
}

// Lines usable as module rows and columns: none outside line mode, and never more than the
// arrays hold (moduleCountHint + 1 entries each).
int UsableLineCount(const SymbolRecord& record)
{
    if (record.moduleCountHint == 0 || record.rowLines == nullptr || record.columnLines == nullptr ||
        record.gridLineCount <= 0) {
        return 0;
    }
    const int64_t capacity = int64_t{record.moduleCountHint} + 1;
    return capacity < record.gridLineCount ? static_cast<int>(capacity < 0 ? 0 : capacity)
                                           : record.gridLineCount;
}

// Image position of module (row i, column j); grid lines first, the frame where they do not reach
// or where a row and a column line run parallel.
PointF ModuleCentre(const SymbolRecord& record, int side, int lineCount, int i, int j)
{
    PointF p{};
    if (i >= 0 && j >= 0 && i < lineCount && j < lineCount &&
        IntersectLines(p, record.rowLines[i], record.columnLines[j]) == 1) {
        return p;
    }
    const PointF frame{static_cast<float>((j + 0.5) * double{kFrameSide} / side),
                       static_cast<float>((i + 0.5) * double{kFrameSide} / side)};
    TransformApply(p, frame, record.frameToImage);
    return p;
}

// Whether a module centre is sampled at all. Written so that a non-finite point counts as outside.
bool IsSampledCentre(const GrayImage& image, PointF p)
{
    return p.x >= 0.0f && p.y >= 0.0f && p.x <= static_cast<float>(image.width) &&
           p.y <= static_cast<float>(image.height);
}

int16_t ModuleLevel(float grey)
{
    return static_cast<int16_t>(grey + 0.5f);
}

int16_t& RawCell(SampleGrids& grids, int side, int i, int j)
{
    return grids.raw.cells[(i + kMargin) * GridSide(side) + (j + kMargin)];
}

// The raw cell of a module centre: its rounded cubic sample, or kNoSample outside the picture.
int16_t ModuleValue(const GrayImage& image, PointF p)
{
    if (!IsSampledCentre(image, p)) {
        return kNoSample;
    }
    float grey = 0.0f;
    SampleBicubic(grey, image, p.x, p.y);
    return ModuleLevel(grey);
}

void SampleModule(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids, int side,
                  int lineCount, int i, int j)
{
    RawCell(grids, side, i, j) = ModuleValue(image, ModuleCentre(record, side, lineCount, i, j));
}

// Quotients of a window's sums by its counts. A sum is at most 255 for each of at most
// kWindowSide^2 samples, and for such sums the product with ceil(2^32 / d), shifted down by 32,
// is exactly sum / d (the excess over the quotient stays below 1/d), without a division.
constexpr uint32_t kMaxWindowSum = 255u * kWindowSide * kWindowSide;

struct WindowDivisors
{
    uint64_t inverse[kWindowSide * kWindowSide + 1];
};

constexpr WindowDivisors MakeWindowDivisors()
{
    WindowDivisors divisors{};
    for (int d = 1; d <= kWindowSide * kWindowSide; ++d) {
        divisors.inverse[d] = ((uint64_t{1} << 32) + static_cast<uint64_t>(d) - 1) / static_cast<uint64_t>(d);
    }
    return divisors;
}

constexpr WindowDivisors kWindowDivisors = MakeWindowDivisors();

constexpr int DivideWindowSum(int sum, int count)
{
    return static_cast<int>((static_cast<uint64_t>(sum) * kWindowDivisors.inverse[count]) >> 32);
}

// The quotient steps up at each multiple of d: checking there and just below covers every sum.
static_assert(
    [] {
        for (int d = 1; d <= kWindowSide * kWindowSide; ++d) {
            for (int multiple = d; multiple <= static_cast<int>(kMaxWindowSum) + d; multiple += d) {
                if (DivideWindowSum(multiple - 1, d) != (multiple - 1) / d ||
                    DivideWindowSum(multiple, d) != multiple / d) {
                    return false;
                }
            }
        }
        return true;
    }(),
    "window quotients by multiplication are exact");

// The grey of a cell against its local threshold: the midpoint of the means below and above the
// average of its window's samples.
int16_t ShadeAgainst(int value, int lowSum, int lowCount, int highSum, int highCount)
{
    const int lowMean = DivideWindowSum(lowSum, lowCount == 0 ? 1 : lowCount);
    const int highMean = DivideWindowSum(highSum, highCount == 0 ? 1 : highCount);
    const int threshold = (lowMean + highMean) >> 1;
    return static_cast<int16_t>(value < threshold ? kDark : kLight);
}

// The local threshold of one cell: the midpoint of the means below and above the average of the
// samples in its window. The window holds every sample of rows and columns within kMargin.
int16_t BinarizeCellOneByOne(const SampleGrid& raw, int width, int r, int c, int value)
{
    int window[kWindowSide * kWindowSide];
    int count = 0;
    int sum = 0;
    for (int dr = -kMargin; dr <= kMargin; ++dr) {
        const int16_t* row = raw.cells + (r + dr) * width + c;
        for (int dc = -kMargin; dc <= kMargin; ++dc) {
            const int v = row[dc];
            if (v >= 0) {
                window[count++] = v;
                sum += v;
            }
        }
    }
    const int mean = DivideWindowSum(sum, count);
    int lowSum = 0;
    int lowCount = 0;
    for (int k = 0; k < count; ++k) {
        if (window[k] < mean) {
            lowSum += window[k];
            ++lowCount;
        }
    }
    return ShadeAgainst(value, lowSum, lowCount, sum - lowSum, count - lowCount);
}

#if defined(__SSE2__)
// Cells thresholded together: the windows of cells c .. c + 3 of a row lie in the eight columns
// from c - kMargin on, cell k's in lanes k .. k + kWindowSide - 1 of each window row.
constexpr int kCellsTogether = 4;
static_assert(kCellsTogether + kWindowSide - 1 <= 8,
              "the windows of the cells read together fit one register");

// Lanes k .. k + kWindowSide - 1 of a window row: cell k's window.
struct WindowLanes
{
    alignas(16) int16_t masks[kCellsTogether][8];
};

constexpr WindowLanes MakeWindowLanes()
{
    WindowLanes lanes{};
    for (int k = 0; k < kCellsTogether; ++k) {
        for (int j = 0; j < 8; ++j) {
            lanes.masks[k][j] = static_cast<int16_t>(j >= k && j < k + kWindowSide ? -1 : 0);
        }
    }
    return lanes;
}

constexpr WindowLanes kWindowLanes = MakeWindowLanes();

// The window rows of up to kCellsTogether cells of one row, read as eight samples each, with the
// lanes that hold a sample.
struct WindowRows
{
    __m128i samples[kWindowSide];
    __m128i taken[kWindowSide];
};

// False when the window rows of the cell at (r, c) would read past the end of a full grid: the
// last rows of a grid kSampleGridSide wide go one by one.
bool FitsWindowRead(int width, int r, int c)
{
    return (r - kMargin) * width + (c - kMargin) + 2 * kMargin * width + 8 <=
           kSampleGridSide * kSampleGridSide;
}

WindowRows ReadWindowRows(const SampleGrid& raw, int width, int r, int c)
{
    WindowRows rows{};
    const int16_t* first = raw.cells + (r - kMargin) * width + (c - kMargin);
    const __m128i none = _mm_set1_epi16(-1);
    for (int k = 0; k < kWindowSide; ++k) {
        rows.samples[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + k * width));
        rows.taken[k] = _mm_cmpgt_epi16(rows.samples[k], none);
    }
    return rows;
}

// Lane j of the result: the sum of lanes j .. j + kWindowSide - 1 (valid for j < kCellsTogether).
__m128i SumAlongWindows(__m128i columns)
{
    static_assert(kWindowSide == 5, "five columns summed as two pairs and one more");
    const __m128i pairs = _mm_add_epi16(columns, _mm_srli_si128(columns, 2));
    const __m128i fours = _mm_add_epi16(pairs, _mm_srli_si128(pairs, 4));
    return _mm_add_epi16(fours, _mm_srli_si128(columns, 8));
}

// The grey of cell k of the rows read (whose own sample is `value`) against its window, whose
// sum and count are known: the split below the mean is counted over all eight lanes of each row
// and the lanes outside the cell's window are masked off once, after the rows are summed.
int16_t ShadeWindowCell(const WindowRows& rows, int k, int value, int sum, int count)
{
    const __m128i mean = _mm_set1_epi16(static_cast<int16_t>(DivideWindowSum(sum, count)));
    __m128i lowSums = _mm_setzero_si128();
    __m128i lowCounts = _mm_setzero_si128();
    for (int i = 0; i < kWindowSide; ++i) {
        const __m128i low = _mm_and_si128(_mm_cmplt_epi16(rows.samples[i], mean), rows.taken[i]);
        lowSums = _mm_add_epi16(lowSums, _mm_and_si128(rows.samples[i], low));
        lowCounts = _mm_sub_epi16(lowCounts, low);
    }
    const __m128i window = _mm_load_si128(reinterpret_cast<const __m128i*>(kWindowLanes.masks[k]));
    // Both masked sums at once: lanes 0 and 2 end up holding the low sum and the low count.
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i sumPairs = _mm_madd_epi16(_mm_and_si128(lowSums, window), ones);
    const __m128i countPairs = _mm_madd_epi16(_mm_and_si128(lowCounts, window), ones);
    const __m128i halves =
        _mm_add_epi32(_mm_unpacklo_epi64(sumPairs, countPairs), _mm_unpackhi_epi64(sumPairs, countPairs));
    const __m128i totals = _mm_add_epi32(halves, _mm_shuffle_epi32(halves, _MM_SHUFFLE(2, 3, 0, 1)));
    const int lowSum = _mm_cvtsi128_si32(totals);
    const int lowCount = _mm_cvtsi128_si32(_mm_unpackhi_epi64(totals, totals));
    return ShadeAgainst(value, lowSum, lowCount, sum - lowSum, count - lowCount);
}

// Thresholds `cells` cells of row r from column c on (at most kCellsTogether) from one read of
// their window rows.
void BinarizeCellsTogether(const SampleGrid& raw, SampleGrid& level, int width, int r, int c, int cells)
{
    const WindowRows rows = ReadWindowRows(raw, width, r, c);
    __m128i columnSums = _mm_setzero_si128();
    __m128i columnCounts = _mm_setzero_si128();
    for (int i = 0; i < kWindowSide; ++i) {
        columnSums = _mm_add_epi16(columnSums, _mm_and_si128(rows.samples[i], rows.taken[i]));
        columnCounts = _mm_sub_epi16(columnCounts, rows.taken[i]);
    }
    alignas(16) int16_t sums[8];
    alignas(16) int16_t counts[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), SumAlongWindows(columnSums));
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), SumAlongWindows(columnCounts));
    for (int k = 0; k < cells; ++k) {
        const int at = r * width + c + k;
        const int value = raw.cells[at];
        level.cells[at] =
            value < 0 ? static_cast<int16_t>(kNoSample) : ShadeWindowCell(rows, k, value, sums[k], counts[k]);
    }
}
#endif

// Thresholds the cells of grid rows [rowFrom, rowTo) and columns [columnFrom, columnTo) of a grid
// `width` cells wide.
void BinarizeCells(const SampleGrid& raw, SampleGrid& level, int width, int rowFrom, int rowTo,
                   int columnFrom, int columnTo)
{
    for (int r = rowFrom; r < rowTo; ++r) {
        int c = columnFrom;
#if defined(__SSE2__)
        for (; c < columnTo && FitsWindowRead(width, r, c); c += kCellsTogether) {
            BinarizeCellsTogether(raw, level, width, r, c, std::min(kCellsTogether, columnTo - c));
        }
#endif
        for (; c < columnTo; ++c) {
            const int value = raw.cells[r * width + c];
            level.cells[r * width + c] =
                value < 0 ? static_cast<int16_t>(kNoSample) : BinarizeCellOneByOne(raw, width, r, c, value);
        }
    }
}

// Samples the modules of rows [rowFrom, rowTo) and columns [columnFrom, columnTo) (module
// coordinates; the quiet-zone rings lie below 0 and from the side on).
void SampleBlock(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids, int side,
                 int rowFrom, int rowTo, int columnFrom, int columnTo)
{
    const int lineCount = UsableLineCount(record);
    for (int i = rowFrom; i < rowTo; ++i) {
        int j = columnFrom;
        // Four modules of the row at a time, sampled side by side, where all four are sampled.
        for (; j + 4 <= columnTo; j += 4) {
            float xs[4];
            float ys[4];
            bool sampled = true;
            for (int k = 0; k < 4; ++k) {
                const PointF p = ModuleCentre(record, side, lineCount, i, j + k);
                xs[k] = p.x;
                ys[k] = p.y;
                sampled = sampled && IsSampledCentre(image, p);
            }
            if (!sampled) {
                for (int k = 0; k < 4; ++k) {
                    RawCell(grids, side, i, j + k) = ModuleValue(image, PointF{xs[k], ys[k]});
                }
                continue;
            }
            float greys[4];
            SampleBicubicFour(image, xs, ys, greys);
            for (int k = 0; k < 4; ++k) {
                RawCell(grids, side, i, j + k) = ModuleLevel(greys[k]);
            }
        }
        for (; j < columnTo; ++j) {
            SampleModule(record, image, grids, side, lineCount, i, j);
        }
    }
}

// The ring of one trial, sampled and thresholded as its check reads it. Each line is thresholded
// from a band of modules kMargin deep on both sides of it, whose rows (or columns) are sampled as
// the line's modules come within kMargin of them: a trial that fails early samples little.
// Together the four bands sample the whole ring.
struct LazyRing
{
    const SymbolRecord& record;
    const GrayImage& image;
    SampleGrids& grids;
    int side;
    // The next row or column of each band to sample.
    int columnBand; // rows of the finder column's band
    int rowBand;    // columns of the finder row's band
    int rightBand;  // rows of the right clock's band
    int topBand;    // columns of the top clock's band
};

LazyRing StartLazyRing(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids, int side)
{
    return LazyRing{record, image, grids, side, -kMargin, kRingDepth, kRingDepth, kRingDepth};
}

// Samples rows next .. to (at most rowTo - 1) of columns [columnFrom, columnTo).
void SampleRowsUpTo(LazyRing& ring, int& next, int to, int rowTo, int columnFrom, int columnTo)
{
    const int end = std::min(to + 1, rowTo);
    if (next < end) {
        SampleBlock(ring.record, ring.image, ring.grids, ring.side, next, end, columnFrom, columnTo);
        next = end;
    }
}

// Samples columns next .. to (at most columnTo - 1) of rows [rowFrom, rowTo).
void SampleColumnsUpTo(LazyRing& ring, int& next, int to, int columnTo, int rowFrom, int rowTo)
{
    const int end = std::min(to + 1, columnTo);
    if (next < end) {
        SampleBlock(ring.record, ring.image, ring.grids, ring.side, rowFrom, rowTo, next, end);
        next = end;
    }
}

// The four bands, each sampled up to its row or column `to`. The finder column's band holds
// columns -kMargin .. kRingDepth - 1 of every row; the finder row's the rows below kRingDepth of
// the columns right of it; the right clock's the columns from side - kRingDepth of the rows above
// the finder row's band; the top clock's the rows from side - kRingDepth between the others.
void SampleFinderColumnBand(LazyRing& ring, int to)
{
    SampleRowsUpTo(ring, ring.columnBand, to, ring.side + kMargin, -kMargin, kRingDepth);
}

void SampleFinderRowBand(LazyRing& ring, int to)
{
    SampleColumnsUpTo(ring, ring.rowBand, to, ring.side + kMargin, -kMargin, kRingDepth);
}

void SampleRightClockBand(LazyRing& ring, int to)
{
    SampleRowsUpTo(ring, ring.rightBand, to, ring.side + kMargin, ring.side - kRingDepth,
                   ring.side + kMargin);
}

void SampleTopClockBand(LazyRing& ring, int to)
{
    SampleColumnsUpTo(ring, ring.topBand, to, ring.side - kRingDepth, ring.side - kRingDepth,
                      ring.side + kMargin);
}

// Samples every band of the ring.
void SampleWholeRing(LazyRing& ring)
{
    const int end = ring.side + kMargin;
    SampleFinderColumnBand(ring, end);
    SampleFinderRowBand(ring, end);
    SampleRightClockBand(ring, end);
    SampleTopClockBand(ring, end);
}

// Samples the ring's modules (with the quiet-zone rings around them) or the ones inside it.
void SampleModules(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids, bool ring)
{
    const int side = record.matrixRows + 2;
    if (!GridFits(side)) {
        return;
    }
    if (!ring) {
        SampleBlock(record, image, grids, side, kRingDepth, side - kRingDepth, kRingDepth, side - kRingDepth);
        return;
    }
    LazyRing whole = StartLazyRing(record, image, grids, side);
    SampleWholeRing(whole);
}

// Level of module (x, y) of a symbol of the given side; -1 when it had no sample.
int LevelAt(const SampleGrids& grids, int side, int x, int y)
{
    return grids.level.cells[(y + kMargin) * GridSide(side) + (x + kMargin)];
}

// Shade 0 (ink) .. 1 (paper) of a level under the record's ink sense.
double Shade(int level, int inkSense)
{
    const double f = level / 255.0;
    return inkSense == -1 ? 1.0 - f : f;
}

// The four lines of the ring in the order the check reads them, each from its first module: the
// finder column upwards, the finder row rightwards (from the shared corner), the right clock
// column upwards and the top clock row rightwards.
enum class RingLine {
    kFinderColumn,
    kFinderRow,
    kRightClock,
    kTopClock,
};

// The check of the ring, module by module: the ink sense and the finder column, the finder row,
// then (outside line mode) the clocks; at most kMaxMismatches modules of the wrong shade in all.
// The counts only grow, so the check fails at the first module that takes them past the limit.
// `ready(line, k)` runs before module k of a line is read, for k = 0, 1, ... in turn; when the
// check passes it has run for every module of every line.
template <typename Ready>
int CheckRingLines(SymbolRecord& record, const SampleGrids& grids, int side, Ready ready)
{
    int mismatches = 0;
    const auto countWrongShade = [&](int v) {
        mismatches += v >= 0 && Shade(v, record.inkSense) > 0.5 ? 1 : 0;
    };
    // The ink sense is the one the finder column shows: its first sampled module from the third on
    // is ink (dark on light when none is). The modules below that one are counted once it is known.
    record.inkSense = 0;
    for (int y = 0; y < side; ++y) {
        ready(RingLine::kFinderColumn, y);
        const int v = LevelAt(grids, side, 0, y);
        if (record.inkSense == 0 && y >= 2 && v >= 0) {
            record.inkSense = v > 128 ? -1 : 1;
            for (int below = 0; below < y; ++below) {
                countWrongShade(LevelAt(grids, side, 0, below));
            }
        }
        if (record.inkSense != 0) {
            countWrongShade(v);
            if (mismatches > kMaxMismatches) {
                return 0;
            }
        }
    }
    if (record.inkSense == 0) {
        record.inkSense = 1;
        for (int y = 0; y < side; ++y) {
            countWrongShade(LevelAt(grids, side, 0, y));
        }
        if (mismatches > kMaxMismatches) {
            return 0;
        }
    }
    // The shared corner counts in the row as well.
    for (int x = 0; x < side; ++x) {
        ready(RingLine::kFinderRow, x);
        countWrongShade(LevelAt(grids, side, x, 0));
        if (mismatches > kMaxMismatches) {
            return 0;
        }
    }
    // Grid lines already counted the modules; the clocks add nothing there.
    const bool clocksCount = record.moduleCountHint == 0;
    // Clock modules of the wrong shade: ink at even positions, paper at odd ones.
    const auto countWrongClock = [&](int v, int position) {
        if (v >= 0 && clocksCount) {
            const double f = Shade(v, record.inkSense);
            mismatches += (position % 2 == 0 ? f > 0.5 : f < 0.5) ? 1 : 0;
        }
    };
    for (int y = 0; y < side; ++y) {
        ready(RingLine::kRightClock, y);
        countWrongClock(LevelAt(grids, side, side - 1, y), y);
        if (mismatches > kMaxMismatches) {
            return 0;
        }
    }
    for (int x = 0; x < side; ++x) {
        ready(RingLine::kTopClock, x);
        countWrongClock(LevelAt(grids, side, x, side - 1), x);
        if (mismatches > kMaxMismatches) {
            return 0;
        }
    }
    return 1;
}

// Thresholds modules [columnFrom, columnTo) of one row.
void BinarizeModules(LazyRing& ring, int row, int columnFrom, int columnTo)
{
    BinarizeCells(ring.grids.raw, ring.grids.level, GridSide(ring.side), row + kMargin, row + kMargin + 1,
                  columnFrom + kMargin, columnTo + kMargin);
}

// Module k of a line, sampled (with what its threshold is taken from) and thresholded.
void ReadyRingModule(LazyRing& ring, RingLine line, int k)
{
    switch (line) {
    case RingLine::kFinderColumn:
        SampleFinderColumnBand(ring, k + kMargin);
        BinarizeModules(ring, k, 0, 1);
        break;
    case RingLine::kFinderRow:
        // The corner was thresholded with the finder column.
        if (k > 0) {
            SampleFinderRowBand(ring, k + kMargin);
            BinarizeModules(ring, 0, k, k + 1);
        }
        break;
    case RingLine::kRightClock:
        // Its first module is the finder row's last.
        if (k > 0) {
            SampleRightClockBand(ring, k + kMargin);
            BinarizeModules(ring, k, ring.side - 1, ring.side);
        }
        break;
    case RingLine::kTopClock:
        // Its first module is the finder column's last, its last the right clock's.
        if (k > 0 && k < ring.side - 1) {
            SampleTopClockBand(ring, k + kMargin);
            BinarizeModules(ring, ring.side - 1, k, k + 1);
        }
        break;
    }
}

// The trial of one side, sampled and thresholded as its check goes: a trial whose ring already
// shows too many wrong modules samples nothing more; one that passes leaves the ring sampled and
// thresholded whole, as the interior pass needs it.
int TrySize(SymbolRecord& record, const GrayImage& image, SampleGrids& grids, int side)
{
    record.matrixRows = side - 2;
    record.matrixCols = side - 2;
    if (!GridFits(side)) {
        return 0;
    }
    LazyRing ring = StartLazyRing(record, image, grids, side);
    return CheckRingLines(record, grids, side, [&](RingLine line, int k) { ReadyRingModule(ring, line, k); });
}

// Runs the seven trials around `centre`; the side that passed, or 0.
int RunTrialSeries(SymbolRecord& record, const GrayImage& image, SampleGrids& grids, int centre,
                   bool lineMode)
{
    for (const int offset : kTrialOffsets) {
        const int side = centre + offset;
        // Line-mode sides are not checked against the size list (the table lookup does that),
        // only against the grid.
        if (lineMode ? !GridFits(side) : !IsValidSymbolSide(side)) {
            continue;
        }
        if (TrySize(record, image, grids, side) == 1) {
            return side;
        }
    }
    return 0;
}

int AcceptSize(SymbolRecord& record, const GrayImage& image, SampleGrids& grids, int side)
{
    SampleInterior(record, image, grids);
    const int gridSide = GridSide(side);
    BinarizeGrid(grids.raw, grids.level, gridSide, gridSide, kPassInterior);

    const int index = FindSymbolSizeIndex(side);
    if (index < 0) {
        return 0;
    }
    const SymbolSize& size = kSymbolSizeTable[index];
    record.sizeIndex = index;
    record.regionCount = static_cast<uint32_t>(size.regionCount);
    // Alignment rows inside the symbol: 0, 2, 6 or 10 for 1, 4, 16 or 36 regions.
    const int alignment = AlignmentRows(size);
    record.matrixRows = side - 2 - alignment;
    record.matrixCols = record.matrixRows;
    record.matrixSize = static_cast<uint32_t>(record.matrixRows) * static_cast<uint32_t>(record.matrixCols);
    record.totalCodewords = size.dataCodewords + size.eccCodewords;
    record.dataCapacity = static_cast<uint32_t>(kCodewordDataBytes * record.totalCodewords);
    record.erasureCount = 0;

    ReleaseCodewordBuffers(record);
    const size_t total = static_cast<size_t>(record.totalCodewords);
    record.moduleMatrix = static_cast<uint8_t*>(std::calloc(record.matrixSize, 1));
    record.codewords = static_cast<uint8_t*>(std::calloc(total, 1));
    record.erasures = static_cast<uint16_t*>(std::calloc(total, sizeof(uint16_t)));
    record.data = static_cast<uint8_t*>(std::calloc(record.dataCapacity, 1));
    if (record.moduleMatrix == nullptr || record.codewords == nullptr || record.erasures == nullptr ||
        record.data == nullptr) {
        ReleaseCodewordBuffers(record);
        return 0;
    }
    FillMappingMatrix(record, grids);
    return 1;
}

} // namespace

int EstimateSymbolSize(const SymbolRecord& record, int axis)
{
    double estimate = 0.0;
    if (record.moduleCountHint != 0) {
        estimate = record.moduleCountHint;
    } else {
        const bool horizontal = axis == kAxisHorizontal;
        PointF start{};
        PointF end{};
        TransformApply(start, horizontal ? record.topWalkStart : record.rightWalkStart, record.imageToFrame);
        TransformApply(end, horizontal ? record.topWalkEnd : record.rightWalkEnd, record.imageToFrame);
        const double length = horizontal ? double{end.x} - start.x : double{end.y} - start.y;
        if (!(std::fabs(length) >= kZeroStretch)) {
            return kNoSizeEstimate;
        }
        estimate = kStretchFrameUnits / length;
    }
    double half = estimate * 0.5 + 0.5;
    if (half > kMaxHalfEstimate) {
        half = kMaxHalfEstimate;
    } else if (half < -kMaxHalfEstimate) {
        half = -kMaxHalfEstimate;
    }
    return 2 * static_cast<int>(half);
}

int SelectSizeAndSample(SymbolRecord& record, const GrayImage& image, SampleGrids& grids)
{
    return SelectSizeAndSampleUpTo(record, image, grids, kLargestFrameEstimate);
}

int SelectSizeAndSampleUpTo(SymbolRecord& record, const GrayImage& image, SampleGrids& grids,
                            int largestFrameEstimate)
{
    const int first = EstimateSymbolSize(record, kAxisHorizontal);
    if (first == kNoSizeEstimate) {
        return 0;
    }
    int side = 0;
    if (record.moduleCountHint != 0) {
        if (!IsValidSymbolSide(first)) {
            return 0;
        }
        side = RunTrialSeries(record, image, grids, first, true);
    } else {
        if (first > largestFrameEstimate) {
            return 0;
        }
        side = RunTrialSeries(record, image, grids, first, false);
        if (side == 0) {
            int second = EstimateSymbolSize(record, kAxisVertical);
            if (second == kNoSizeEstimate) {
                return 0;
            }
            // A vertical estimate close to the horizontal one adds nothing: try twice the size.
            if (second <= first + 6) {
                second = 2 * first;
            }
            if (second > kSampleGridSide) {
                return 0;
            }
            side = RunTrialSeries(record, image, grids, second, false);
        }
    }
    if (side == 0) {
        return 0;
    }
    return AcceptSize(record, image, grids, side);
}

int SelectSmallSizeAndSample(SymbolRecord& record, const GrayImage& image, SampleGrids& grids,
                             int largestEstimate)
{
    const int first = EstimateSymbolSize(record, kAxisHorizontal);
    if (record.moduleCountHint != 0 || first == kNoSizeEstimate || first > largestEstimate) {
        return 0;
    }
    const int side = RunTrialSeries(record, image, grids, first, false);
    return side == 0 ? 0 : AcceptSize(record, image, grids, side);
}

void SampleBorderRing(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids)
{
    SampleModules(record, image, grids, true);
}

void SampleInterior(const SymbolRecord& record, const GrayImage& image, SampleGrids& grids)
{
    SampleModules(record, image, grids, false);
}

void BinarizeGrid(const SampleGrid& raw, SampleGrid& level, int height, int width, int pass)
{
    if (height > kSampleGridSide || width > kSampleGridSide || height < kWindowSide || width < kWindowSide) {
        return;
    }
    const int top = kMargin;
    const int bottom = height - 1 - kMargin;
    const int left = kMargin;
    const int right = width - 1 - kMargin;
    if (pass == kPassBorderRing) {
        BinarizeCells(raw, level, width, top, top + 1, left, right + 1);
        BinarizeCells(raw, level, width, bottom, bottom + 1, left, right + 1);
        BinarizeCells(raw, level, width, top + 1, bottom, left, left + 1);
        BinarizeCells(raw, level, width, top + 1, bottom, right, right + 1);
        return;
    }
    BinarizeCells(raw, level, width, top + 1, bottom, left + 1, right);
}

int CheckFinderAndClock(SymbolRecord& record, const SampleGrids& grids)
{
    const int side = record.matrixRows + 2;
    if (!GridFits(side)) {
        return 0;
    }
    return CheckRingLines(record, grids, side, [](RingLine, int) {});
}

void FillMappingMatrix(SymbolRecord& record, const SampleGrids& grids)
{
    if (record.moduleMatrix == nullptr || record.sizeIndex < 0 || record.sizeIndex >= kSymbolSizeCount) {
        return;
    }
    const int regionSide = kSymbolSizeTable[record.sizeIndex].regionSide;
    const int alignment = AlignmentRows(kSymbolSizeTable[record.sizeIndex]);
    const int inner = record.matrixRows + alignment; // module rows between finder and clock
    const int side = inner + 2;
    if (regionSide <= 0 || !GridFits(side)) {
        return;
    }
    const int period = regionSide + 2;
    int r = 0;
    for (int i = 0; i < inner && r < record.matrixRows; ++i) {
        if (i % period >= regionSide) {
            continue; // the clock row of one region or the finder row of the next
        }
        int c = 0;
        for (int k = 0; k < inner && c < record.matrixCols; ++k) {
            if (k % period >= regionSide) {
                continue;
            }
            const int v = LevelAt(grids, side, k + 1, inner - i);
            uint8_t flags = kModuleSampled;
            if (v < 0) {
                flags |= kModuleErased;
            }
            // Under either sense an erased module (-1) reads as the shade of the finder.
            const double ink = record.inkSense == 1 ? 1.0 - v / 255.0 : v / 255.0;
            if (ink < 0.5) {
                flags |= kModuleLight;
            }
            record.moduleMatrix[r * record.matrixCols + c] = flags;
            ++c;
        }
        ++r;
    }
}

} // namespace norvale
