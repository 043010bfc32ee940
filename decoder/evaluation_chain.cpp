// Evaluation chain: frame fitting, size selection and sampling, placement, correction and data
// decoding of one finder candidate, shared by both search passes and the retry probe.
#include "decoder/evaluation_chain.h"

#include "decoder/codewords/codeword_placement.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/codewords/module_sampling.h"
#include "decoder/codewords/reed_solomon.h"
#include "decoder/decoder_context.h"
#include "decoder/grid/border_walk.h"
#include "decoder/grid/region_border_scan.h"
#include "decoder/grid/symbol_frame.h"
#include "decoder/stage_clock.h"

namespace norvale {

namespace {

// Estimates above this many modules cannot be a symbol (the grids hold 150 cells a side).
constexpr int kMaxEstimatedModules = 150;
// Frame sampling normally stops at this estimate; past it, module grid lines are expected.
constexpr int kLargestFrameEstimate = 38;
constexpr int kLargestSymbolSide = 144;
// The retry probe allows the quiet-zone rings on top of the largest side.
constexpr int kEstimateAllowance = 6;

bool WalkBothBorders(DecoderContext& context, SymbolRecord& candidate, WalkEstimateCheck check)
{
    if (WalkTopBorder(candidate, context) == 0) {
        return false;
    }
    if (check == WalkEstimateCheck::kBothAxes &&
        EstimateSymbolSize(candidate, kAxisHorizontal) > kMaxEstimatedModules) {
        return false;
    }
    if (WalkRightBorder(candidate, context) == 0) {
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

SampleOutcome SampleAndCorrect(DecoderContext& context, SymbolRecord& candidate)
{
    {
        StageScope stage(context.clock, Stage::kSampling);
        if (SelectSizeAndSample(candidate, context) != 1) {
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
                                   const SymbolRecord& unfitted, bool viaRegionBorders, SampleOutcome outcome)
{
    SymbolRecord walked = unfitted;
    walked.moduleCountHint = 0;
    walked.status = 0;
    if (WalkTopBorder(walked, context) == 0 || WalkRightBorder(walked, context) == 0) {
        return outcome;
    }
    const int estimate = EstimateSymbolSize(walked, kAxisHorizontal);
    if (estimate <= 0 || estimate > kLargestSymbolSide ||
        (!viaRegionBorders && estimate <= kLargestFrameEstimate)) {
        return outcome;
    }
    SampleOutcome second = kSizeRejected;
    if (SelectSizeAndSampleUpTo(walked, context, kLargestSymbolSide) == 1) {
        second = PlaceAndCorrect(context, walked);
    }
    if (second <= outcome) {
        ReleaseSymbolBuffers(walked);
        return outcome;
    }
    ReleaseSymbolBuffers(candidate);
    candidate = walked;
    return second;
}

} // namespace

FrameOutcome FitCandidateFrame(DecoderContext& context, SymbolRecord& candidate, const ChainOptions& options)
{
    StageScope stage(context.clock, Stage::kFrameFitting);
    if (options.regionScanOnMedian && UseFilteredPlane(context.image) == 0) {
        return FrameOutcome::kNoPlane;
    }
    if (FindRegionBorders(candidate, context) != 0) {
        if (options.regionScanOnMedian && UseSourcePlane(context.image) == 0) {
            ReleaseSymbolBuffers(candidate);
            return FrameOutcome::kNoPlane;
        }
        return FrameOutcome::kRegionBorders;
    }
    if (options.blankEndsFit && candidate.status == kStatusSkip) {
        return FrameOutcome::kBlank;
    }
    if (options.regionScanOnMedian && UseSourcePlane(context.image) == 0) {
        return FrameOutcome::kNoPlane;
    }
    return WalkBothBorders(context, candidate, options.walkCheck) ? FrameOutcome::kWalks
                                                                  : FrameOutcome::kFailed;
}

SampleOutcome PlaceAndCorrect(DecoderContext& context, SymbolRecord& candidate)
{
    StageScope stage(context.clock, Stage::kCorrection);
    PlaceCodewords(candidate);
    PublishFrameCorners(context, candidate);
    return CorrectCodewords(candidate) != 0 ? kCorrected : kCorrectionFailed;
}

SampleOutcome EvaluateFittedCandidate(DecoderContext& context, SymbolRecord& candidate,
                                      const SymbolRecord& unfitted, bool viaRegionBorders,
                                      const ChainOptions& options)
{
    const SymbolRecord fitted = candidate;
    SampleOutcome outcome = SampleAndCorrect(context, candidate);
    if (options.extraLooks && outcome != kCorrected) {
        StageScope stage(context.clock, Stage::kFallbacks);
        if (context.image.median != nullptr && context.image.current != context.image.median) {
            const SampleOutcome second = SampleOnMedianPlane(context, candidate, fitted);
            outcome = second > outcome ? second : outcome;
        }
        if (outcome != kCorrected) {
            outcome = SampleLargeFromWalks(context, candidate, unfitted, viaRegionBorders, outcome);
        }
    }
    if (outcome == kCorrected) {
        StageScope stage(context.clock, Stage::kCorrection);
        DecodeDataCodewords(candidate);
    }
    return outcome;
}

} // namespace norvale
