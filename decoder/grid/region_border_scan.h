// Region-border scan: for symbols of 32 modules and more, finds the data-region borders, counts
// the modules and builds one grid line per module row and column.
#pragma once

namespace norvale {

struct DecoderContext;
struct SymbolRecord;

// 1 when the module grid lines were built; 0 otherwise (moduleCountHint then 0).
int FindRegionBorders(SymbolRecord& record, DecoderContext& context);

}  // namespace norvale
