// Reed-Solomon errors-and-erasures correction over GF(256), block by block.
#pragma once

namespace norvale {

struct SymbolRecord;

// 1 when every block is consistent (corrected or clean) and the first codeword is valid.
int CorrectCodewords(SymbolRecord& record);

}  // namespace norvale
