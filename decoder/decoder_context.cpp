// Decoder context: creation, reset and destruction of the working record of one call.
#include "decoder/decoder_context.h"

#include <cstdlib>

namespace norvale {

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

} // namespace norvale
