// Reed-Solomon errors-and-erasures correction over GF(256), block by block.
#pragma once

#include <cstdint>

namespace norvale {

struct SymbolRecord;

// The most check codewords one block of any symbol size has is 68; 127 keeps every polynomial
// of 2n coefficients inside the arrays below.
constexpr int kRsMaxEccPerBlock = 127;

// Working state of one correction call, created for n check codewords per block. All
// polynomials hold coefficient j of x^j. A block of length len is the polynomial
// r(x) = sum block[p] x^(len - 1 - p): block position 0 is the highest power.
struct RsDecoder
{
    uint16_t eccPerBlock;   // n, also the number of syndromes
    uint16_t twoN;          // coefficients used in every polynomial array
    int32_t syndromes[256]; // S[j] = r(alpha^(j + 1)), j < n
    int32_t locator[512];
    int32_t evaluator[512];
    uint16_t roots[256]; // error locations (exponents) from the Chien search
    uint16_t rootCount;
    uint16_t erasurePositions[256];
    uint16_t erasureCount;
};

// Corrects the record's codewords in place, block by block, with its erasures as known error
// locations. 1 when every block is clean or corrected and the first codeword can start a symbol
// (1 to 241, ECI). 0 otherwise: a record without codewords or whose codeword count or erasures
// do not fit its size leaves `correctedCount` as it was; a block the decoder cannot correct (or
// memory running out) stops the call with `correctedCount` holding what the blocks before it
// corrected; a correction that leaves a block inconsistent, or a first codeword that cannot start
// a symbol, sets it to -1. Blocks corrected before a failure stay corrected in `codewords`.
int CorrectCodewords(SymbolRecord& record);

// malloc'd and zeroed decoder, or nullptr when n is outside 1..kRsMaxEccPerBlock or memory is
// exhausted. RsDestroy accepts nullptr.
RsDecoder* RsCreate(int eccPerBlock);
void RsDestroy(RsDecoder* decoder);
void RsSyndromes(RsDecoder& decoder, const uint8_t* block, int length);
// 1 when any syndrome is nonzero.
int RsHasErrors(const RsDecoder& decoder);
// Corrects `block` in place from the syndromes of the last RsSyndromes call on it; the erased
// block positions are known error locations. Returns the locations corrected (>= 1), or 0 when
// the block cannot be corrected (erasureCount >= n, no roots, too many roots, a root outside
// the block, a zero Forney denominator).
int RsDecode(RsDecoder& decoder, uint8_t* block, int length, int erasureCount,
             const uint16_t* erasurePositions);

} // namespace norvale
