// Evaluation chain: one finder candidate through frame fitting, size selection and sampling,
// placement, correction and data decoding. The two passes of the search and the retry probe run
// the same chain; they differ only in the options they pass.
#pragma once

#include <cstdint>

#include "decoder/chain_outcome.h"

namespace norvale {

struct DecoderContext;
struct SymbolRecord;

// How the size estimates of the outline walks bound a frame fitted from them.
enum class WalkEstimateCheck {
    kBothAxes,        // horizontal after the top walk, vertical after the right walk: at most 150
    kVerticalOnly,    // vertical after both walks: at most 150
    kHorizontalProbe, // horizontal after both walks: at most 144 plus the quiet-zone allowance
    kNone,
};

struct ChainOptions
{
    bool regionScanOnMedian; // the region-border scan reads the median plane, the rest the source
    bool blankEndsFit;       // a candidate blank beside its finder gets no outline walks
    WalkEstimateCheck walkCheck;
    bool extraLooks; // second look on the median plane and the walk-fitted large symbol
    bool useMemos;   // the picture stays as it is for the whole run (not so in the retry step)
};

// Fits the frame of `candidate`: the region-border scan, or else the two outline walks.
FrameOutcome FitCandidateFrame(DecoderContext& context, SymbolRecord& candidate, const ChainOptions& options);

// Codeword placement, the published corners and error correction of a sampled candidate.
SampleOutcome PlaceAndCorrect(DecoderContext& context, SymbolRecord& candidate);

// The whole chain for one candidate of a search pass, collected with its corner, legs and frame
// parameters (its frame matrices are built here). A candidate whose legs call for the
// region-border scan but whose outline walks call it small is first sampled from the walks (the
// scan can only succeed for sides of 32 and more); only when that fails does the chain below run.
// Returns the frame outcome (kFailed, kBlank or kNoPlane: the candidate was not sampled) and, for
// a sampled candidate, its sample outcome.
struct CandidateVerdict
{
    FrameOutcome frame;
    SampleOutcome sample;
};
CandidateVerdict EvaluateCandidate(DecoderContext& context, SymbolRecord& candidate,
                                   const ChainOptions& options);

// The closer looks of a search that decoded nothing, at the candidates its chain fitted and sampled
// without success (each measurement once), from the kept candidate `first` on: their modules are
// placed along the clock tracks read module by module. Returns 1 and leaves the decoded symbol,
// with its data, in the first entry of the table (which then owns its buffers); 0 when none
// decoded.
int32_t TakeCloserLooks(DecoderContext& context, int32_t first);

} // namespace norvale
