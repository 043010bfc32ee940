// Symbol sizes: the square ECC 200 attribute table, smallest size first.
#include "decoder/base/symbol_sizes.h"

namespace norvale {

int FindSymbolSizeIndex(int side)
{
    for (int i = 0; i < kSymbolSizeCount; ++i) {
        if (kSymbolSizeTable[i].side == side) {
            return i;
        }
    }
    return -1;
}

bool IsValidSymbolSide(int side)
{
    return FindSymbolSizeIndex(side) >= 0;
}

int NearestMultiRegionSide(int n)
{
    int best = -1;
    for (const SymbolSize& row : kSymbolSizeTable) {
        if (row.regionCount == 1) {
            continue;
        }
        const int distance = n > row.side ? n - row.side : row.side - n;
        const int bestDistance = n > best ? n - best : best - n;
        // Sides grow through the table, so a tie keeps the larger side.
        if (best < 0 || distance <= bestDistance) {
            best = row.side;
        }
    }
    return best;
}

int SideStepAt(int n)
{
    int layout = -1; // row of the largest side not above n
    for (int i = 0; i < kSymbolSizeCount && kSymbolSizeTable[i].side <= n; ++i) {
        layout = i;
    }
    if (layout < 0) {
        return kSymbolSizeTable[1].side - kSymbolSizeTable[0].side;
    }
    // The spacing between two neighbours of the same layout; every layout has at least two sides.
    const int regions = kSymbolSizeTable[layout].regionCount;
    for (int i = 1; i < kSymbolSizeCount; ++i) {
        if (kSymbolSizeTable[i].regionCount == regions && kSymbolSizeTable[i - 1].regionCount == regions) {
            return kSymbolSizeTable[i].side - kSymbolSizeTable[i - 1].side;
        }
    }
    return 0;
}

} // namespace norvale
