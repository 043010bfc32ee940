// Decoder context: the working record of one decoding call, owned by the entry's driver.
#pragma once

#include <cstdint>

#include "decoder/base/sample_grid.h"
#include "decoder/base/symbol_record.h"
#include "decoder/chain_outcome.h"
#include "decoder/grid/border_walk.h"
#include "image/gray_image.h"

namespace norvale {

constexpr int kMaxSymbolRecords = 20;
constexpr int kMaxRetryCandidates = 10;
constexpr int kMaxRejectedSymbols = 5;
// Candidates kept for the closer looks of a search that decoded nothing.
constexpr int kMaxCloserLooks = 8;

// Error codes of the context and of DecodeResult.
constexpr int32_t kErrorImageNotLoaded = 1;
constexpr int32_t kErrorNothingDecoded = 2;

// Flag bit 0: stop the search as soon as one symbol has been decoded.
constexpr uint8_t kFlagStopAtFirst = 1;
// Flag bit 1: dark-on-light symbols only; a light-on-dark one is refused before correction.
constexpr uint8_t kFlagDarkOnLightOnly = 2;

struct RetryCandidate
{
    PointF corner;
    PointF yLegEnd;
    PointF xLegEnd;
    int32_t reserved[2];
};

struct ChainTrace;
struct StageClock;

struct DecoderContext
{
    uint8_t flags;
    int32_t symbolCount;
    int32_t examinedCount;
    int32_t decodedCount;
    SymbolRecord symbols[kMaxSymbolRecords];
    GrayImage image;
    RetryCandidate retryCandidates[kMaxRetryCandidates];
    int32_t retryCount;
    // Copies kept for their contrast figures only: their buffer fields are never used or freed.
    SymbolRecord rejectedSymbols[kMaxRejectedSymbols];
    int32_t rejectedCount;
    int32_t errorCode;
    PointF corners[4]; // of the last symbol that reached error correction
    SampleGrids grids;
    WalkStats topWalkStats;               // of the last top-border walk of this call that found a stretch
    FrameMemo frameMemos[kMaxFrameMemos]; // region-border scans of this search, oldest first
    int32_t frameMemoCount;
    WalkMemo walkMemos[kMaxWalkMemos]; // border walks of this search, oldest first
    int32_t walkMemoCount;
    // Candidates of this search that were fitted and sampled but did not decode, as collected
    // (they own no buffers); the closer looks at them run only when the whole search failed.
    SymbolRecord closerLooks[kMaxCloserLooks];
    int32_t closerLookCount;
    int64_t deadline;  // steady-clock nanoseconds after which the search gives up; 0 for none
    StageClock* clock; // the benchmark's stage clock, or null
    ChainTrace* trace; // the tracing tool's record of every candidate's fate, or null
};

// A new zero-filled context, or null when memory is exhausted.
DecoderContext* CreateDecoderContext();
// Resets and frees the context and nulls the holder. The image planes are not freed here.
void DestroyDecoderContext(DecoderContext** holder);
void ResetDecoderContext(DecoderContext& context);
int32_t GetSymbolCount(const DecoderContext& context);
SymbolRecord* GetSymbol(DecoderContext& context, int32_t index);

// Steady-clock nanoseconds now, the time base of `deadline`.
int64_t SteadyNanoseconds();
// True once the call's time budget is spent; every loop of the search asks before its next step.
bool PastDeadline(const DecoderContext& context);

// The retry and rejected lists: candidates that failed size selection (or, in the retry probe,
// correction), remembered once each within 5 pixels, while there is room.
void ClearRetryCandidates(DecoderContext& context);
void AddRetryCandidate(DecoderContext& context, const SymbolRecord& record);
void AddRejectedSymbol(DecoderContext& context, const SymbolRecord& record);
// A candidate that failed: remembered in both lists, then cleared, which releases its buffers.
void RememberRejected(DecoderContext& context, SymbolRecord& record);
// Empties the table (releasing its records' buffers) and zeroes its counts; the retry and rejected
// lists stay.
void ForgetTable(DecoderContext& context);
// Empties the table and the retry and rejected lists, for a search over another picture.
void ForgetCandidates(DecoderContext& context);

// The retry and rejected lists of a search, kept across a search of a copy of its picture.
struct RememberedCandidates
{
    RetryCandidate retry[kMaxRetryCandidates];
    int32_t retryCount;
    SymbolRecord rejected[kMaxRejectedSymbols];
    int32_t rejectedCount;
};
void RememberCandidates(const DecoderContext& context, RememberedCandidates& lists);
// Forgets every candidate, then puts the remembered lists back.
void RestoreCandidates(DecoderContext& context, const RememberedCandidates& lists);
// Puts the remembered lists back, leaving the table as it is.
void PutBackCandidateLists(DecoderContext& context, const RememberedCandidates& lists);

} // namespace norvale
