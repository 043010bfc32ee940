// Evaluation chain: frame fitting, size selection and sampling, placement, correction and data
// decoding of one finder candidate, shared by both search passes and the retry probe.
#include "decoder/evaluation_chain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "decoder/base/symbol_frame.h"
#include "decoder/base/symbol_sizes.h"
#include "decoder/chain_trace.h"
#include "decoder/codewords/codeword_placement.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/codewords/reed_solomon.h"
#include "decoder/decoder_context.h"
#include "decoder/grid/border_walk.h"
#include "decoder/grid/clock_evidence.h"
#include "decoder/grid/clock_tracks.h"
#include "decoder/grid/region_border_scan.h"
#include "decoder/sampling/module_sampling.h"
#include "decoder/stage_clock.h"

namespace norvale {

namespace {

// Estimates above the sample grid's side cannot be sampled, so they are no symbol.
constexpr int kMaxEstimatedModules = kSampleGridSide;
// The retry probe allows the quiet-zone rings on top of the largest side.
constexpr int kEstimateAllowance = 6;
// Walk estimates up to this give trial sides up to 30, of which only the single-region sides
// exist: no symbol that the region-border scan could grid.
constexpr int kSmallWalkEstimate = 24;
static_assert(kSmallWalkEstimate + kLargestTrialOffset < kSmallestMultiRegionSide,
              "the quick look stays below the region-border scan");
// First-row counts of the two planes agree within this many changes or a fifth of the larger.
constexpr int32_t kPlaneAgreementChanges = 2;
constexpr int32_t kPlaneAgreementShare = 5;

WalkKey MakeWalkKey(const GrayImage& image, const SymbolRecord& candidate, bool top)
{
    WalkKey key{}; // no padding: every byte is one of the fields below
    key.plane = image.current;
    key.width = image.width;
    key.height = image.height;
    const PointF points[3] = {candidate.corner, candidate.yLegEnd, candidate.xLegEnd};
    int k = 0;
    for (const float m : candidate.frameToImage.m) {
        key.values[k++] = m;
    }
    for (const PointF& p : points) {
        key.values[k++] = p.x;
        key.values[k++] = p.y;
    }
    key.values[k++] = candidate.contrast.contrastReference;
    key.values[k++] = candidate.contrast.contrastSign;
    key.values[k++] = candidate.contrast.inkThreshold;
    key.inkSense = top ? 0 : candidate.inkSense;
    key.side = top ? 0 : 1;
    return key;
}

const BorderWalk* FindWalkMemo(const DecoderContext& context, const WalkKey& key)
{
    for (int32_t i = 0; i < context.walkMemoCount; ++i) {
        if (std::memcmp(&context.walkMemos[i].key, &key, sizeof key) == 0) {
            return &context.walkMemos[i].walk;
        }
    }
    return nullptr;
}

// The walk of one border of the candidate. With memos, a walk of this search that read exactly
// the same gives its outcome instead of a new walk, and a new walk is remembered while there is
// room; the picture must then stay as it is for the whole search.
int WalkOneBorder(DecoderContext& context, SymbolRecord& candidate, bool top, bool useMemos)
{
    const WalkKey key = useMemos ? MakeWalkKey(context.image, candidate, top) : WalkKey{};
    const BorderWalk* known = useMemos ? FindWalkMemo(context, key) : nullptr;
    BorderWalk walk{};
    if (known != nullptr) {
        walk = *known;
    } else {
        walk = top ? MeasureTopBorderWalk(candidate, context.image)
                   : MeasureRightBorderWalk(candidate, context.image);
        if (useMemos && context.walkMemoCount < kMaxWalkMemos) {
            context.walkMemos[context.walkMemoCount] = WalkMemo{key, walk};
            context.walkMemoCount += 1;
        }
    }
    return top ? ApplyTopBorderWalk(candidate, walk, &context.topWalkStats)
               : ApplyRightBorderWalk(candidate, walk);
}

bool WalkBothBorders(DecoderContext& context, SymbolRecord& candidate, WalkEstimateCheck check, bool useMemos)
{
    if (WalkOneBorder(context, candidate, true, useMemos) == 0) {
        return false;
    }
    if (check == WalkEstimateCheck::kBothAxes &&
        EstimateSymbolSize(candidate, kAxisHorizontal) > kMaxEstimatedModules) {
        return false;
    }
    if (WalkOneBorder(context, candidate, false, useMemos) == 0) {
        return false;
    }
    switch (check) {
    case WalkEstimateCheck::kBothAxes:
    case WalkEstimateCheck::kVerticalOnly:
        return EstimateSymbolSize(candidate, kAxisVertical) <= kMaxEstimatedModules;
    case WalkEstimateCheck::kHorizontalProbe:
        return EstimateSymbolSize(candidate, kAxisHorizontal) - kEstimateAllowance <= kLargestSymbolSide;
    case WalkEstimateCheck::kNone:
        break;
    }
    return true;
}

// `walked` becomes `unfitted` with its outline walked afresh, without its size hint: false when
// either walk fails.
bool WalkAfresh(DecoderContext& context, SymbolRecord& walked, const SymbolRecord& unfitted, bool useMemos)
{
    walked = unfitted;
    walked.moduleCountHint = 0;
    walked.status = 0;
    return WalkBothBorders(context, walked, WalkEstimateCheck::kNone, useMemos);
}

// The better of the candidate's outcome and a trial's: the candidate becomes the trial when the
// trial got further, and the loser's buffers are released.
SampleOutcome KeepBetter(SymbolRecord& candidate, SampleOutcome outcome, SymbolRecord& trial,
                         SampleOutcome trialOutcome)
{
    if (trialOutcome <= outcome) {
        ReleaseSymbolBuffers(trial);
        return outcome;
    }
    ReleaseSymbolBuffers(candidate);
    candidate = trial;
    return trialOutcome;
}

SampleOutcome SampleAndCorrect(DecoderContext& context, SymbolRecord& candidate)
{
    {
        StageScope stage(context.clock, Stage::kSampling);
        if (SelectSizeAndSample(candidate, context.image, context.grids) != 1) {
            return kSizeRejected;
        }
    }
    return PlaceAndCorrect(context, candidate);
}

// A second look at a candidate that did not decode from the source plane: the same fitted frame
// sampled on the median plane, which removes isolated noise pixels that a module-centre sample
// would otherwise take for the module. (The source plane stays first: the median filter erodes
// modules of two pixels and less.)
SampleOutcome SampleOnMedianPlane(DecoderContext& context, SymbolRecord& candidate,
                                  const SymbolRecord& fitted)
{
    ReleaseCodewordBuffers(candidate);
    // The fitted record holds no codeword buffers yet, and shares the grid lines that sampling
    // only reads.
    candidate = fitted;
    uint8_t* const plane = context.image.current;
    context.image.current = context.image.median;
    const SampleOutcome outcome = SampleAndCorrect(context, candidate);
    context.image.current = plane;
    return outcome;
}

// A large symbol whose region borders gave no decodable grid (a strong perspective bends the
// scans away from the region borders), or whose frame estimate is beyond what frame sampling
// normally takes: the outline walks fit the frame's tapers, and the symbol is sampled from the
// frame at any size.
SampleOutcome SampleLargeFromWalks(DecoderContext& context, SymbolRecord& candidate,
                                   const SymbolRecord& unfitted, bool viaRegionBorders, SampleOutcome outcome,
                                   bool useMemos)
{
    SymbolRecord walked;
    if (!WalkAfresh(context, walked, unfitted, useMemos)) {
        return outcome;
    }
    const int estimate = EstimateSymbolSize(walked, kAxisHorizontal);
    if (estimate <= 0 || estimate > kLargestSymbolSide ||
        (!viaRegionBorders && estimate <= kLargestFrameEstimate)) {
        return outcome;
    }
    SampleOutcome second = kSizeRejected;
    if (SelectSizeAndSampleUpTo(walked, context.image, context.grids, kLargestSymbolSide) == 1) {
        second = PlaceAndCorrect(context, walked);
    }
    return KeepBetter(candidate, outcome, walked, second);
}

bool Near(PointF a, PointF b)
{
    return std::fabs(a.x - b.x) <= kSameMeasurement && std::fabs(a.y - b.y) <= kSameMeasurement;
}

bool SameMeasurement(const SymbolRecord& a, const SymbolRecord& b)
{
    return Near(a.corner, b.corner) && Near(a.yLegEnd, b.yLegEnd) && Near(a.xLegEnd, b.xLegEnd);
}

// Keeps a candidate that was sampled without success for the closer looks, once per measurement
// and while there is room.
void KeepForCloserLook(DecoderContext& context, const SymbolRecord& unfitted)
{
    if (context.closerLookCount >= kMaxCloserLooks) {
        return;
    }
    for (int32_t i = 0; i < context.closerLookCount; ++i) {
        if (SameMeasurement(context.closerLooks[i], unfitted)) {
            return;
        }
    }
    context.closerLooks[context.closerLookCount] = unfitted;
    context.closerLookCount += 1;
}

// A candidate whose modules no single frame places (a label on a curved surface, uneven
// printing, a size the walks misjudged): the walk-fitted frame's clock tracks are read module by
// module and the symbol is sampled along the grid lines laid through them.
SampleOutcome SampleAlongClockTracks(DecoderContext& context, SymbolRecord& candidate,
                                     const SymbolRecord& unfitted, bool& laid)
{
    SymbolRecord tracked;
    // The closer looks come at the end of a search, on its unchanged picture: its walks stand.
    laid = WalkAfresh(context, tracked, unfitted, true) && LayClockTrackGrid(tracked, context.image) != 0;
    if (!laid) {
        return kSizeRejected;
    }
    SampleOutcome second = kSizeRejected;
    if (SelectSizeAndSample(tracked, context.image, context.grids) == 1) {
        second = PlaceAndCorrect(context, tracked);
    }
    return KeepBetter(candidate, kSizeRejected, tracked, second);
}

FrameMemo* FindFrameMemo(DecoderContext& context, const SymbolRecord& candidate, bool onMedian)
{
    for (int32_t i = 0; i < context.frameMemoCount; ++i) {
        FrameMemo& memo = context.frameMemos[i];
        if ((memo.onMedian != 0) == onMedian && memo.hintIn == candidate.moduleCountHint &&
            Near(memo.corner, candidate.corner) && Near(memo.yLegEnd, candidate.yLegEnd) &&
            Near(memo.xLegEnd, candidate.xLegEnd)) {
            return &memo;
        }
    }
    return nullptr;
}

// Remembers a region-border scan, while there is room; null when the table is full.
FrameMemo* AddFrameMemo(DecoderContext& context, const SymbolRecord& before, const SymbolRecord& after,
                        bool onMedian, uint8_t verdict)
{
    if (context.frameMemoCount >= kMaxFrameMemos) {
        return nullptr;
    }
    FrameMemo& memo = context.frameMemos[context.frameMemoCount];
    memo.corner = before.corner;
    memo.yLegEnd = before.yLegEnd;
    memo.xLegEnd = before.xLegEnd;
    memo.hintIn = before.moduleCountHint;
    memo.onMedian = onMedian ? 1 : 0;
    memo.verdict = verdict;
    memo.hintOut = after.moduleCountHint;
    memo.gridOutcome = -1;
    memo.largeLookDone = 0;
    memo.firstRowChanges = -1;
    context.frameMemoCount += 1;
    return &memo;
}

// Two counts of the same scan row on the two planes tell the same story: the median filter took
// nothing away at the scale of the symbol's modules.
bool PlanesAgree(int32_t a, int32_t b)
{
    const int32_t larger = a > b ? a : b;
    const int32_t difference = a > b ? a - b : b - a;
    return a >= 0 && b >= 0 && difference <= std::max(kPlaneAgreementChanges, larger / kPlaneAgreementShare);
}

// On the source plane, the verdict of the median plane's scan of an equal measurement, when the
// first scan row reads the same on both planes; the verdict is remembered for this plane too.
const FrameMemo* AdoptMedianMemo(DecoderContext& context, const SymbolRecord& candidate)
{
    const FrameMemo* median = FindFrameMemo(context, candidate, true);
    if (median == nullptr || (median->verdict == kMemoGrid && median->gridOutcome < 0) ||
        !PlanesAgree(CountFirstRowChanges(candidate, context.image), median->firstRowChanges)) {
        return nullptr;
    }
    if (context.frameMemoCount >= kMaxFrameMemos) {
        return nullptr;
    }
    FrameMemo& copy = context.frameMemos[context.frameMemoCount];
    copy = *median;
    copy.onMedian = 0;
    context.frameMemoCount += 1;
    return &copy;
}

// The region-border scan of a candidate, or the verdict of an equal measurement's scan. A repeated
// grid is not rebuilt: the candidate only takes its module count.
FrameOutcome ScanRegionBorders(DecoderContext& context, SymbolRecord& candidate, const ChainOptions& options)
{
    const bool onMedian = options.regionScanOnMedian;
    const bool remember = options.useMemos && RegionScanApplies(candidate);
    if (remember) {
        const FrameMemo* memo = FindFrameMemo(context, candidate, onMedian);
        if (memo == nullptr && !onMedian) {
            memo = AdoptMedianMemo(context, candidate);
        }
        // A grid whose sampling never finished (a plane switch failed) is scanned again.
        if (memo != nullptr && (memo->verdict != kMemoGrid || memo->gridOutcome >= 0)) {
            switch (memo->verdict) {
            case kMemoGrid:
                candidate.moduleCountHint = memo->hintOut;
                // An equal measurement that decoded is the same symbol: nothing new to find.
                return memo->gridOutcome == kCorrected ? FrameOutcome::kFailed : FrameOutcome::kRepeatedGrid;
            case kMemoBlank:
                candidate.status = kStatusSkip;
                candidate.moduleCountHint = 0;
                return FrameOutcome::kFailed;
            default:
                candidate.moduleCountHint = 0;
                return FrameOutcome::kFailed;
            }
        }
    }
    const SymbolRecord before = candidate;
    const bool grid = FindRegionBorders(candidate, context.image) != 0;
    if (remember) {
        const uint8_t verdict =
            grid ? kMemoGrid : (candidate.status == kStatusSkip ? kMemoBlank : kMemoNoGrid);
        FrameMemo* memo = AddFrameMemo(context, before, candidate, onMedian, verdict);
        if (memo != nullptr && onMedian) {
            memo->firstRowChanges = CountFirstRowChanges(before, context.image);
        }
    }
    return grid ? FrameOutcome::kRegionBorders : FrameOutcome::kFailed;
}

// The clock evidence of a candidate as read on one plane, for a later step on the same plane.
struct KnownEvidence
{
    const uint8_t* plane; // null: not read
    bool clocked;
};

bool HasClockEvidenceOnce(const DecoderContext& context, const SymbolRecord& candidate, KnownEvidence& known)
{
    if (known.plane == nullptr || known.plane != context.image.current) { // not read, or on another plane
        known = KnownEvidence{context.image.current, HasClockEvidence(candidate, context.image)};
    }
    return known.clocked;
}

// The quick look at a first-time candidate with long legs: both walks, and sampling from the
// frame when they call the symbol small. True when it decoded; the candidate is then the walked
// record, with its data. Otherwise nothing of it is kept (the published corners included).
bool DecodeSmallFromWalks(DecoderContext& context, SymbolRecord& candidate, const ChainOptions& options,
                          KnownEvidence& evidence)
{
    if (!RegionScanApplies(candidate) ||
        FindFrameMemo(context, candidate, options.regionScanOnMedian) != nullptr) {
        return false;
    }
    if (options.regionScanOnMedian && UseFilteredPlane(context.image) == 0) {
        return false;
    }
    if (!HasClockEvidenceOnce(context, candidate, evidence) ||
        IsBlankBesideFinder(candidate, context.image)) {
        return false;
    }
    if (UseSourcePlane(context.image) == 0) {
        return false;
    }
    SymbolRecord walked = candidate;
    {
        StageScope stage(context.clock, Stage::kFrameFitting);
        if (!WalkBothBorders(context, walked, options.walkCheck, options.useMemos) ||
            EstimateSymbolSize(walked, kAxisHorizontal) > kSmallWalkEstimate) {
            return false;
        }
    }
    PointF corners[4];
    std::memcpy(corners, context.corners, sizeof corners);
    int sampled = 0;
    {
        StageScope stage(context.clock, Stage::kSampling);
        sampled = SelectSmallSizeAndSample(walked, context.image, context.grids, kSmallWalkEstimate);
    }
    if (sampled == 1 && PlaceAndCorrect(context, walked) == kCorrected) {
        StageScope stage(context.clock, Stage::kCorrection);
        DecodeDataCodewords(walked);
        candidate = walked;
        return true;
    }
    ReleaseSymbolBuffers(walked);
    std::memcpy(context.corners, corners, sizeof corners);
    return false;
}

// FitCandidateFrame, with the clock evidence the quick look may have read on the same plane.
FrameOutcome FitFrameKnowing(DecoderContext& context, SymbolRecord& candidate, const ChainOptions& options,
                             KnownEvidence& evidence)
{
    StageScope stage(context.clock, Stage::kFrameFitting);
    if (options.regionScanOnMedian && UseFilteredPlane(context.image) == 0) {
        return FrameOutcome::kNoPlane;
    }
    // Read on the plane the candidate was found on, before anything costs more.
    if (!HasClockEvidenceOnce(context, candidate, evidence)) {
        return options.regionScanOnMedian && UseSourcePlane(context.image) == 0 ? FrameOutcome::kNoPlane
                                                                                : FrameOutcome::kNoEvidence;
    }
    const FrameOutcome scan = ScanRegionBorders(context, candidate, options);
    if (scan != FrameOutcome::kFailed) {
        if (options.regionScanOnMedian && UseSourcePlane(context.image) == 0) {
            ReleaseSymbolBuffers(candidate);
            return FrameOutcome::kNoPlane;
        }
        return scan;
    }
    if (options.blankEndsFit && candidate.status == kStatusSkip) {
        return FrameOutcome::kBlank;
    }
    if (options.regionScanOnMedian && UseSourcePlane(context.image) == 0) {
        return FrameOutcome::kNoPlane;
    }
    return WalkBothBorders(context, candidate, options.walkCheck, options.useMemos) ? FrameOutcome::kWalks
                                                                                    : FrameOutcome::kFailed;
}

} // namespace

FrameOutcome FitCandidateFrame(DecoderContext& context, SymbolRecord& candidate, const ChainOptions& options)
{
    KnownEvidence evidence{nullptr, false};
    return FitFrameKnowing(context, candidate, options, evidence);
}

SampleOutcome PlaceAndCorrect(DecoderContext& context, SymbolRecord& candidate)
{
    StageScope stage(context.clock, Stage::kCorrection);
    PlaceCodewords(candidate);
    FrameCorners(candidate, context.corners);
    if ((context.flags & kFlagDarkOnLightOnly) != 0 && candidate.inkSense < 0) {
        return kCorrectionFailed;
    }
    return CorrectCodewords(candidate) != 0 ? kCorrected : kCorrectionFailed;
}

namespace {

// Size selection and sampling, then placement and correction, of a fitted candidate; with
// `extraLooks`, the second look on the median plane and the walk-fitted large symbol follow a
// failure. `unfitted` is the candidate as collected. The candidate keeps the buffers of the best
// outcome; a corrected candidate has its data decoded.
SampleOutcome EvaluateFittedCandidate(DecoderContext& context, SymbolRecord& candidate,
                                      const SymbolRecord& unfitted, FrameOutcome frame,
                                      const ChainOptions& options)
{
    const bool viaRegionBorders =
        frame == FrameOutcome::kRegionBorders || frame == FrameOutcome::kRepeatedGrid;
    FrameMemo* memo =
        options.useMemos ? FindFrameMemo(context, unfitted, options.regionScanOnMedian) : nullptr;
    SampleOutcome outcome = kSizeRejected;
    if (frame == FrameOutcome::kRepeatedGrid && memo != nullptr) {
        // The same grid samples the same modules: only the walk-fitted look can differ.
        outcome = static_cast<SampleOutcome>(memo->gridOutcome);
    } else {
        const SymbolRecord fitted = candidate;
        outcome = SampleAndCorrect(context, candidate);
        if (options.extraLooks && outcome != kCorrected && context.image.median != nullptr &&
            context.image.current != context.image.median) {
            StageScope stage(context.clock, Stage::kFallbacks);
            const SampleOutcome second = SampleOnMedianPlane(context, candidate, fitted);
            outcome = second > outcome ? second : outcome;
        }
        if (viaRegionBorders && memo != nullptr && memo->verdict == kMemoGrid) {
            memo->gridOutcome = outcome;
        }
    }
    // The walk-fitted look of an equal measurement has already been made.
    const bool lookedBefore = memo != nullptr && memo->largeLookDone != 0;
    if (options.extraLooks && outcome != kCorrected && !lookedBefore) {
        StageScope stage(context.clock, Stage::kFallbacks);
        outcome =
            SampleLargeFromWalks(context, candidate, unfitted, viaRegionBorders, outcome, options.useMemos);
        if (memo != nullptr && outcome != kCorrected) {
            memo->largeLookDone = 1;
        }
    }

    if (outcome == kCorrected) {
        StageScope stage(context.clock, Stage::kCorrection);
        DecodeDataCodewords(candidate);
    }
    return outcome;
}

} // namespace

CandidateVerdict EvaluateCandidate(DecoderContext& context, SymbolRecord& candidate,
                                   const ChainOptions& options)
{
    // A collected candidate comes with its frame parameters; the matrices follow from them.
    BuildFrameTransforms(candidate);
    const SymbolRecord unfitted = candidate;
    KnownEvidence evidence{nullptr, false};
    if (options.useMemos && DecodeSmallFromWalks(context, candidate, options, evidence)) {
        RecordFate(context.trace, unfitted, candidate, FrameOutcome::kWalks, kCorrected, true);
        return CandidateVerdict{FrameOutcome::kWalks, kCorrected};
    }
    const FrameOutcome frame = FitFrameKnowing(context, candidate, options, evidence);
    if (!IsFitted(frame)) {
        RecordFate(context.trace, unfitted, candidate, frame, kSizeRejected, false);
        return CandidateVerdict{frame, kSizeRejected};
    }
    const SampleOutcome sample = EvaluateFittedCandidate(context, candidate, unfitted, frame, options);
    RecordFate(context.trace, unfitted, candidate, frame, sample, false);
    if (options.extraLooks && sample != kCorrected) {
        KeepForCloserLook(context, unfitted);
    }
    return CandidateVerdict{frame, sample};
}

int32_t TakeCloserLooks(DecoderContext& context, int32_t first)
{
    StageScope stage(context.clock, Stage::kFallbacks);
    if (UseSourcePlane(context.image) == 0) {
        return 0;
    }
    for (int32_t i = first; i < context.closerLookCount; ++i) {
        const SymbolRecord unfitted = context.closerLooks[i];
        SymbolRecord candidate = unfitted;
        bool laid = false;
        const SampleOutcome outcome = SampleAlongClockTracks(context, candidate, unfitted, laid);
        RecordFate(context.trace, unfitted, candidate,
                   laid ? FrameOutcome::kClockTracks : FrameOutcome::kFailed, outcome, false);
        if (outcome == kCorrected) {
            {
                StageScope decoding(context.clock, Stage::kCorrection);
                DecodeDataCodewords(candidate);
            }
            context.symbols[0] = candidate;
            context.decodedCount = 1;
            context.examinedCount = 1;
            return 1;
        }
        // A look that got further than size selection left its buffers in the candidate.
        if (outcome > kSizeRejected) {
            ReleaseSymbolBuffers(candidate);
        }
    }
    return 0;
}

} // namespace norvale
