// The 24 square ECC 200 symbol sizes and their region, block and codeword counts.
#pragma once

namespace norvale {

struct SymbolSize
{
    int side;        // modules per side, finder and clock included
    int regionSide;  // data modules along one side of a data region
    int regionCount; // 1, 4, 16 or 36
    int blockCount;  // interleaved Reed-Solomon blocks
    int dataCodewords;
    int eccCodewords; // all blocks together
    int maxErasures;
};

constexpr int kSymbolSizeCount = 24;
extern const SymbolSize kSymbolSizeTable[kSymbolSizeCount];

// Row of the table for a side in modules, or -1.
int FindSymbolSizeIndex(int side);

} // namespace norvale
