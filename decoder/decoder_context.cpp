// Decoder context: creation, reset and destruction of the working record of one call.
#include "decoder/decoder_context.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decoder/base/line_geometry.h"

namespace norvale {

namespace {

// Remembered candidates closer than this (pixels, each axis) are not remembered twice.
constexpr float kRememberDistance = 5.0f;

} // namespace

DecoderContext* CreateDecoderContext()
{
    // calloc gives the zero-filled block the lifecycle starts from; null when memory is exhausted.
    return static_cast<DecoderContext*>(std::calloc(1, sizeof(DecoderContext)));
}

void DestroyDecoderContext(DecoderContext** holder)
{
    if (holder == nullptr || *holder == nullptr) {
        return;
    }
    ResetDecoderContext(**holder);
    std::free(*holder);
    *holder = nullptr;
}

void ResetDecoderContext(DecoderContext& context)
{
    for (int32_t i = 0; i < context.symbolCount && i < kMaxSymbolRecords; ++i) {
        ClearSymbolRecord(context.symbols[i]);
    }
    context.symbolCount = 0;
    context.errorCode = kErrorNothingDecoded;
}

int32_t GetSymbolCount(const DecoderContext& context)
{
    return context.symbolCount;
}

SymbolRecord* GetSymbol(DecoderContext& context, int32_t index)
{
    if (index < 0 || index >= context.symbolCount) {
        return nullptr;
    }
    return &context.symbols[index];
}

int64_t SteadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool PastDeadline(const DecoderContext& context)
{
    return context.deadline != 0 && SteadyNanoseconds() >= context.deadline;
}

void ForgetTable(DecoderContext& context)
{
    for (int32_t i = 0; i < context.symbolCount && i < kMaxSymbolRecords; ++i) {
        ClearSymbolRecord(context.symbols[i]);
    }
    context.symbolCount = 0;
    context.examinedCount = 0;
    context.decodedCount = 0;
}

void ForgetCandidates(DecoderContext& context)
{
    ForgetTable(context);
    ClearRetryCandidates(context);
    context.rejectedCount = 0;
}

void RememberCandidates(const DecoderContext& context, RememberedCandidates& lists)
{
    std::memcpy(lists.retry, context.retryCandidates, sizeof lists.retry);
    lists.retryCount = context.retryCount;
    // The rejected copies own no buffers, so copying them moves nothing.
    std::memcpy(static_cast<void*>(lists.rejected), static_cast<const void*>(context.rejectedSymbols),
                sizeof lists.rejected);
    lists.rejectedCount = context.rejectedCount;
}

void RestoreCandidates(DecoderContext& context, const RememberedCandidates& lists)
{
    ForgetCandidates(context);
    PutBackCandidateLists(context, lists);
}

void PutBackCandidateLists(DecoderContext& context, const RememberedCandidates& lists)
{
    std::memcpy(context.retryCandidates, lists.retry, sizeof lists.retry);
    context.retryCount = lists.retryCount;
    std::memcpy(static_cast<void*>(context.rejectedSymbols), static_cast<const void*>(lists.rejected),
                sizeof lists.rejected);
    context.rejectedCount = lists.rejectedCount;
}

void ClearRetryCandidates(DecoderContext& context)
{
    for (RetryCandidate& entry : context.retryCandidates) {
        entry = RetryCandidate{};
    }
    context.retryCount = 0;
}

void AddRetryCandidate(DecoderContext& context, const SymbolRecord& record)
{
    if (context.retryCount >= kMaxRetryCandidates) {
        return;
    }
    for (int32_t i = 0; i < context.retryCount; ++i) {
        if (CloseCorners(context.retryCandidates[i].corner, record.corner, kRememberDistance)) {
            return;
        }
    }
    RetryCandidate& entry = context.retryCandidates[context.retryCount];
    entry = RetryCandidate{};
    entry.corner = record.corner;
    entry.yLegEnd = record.yLegEnd;
    entry.xLegEnd = record.xLegEnd;
    context.retryCount += 1;
}

void AddRejectedSymbol(DecoderContext& context, const SymbolRecord& record)
{
    if (context.rejectedCount >= kMaxRejectedSymbols) {
        return;
    }
    for (int32_t i = 0; i < context.rejectedCount; ++i) {
        if (CloseCorners(context.rejectedSymbols[i].corner, record.corner, kRememberDistance)) {
            return;
        }
    }
    // The copy keeps the geometry and contrast figures only; its buffer fields are cleared so
    // that nothing can ever free or read them through it.
    SymbolRecord& copy = context.rejectedSymbols[context.rejectedCount];
    copy = record;
    copy.moduleMatrix = nullptr;
    copy.codewords = nullptr;
    copy.data = nullptr;
    copy.erasures = nullptr;
    copy.rowLines = nullptr;
    copy.columnLines = nullptr;
    context.rejectedCount += 1;
}

void RememberRejected(DecoderContext& context, SymbolRecord& record)
{
    AddRetryCandidate(context, record);
    AddRejectedSymbol(context, record);
    ClearSymbolRecord(record);
}

} // namespace norvale
