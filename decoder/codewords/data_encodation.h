// Data encodation: corrected data codewords to decoded bytes.
#pragma once

#include <cstdint>

namespace norvale {

struct SymbolRecord;

void DecodeDataCodewords(SymbolRecord& record);
// Base 256 un-randomising; position is the codeword's 1-based index in the stream.
uint8_t Unrandomize255(uint8_t codeword, int position);

} // namespace norvale
