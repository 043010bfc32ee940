// Search driver: lays the scan grid, collects finder candidates, ranks them and runs each chosen
// one through frame fitting, sampling, correction and decoding, in two passes.
#include "decoder/search_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "decoder/base/line_geometry.h"
#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/evaluation_chain.h"
#include "decoder/line_probes.h"
#include "decoder/location/crossing_log.h"
#include "decoder/location/edge_marks.h"
#include "decoder/location/line_crossings.h"
#include "decoder/location/scan_line_edges.h"
#include "decoder/stage_clock.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

// Corners closer than this (pixels, each axis) belong to the same finder.
constexpr float kTwinDistance = 2.0f;
// Once a candidate has been examined, at most this many more measurements of its finder corner
// are evaluated in the pass: they re-read the same symbol, and a hopeless one never gets better.
constexpr int32_t kMaxTwinLooks = 4;
// A failed region-border scan silences later candidates this close (pixels, each coordinate).
constexpr float kSuppressDistance = 6.0f;

int CompareForSort(const void* a, const void* b)
{
    return CompareEdgeBalance(*static_cast<const SymbolRecord*>(a), *static_cast<const SymbolRecord*>(b));
}

void SortCandidates(DecoderContext& context)
{
    std::qsort(context.symbols, static_cast<size_t>(context.symbolCount), sizeof(SymbolRecord),
               CompareForSort);
}

// The first examined entry whose corner lies within 2 pixels of the candidate's, or null.
const SymbolRecord* FindExaminedTwin(const DecoderContext& context, const SymbolRecord& candidate)
{
    for (int32_t i = 0; i < context.examinedCount; ++i) {
        if (CloseCorners(candidate.corner, context.symbols[i].corner, kTwinDistance)) {
            return &context.symbols[i];
        }
    }
    return nullptr;
}

constexpr ChainOptions kFirstPassChain{true, true, WalkEstimateCheck::kBothAxes, true, true};
constexpr ChainOptions kSecondPassChain{false, true, WalkEstimateCheck::kVerticalOnly, true, true};

// When the call stops at its first symbol, a finder with legs this long and this close to each
// other is evaluated as soon as the scan finds it: a clean symbol then ends the search before the
// rest of the grid is traced. A few such looks per search at most.
constexpr float kEarlyLookLegs = 30.0f;
constexpr float kEarlyLookImbalance = 0.15f; // of the longer leg
constexpr int32_t kMaxEarlyLooks = 2;

bool IsClearFinder(const SymbolRecord& candidate)
{
    const float longer = std::max(candidate.xLegLength, candidate.yLegLength);
    const float shorter = std::min(candidate.xLegLength, candidate.yLegLength);
    return shorter >= kEarlyLookLegs && longer - shorter <= kEarlyLookImbalance * longer;
}

// Evaluates the table's entry at once. When it decodes it becomes the table's only entry. When
// not, the lists the chain fills are put back as they were, so that the pass goes on as without
// the look; only the frame memos keep what was measured.
bool DecodesEarly(DecoderContext& context, int32_t index)
{
    RememberedCandidates lists;
    RememberCandidates(context, lists);
    const int32_t closerLooks = context.closerLookCount;
    const WalkStats walkStats = context.topWalkStats;
    SymbolRecord candidate = context.symbols[index];
    const CandidateVerdict verdict = EvaluateCandidate(context, candidate, kFirstPassChain);
    if (IsFitted(verdict.frame) && verdict.sample == kCorrected) {
        // The other entries were only collected: they own no buffers.
        context.symbols[0] = candidate;
        context.symbolCount = 1;
        context.examinedCount = 1;
        context.decodedCount = 1;
        return true;
    }
    // Whatever the chain left in the copy (grid lines of a fitted frame that sampled nothing,
    // codeword buffers of a failed correction) is its own.
    ReleaseSymbolBuffers(candidate);
    PutBackCandidateLists(context, lists);
    context.closerLookCount = closerLooks;
    context.topWalkStats = walkStats;
    return false;
}

void SetTracedPass(DecoderContext& context, int pass)
{
    if (context.trace != nullptr) {
        context.trace->pass = pass;
    }
}

// What one search's scan keeps across its lines: the edges traced so far in the present pass
// (null when there was no memory for them: every crossing is then traced), the early looks
// taken, and the crossing log of a first pass whose plane has the source plane's pixels (null
// for any other, and when there was no memory for it).
struct GridScan
{
    EdgeMarks* edges;
    int32_t earlyLooks;
    bool planesCompared;
    CrossingLog* log;
};

// Once, at the first line of the first pass: a plane with the source plane's pixels (a picture
// the median filter leaves as it is) traces every crossing of the second pass the same way, so
// the first pass logs its crossings.
void StartCrossingLog(GridScan& scan, const GrayImage& image)
{
    if (scan.planesCompared) {
        return;
    }
    scan.planesCompared = true;
    const size_t bytes = size_t{image.width} * image.height;
    if (image.current == nullptr || image.source == nullptr ||
        (image.current != image.source && std::memcmp(image.current, image.source, bytes) != 0)) {
        return;
    }
    scan.log = static_cast<CrossingLog*>(std::malloc(sizeof(CrossingLog)));
    if (scan.log != nullptr) {
        InitCrossingLog(*scan.log);
    }
}

// Clears the marks for a pass over the grid's lines.
void StartEdgeMarks(GridScan& scan, const ScanGridLayout& grid)
{
    if (scan.edges != nullptr) {
        InitEdgeMarks(*scan.edges, grid.xStep, grid.yStep, grid.columnCount, grid.rowCount);
    }
}

// Probes half-spans from `cursor` on until the table is full or the grid is done; the plane of
// the pass is chosen before every line. Returns the records added. In the first pass
// (`filtered`), when the call stops at its first symbol, -1 once a clear finder decoded early.
int32_t ScanGrid(DecoderContext& context, const ScanGridLayout& grid, int32_t& cursor, bool filtered,
                 GridScan& scan)
{
    int32_t total = 0;
    for (; cursor < HalfSpanCount(grid) && total < kMaxSymbolRecords && !PastDeadline(context); ++cursor) {
        if (filtered) {
            StageScope stage(context.clock, Stage::kPlanes);
            UseFilteredPlane(context.image); // without a median plane the current one is kept
            StartCrossingLog(scan, context.image);
        } else {
            UseSourcePlane(context.image);
        }
        const int32_t before = context.symbolCount;
        {
            StageScope stage(context.clock, Stage::kLocation);
            const LineSpan span = HalfSpanAt(grid, cursor);
            total += ProbeScanLine(context, span.direction, span.lineCoord, span.start, span.length,
                                   scan.edges, scan.log);
        }
        if (!filtered || (context.flags & kFlagStopAtFirst) == 0) {
            continue;
        }
        for (int32_t i = before; i < context.symbolCount && scan.earlyLooks < kMaxEarlyLooks; ++i) {
            if (IsClearFinder(context.symbols[i])) {
                scan.earlyLooks += 1;
                if (DecodesEarly(context, i)) {
                    ++cursor;
                    return -1;
                }
            }
        }
    }
    return total;
}

// Keeps the context's corners and walk figures in `kept` and marks them as not yet written, so
// that a step run next shows what it wrote: a published corner and a walk's grey levels are never
// NaN.
void MarkUnwritten(DecoderContext& context, LeftBehind& kept)
{
    std::memcpy(kept.corners, context.corners, sizeof kept.corners);
    kept.topWalkStats = context.topWalkStats;
    const float unwritten = std::numeric_limits<float>::quiet_NaN();
    for (PointF& corner : context.corners) {
        corner = PointF{unwritten, unwritten};
    }
    context.topWalkStats = WalkStats{unwritten, unwritten, unwritten};
}

bool IsUnwritten(float value)
{
    return std::isnan(value);
}

// What the step wrote since MarkUnwritten goes to `left`; the context gets back what it held.
void TakeWritten(DecoderContext& context, const LeftBehind& kept, LeftBehind& left)
{
    left.published = !IsUnwritten(context.corners[0].x);
    std::memcpy(left.corners, context.corners, sizeof left.corners);
    left.walked = !IsUnwritten(context.topWalkStats.minimum);
    left.topWalkStats = context.topWalkStats;
    std::memcpy(context.corners, kept.corners, sizeof context.corners);
    context.topWalkStats = kept.topWalkStats;
}

void PutInPlace(DecoderContext& context, const LeftBehind& left)
{
    if (left.published) {
        std::memcpy(context.corners, left.corners, sizeof context.corners);
    }
    if (left.walked) {
        context.topWalkStats = left.topWalkStats;
    }
}

// Runs a step that may decode, with the corners and walk figures marked as not yet written. What
// it writes goes to `left` and the context keeps what it held, unless the step decodes: then the
// context keeps what it wrote.
template <typename Step> int32_t RunAside(DecoderContext& context, LeftBehind& left, Step step)
{
    LeftBehind kept;
    MarkUnwritten(context, kept);
    const int32_t found = step();
    TakeWritten(context, kept, left);
    if (found > 0) {
        PutInPlace(context, left);
    }
    return found;
}

// Runs the interim search with the context of the search around it put aside, and puts that
// back when the interim search decodes nothing. Without memory to put it aside, the interim search
// does not run here (the caller then runs it in its old place).
int32_t RunInterimSearch(DecoderContext& context, InterimSearch& interim)
{
    auto* kept = static_cast<DecoderContext*>(std::malloc(sizeof(DecoderContext)));
    if (kept == nullptr) {
        return 0;
    }
    std::memcpy(static_cast<void*>(kept), &context, sizeof context);
    const int32_t found = RunAside(context, interim.left, [&] { return interim.run(context); });
    interim.ran = true;
    if (found > 0) {
        std::free(kept);
        return found;
    }
    interim.searched = found != kNoCopyToSearch;
    // A search that decoded nothing leaves no buffers in the table: the context goes back whole.
    std::memcpy(static_cast<void*>(&context), kept, sizeof context);
    std::free(kept);
    return 0;
}

// Both passes over the grid, with the interim search between them, then the closer looks;
// returns the symbols decoded.
int32_t SearchGrid(DecoderContext& context, const ScanGridLayout& grid, GridScan& scan,
                   InterimSearch* interim)
{
    // A pass evaluates its first 20 candidates. When none of them decodes and the grid was not
    // finished (a cluttered picture fills the table before the scan reaches the symbol), the
    // scan resumes where it stopped with an empty table.
    int32_t cursor = 0;
    while (cursor < HalfSpanCount(grid) && !PastDeadline(context)) {
        SetTracedPass(context, 1);
        const int32_t added = ScanGrid(context, grid, cursor, true, scan);
        if (added < 0) {
            return 1;
        }
        if (added > 0) {
            const int32_t decoded = EvaluateFirstPass(context);
            if (decoded != 0) {
                return decoded;
            }
        }
        context.symbolCount = 0;
    }

    // The closer looks at the first pass's candidates come before the second pass, whose
    // candidates a curved or warped symbol rarely needs: one that only a closer look reads is
    // then read without it. Whatever those looks leave is put in place after the second pass,
    // where they used to run.
    const int32_t firstLooks = context.closerLookCount;
    LeftBehind earlyLooks{};
    if (firstLooks > 0 && !PastDeadline(context)) {
        SetTracedPass(context, kCloserLookPass);
        if (RunAside(context, earlyLooks, [&] { return TakeCloserLooks(context, 0); }) > 0) {
            context.symbolCount = 1;
            return 1;
        }
    }
    if (interim != nullptr && !PastDeadline(context)) {
        StageScope stage(context.clock, Stage::kFallbacks);
        const int32_t found = RunInterimSearch(context, *interim);
        if (found > 0) {
            return found;
        }
    }
    ClearRetryCandidates(context);
    context.symbolCount = 0;
    cursor = 0;
    StartEdgeMarks(scan, grid); // the source plane shows its own edges
    if (scan.log != nullptr) {
        scan.log->mode = CrossingLogMode::kReplay;
    }
    int32_t decoded = 0;
    while (decoded == 0 && cursor < HalfSpanCount(grid) && !PastDeadline(context)) {
        context.symbolCount = 0;
        SetTracedPass(context, 2);
        decoded = ScanGrid(context, grid, cursor, false, scan) > 0 ? EvaluateSecondPass(context) : 0;
    }
    if (decoded == 0) {
        PutInPlace(context, earlyLooks);
        SetTracedPass(context, kCloserLookPass);
        decoded = TakeCloserLooks(context, firstLooks);
    }
    context.symbolCount = decoded;
    return decoded;
}

enum TailResult { kTailNext, kTailStop };

// Files an evaluated candidate in the table (or in the retry and rejected lists) by its outcome.
TailResult FileOutcome(DecoderContext& context, SymbolRecord& candidate, SampleOutcome outcome)
{
    if (outcome == kSizeRejected) {
        RememberRejected(context, candidate);
        return kTailNext;
    }
    if (outcome == kCorrectionFailed) {
        ReleaseSymbolBuffers(candidate);
        context.symbols[context.examinedCount] = candidate;
        context.examinedCount += 1;
        return kTailNext;
    }
    // The entry written here is either the visited one or an earlier one: a decoded entry never
    // overwrites a record that still owns buffers.
    context.symbols[context.decodedCount] = candidate;
    context.decodedCount += 1;
    context.examinedCount += 1;
    return (context.flags & kFlagStopAtFirst) != 0 ? kTailStop : kTailNext;
}

// A candidate blank beside its finder silences the later candidates of the table whose corner
// and y-leg end lie this close to its own.
void SuppressNeighbours(DecoderContext& context, int32_t from, const SymbolRecord& blank)
{
    for (int32_t b = from; b < context.symbolCount; ++b) {
        SymbolRecord& later = context.symbols[b];
        if (std::fabs(later.corner.x - blank.corner.x) < kSuppressDistance &&
            std::fabs(later.corner.y - blank.corner.y) < kSuppressDistance &&
            std::fabs(later.yLegEnd.x - blank.yLegEnd.x) < kSuppressDistance &&
            std::fabs(later.yLegEnd.y - blank.yLegEnd.y) < kSuppressDistance) {
            later.status = kStatusSkip;
        }
    }
}

} // namespace

ScanGridLayout LayOutScanGrid(const GrayImage& image, int xDivisions, int yDivisions)
{
    ScanGridLayout grid{};
    grid.width = static_cast<int32_t>(image.width);
    grid.height = static_cast<int32_t>(image.height);
    grid.xStep = xDivisions > 0 ? Nearest(static_cast<double>(image.width) / xDivisions) : 0;
    grid.yStep = yDivisions > 0 ? Nearest(static_cast<double>(image.height) / yDivisions) : 0;
    grid.columnCount = grid.xStep > 0 && grid.xStep < grid.width ? (grid.width - 1) / grid.xStep : 0;
    grid.rowCount = grid.yStep > 0 ? (grid.height - 1) / grid.yStep : 0;
    return grid;
}

int32_t HalfSpanCount(const ScanGridLayout& grid)
{
    return 2 * (grid.columnCount + grid.rowCount);
}

// The half-span of the given scan-order number.
LineSpan HalfSpanAt(const ScanGridLayout& grid, int32_t index)
{
    const int32_t line = index / 2;
    const bool secondHalf = index % 2 == 1;
    if (line < grid.columnCount) {
        const int32_t half = grid.height / 2;
        return LineSpan{kScanDown, (line + 1) * grid.xStep, secondHalf ? half : 0,
                        secondHalf ? grid.height - half : half};
    }
    const int32_t half = grid.width / 2;
    return LineSpan{kScanRight, (line - grid.columnCount + 1) * grid.yStep, secondHalf ? half : 0,
                    secondHalf ? grid.width - half : half};
}

int CompareEdgeBalance(const SymbolRecord& a, const SymbolRecord& b)
{
    const float da = std::fabs(a.yLegLength - a.xLegLength);
    const float db = std::fabs(b.yLegLength - b.xLegLength);
    if (da < db) {
        return -1;
    }
    return da > db ? 1 : 0;
}

int32_t EvaluateFirstPass(DecoderContext& context)
{
    context.examinedCount = 0;
    context.decodedCount = 0;
    SortCandidates(context);
    int32_t twinLooks = 0;
    for (int32_t a = 0; a < context.symbolCount; ++a) {
        if (PastDeadline(context)) {
            break;
        }
        SymbolRecord candidate = context.symbols[a];
        if (context.examinedCount > 0 && FindExaminedTwin(context, candidate) == nullptr) {
            continue;
        }
        if (context.examinedCount > 0 && ++twinLooks > kMaxTwinLooks) {
            break;
        }
        const CandidateVerdict verdict = EvaluateCandidate(context, candidate, kFirstPassChain);
        if (verdict.frame == FrameOutcome::kNoPlane) {
            return 0;
        }
        if (!IsFitted(verdict.frame)) {
            continue;
        }
        if (FileOutcome(context, candidate, verdict.sample) == kTailStop) {
            break;
        }
    }
    return context.decodedCount;
}

int32_t EvaluateSecondPass(DecoderContext& context)
{
    context.examinedCount = 0;
    context.decodedCount = 0;
    SortCandidates(context);
    int32_t twinLooks = 0;
    for (int32_t a = 0; a < context.symbolCount; ++a) {
        SymbolRecord candidate = context.symbols[a];
        if (candidate.status == kStatusSkip || PastDeadline(context)) {
            continue;
        }
        const SymbolRecord* twin = FindExaminedTwin(context, candidate);
        if (twin != nullptr) {
            candidate.moduleCountHint = twin->moduleCountHint;
        } else if (context.examinedCount > 0) {
            continue;
        }
        if (context.examinedCount > 0 && ++twinLooks > kMaxTwinLooks) {
            break;
        }
        const CandidateVerdict verdict = EvaluateCandidate(context, candidate, kSecondPassChain);
        if (verdict.frame == FrameOutcome::kBlank) {
            SuppressNeighbours(context, a + 1, candidate);
            continue;
        }
        if (!IsFitted(verdict.frame)) {
            continue;
        }
        if (FileOutcome(context, candidate, verdict.sample) == kTailStop) {
            break;
        }
    }
    return context.decodedCount;
}

void ApplyInterimFailure(DecoderContext& context, const InterimSearch& interim)
{
    if (interim.searched) {
        ForgetTable(context);
    }
    PutInPlace(context, interim.left);
}

int32_t SearchSymbols(DecoderContext& context, int xDivisions, int yDivisions, InterimSearch* interim)
{
    context.image.scale = 2;
    context.frameMemoCount = 0;
    context.walkMemoCount = 0;
    context.closerLookCount = 0;
    const ScanGridLayout grid = LayOutScanGrid(context.image, xDivisions, yDivisions);

    GridScan scan{};
    scan.edges = static_cast<EdgeMarks*>(std::malloc(sizeof(EdgeMarks)));
    StartEdgeMarks(scan, grid);
    const int32_t decoded = SearchGrid(context, grid, scan, interim);
    std::free(scan.log);
    std::free(scan.edges);
    return decoded;
}

int32_t SearchPictureCopy(DecoderContext& context, uint8_t* plane, uint32_t width, uint32_t height,
                          TracedSearch kind)
{
    GrayImage& image = context.image;
    RememberedCandidates lists;
    RememberCandidates(context, lists);
    const GrayImage original = image;
    InitGrayImage(image);
    AdoptSourcePlane(image, plane, width, height);
    ForgetCandidates(context);
    const TracedSearch traced = context.trace != nullptr ? context.trace->search : TracedSearch::kPicture;
    if (context.trace != nullptr) {
        context.trace->search = kind;
    }
    const int32_t decoded = SearchSymbols(context, kScanDivisions, kScanDivisions);
    if (context.trace != nullptr) {
        context.trace->search = traced;
    }
    FreeGrayImage(image);
    image = original;
    if (decoded <= 0) {
        RestoreCandidates(context, lists);
    }
    return decoded;
}

} // namespace norvale
