// Data encodation: corrected data codewords to decoded bytes.
#pragma once

#include <cstdint>

#include "decoder/base/symbol_sizes.h"

namespace norvale {

// The macro codewords 236 and 237 stand for a header ("[)>" RS "05" GS or "06" GS) and a trailer
// (RS EOT) around the rest of the data.
inline constexpr char kMacroHeaderStart[] = "[)>\x1e";
// The group separator, which FNC1 stands for in the decoded bytes of a GS1 symbol.
inline constexpr uint8_t kGroupSeparator = 0x1d;
inline constexpr char kMacro05Format[] = "05\x1d";
inline constexpr char kMacro06Format[] = "06\x1d";
inline constexpr char kMacroTrailer[] = "\x1e\x04";
constexpr int32_t kMacroExtraBytes =
    (sizeof kMacroHeaderStart - 1) + (sizeof kMacro05Format - 1) + (sizeof kMacroTrailer - 1);

// The longest decoding: a macro first and a digit pair, the most any other codeword yields, in
// each of the other data codewords of the largest symbol.
constexpr int32_t kMostBytesPerCodeword = 2;
constexpr int32_t kMostDecodedBytes =
    kMacroExtraBytes + kMostBytesPerCodeword * (kSymbolSizeTable[kSymbolSizeCount - 1].dataCodewords - 1);

struct SymbolContent;
struct SymbolRecord;

// Decodes the corrected data codewords into the record's bytes and notes its content flags.
void DecodeDataCodewords(SymbolRecord& record);
// The ISO/IEC 15424 symbology identifier of a decoded symbol: "]d1" to "]d6".
const char* SymbologyIdentifierOf(const SymbolContent& content);
// Base 256 un-randomising; position is the codeword's 1-based index in the stream.
uint8_t Unrandomize255(uint8_t codeword, int position);

} // namespace norvale
