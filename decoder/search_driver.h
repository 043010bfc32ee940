// Search driver: lays the scan grid, collects finder candidates, ranks them and runs each chosen
// one through frame fitting, sampling, correction and decoding, in two passes.
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;
struct SymbolRecord;

int32_t SearchSymbols(DecoderContext& context, int xDivisions, int yDivisions);
int32_t EvaluateFirstPass(DecoderContext& context);
int32_t EvaluateSecondPass(DecoderContext& context);
int CompareEdgeBalance(const SymbolRecord& a, const SymbolRecord& b);

} // namespace norvale
