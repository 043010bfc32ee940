// Codeword placement: reads the mapping matrix in ECC 200 placement order into codewords,
// collecting the codewords that hold erased modules.
#pragma once

#include <cstdint>

namespace norvale {

struct SymbolRecord;

int32_t PlaceCodewords(SymbolRecord& record);

} // namespace norvale
