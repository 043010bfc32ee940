// Search driver: lays the scan grid, collects finder candidates, ranks them and runs each chosen
// one through frame fitting, sampling, correction and decoding, in two passes.
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;
struct SymbolRecord;
enum class TracedSearch : int;

// Scan lines across and down a whole picture.
constexpr int kScanDivisions = 20;

int32_t SearchSymbols(DecoderContext& context, int xDivisions, int yDivisions);
// Searches `plane` (taken over and freed) in place of the context's picture, which is left as it
// was, traced as `kind`. The search starts with empty lists; when it decodes nothing, the
// candidate lists are put back as they were before the call.
int32_t SearchPictureCopy(DecoderContext& context, uint8_t* plane, uint32_t width, uint32_t height,
                          TracedSearch kind);
int32_t EvaluateFirstPass(DecoderContext& context);
int32_t EvaluateSecondPass(DecoderContext& context);
int CompareEdgeBalance(const SymbolRecord& a, const SymbolRecord& b);

} // namespace norvale
