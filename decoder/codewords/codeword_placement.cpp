// Codeword placement: walks the ECC 200 module placement over the mapping matrix, reading each
// eight-module shape into one codeword and listing the codewords that hold erased modules.
#include "decoder/codewords/codeword_placement.h"

#include "decoder/base/symbol_record.h"
#include "decoder/sampling/module_sampling.h"

namespace norvale {
namespace {

struct PlacementWalk
{
    SymbolRecord& record;
    int nrow;
    int ncol;
};

void ReadModule(PlacementWalk& walk, int row, int col, int codeword, uint8_t mask)
{
    SymbolRecord& record = walk.record;
    // Positions above or left of the matrix wrap to the opposite side with the standard's shift.
    if (row < 0) {
        row += walk.nrow;
        col += 4 - ((walk.nrow + 4) % 8);
    }
    if (col < 0) {
        col += walk.ncol;
        row += 4 - ((walk.ncol + 4) % 8);
    }
    // The walk stays inside for every table size; anything else is never read.
    if (row < 0 || row >= walk.nrow || col < 0 || col >= walk.ncol || codeword < 0 ||
        codeword >= record.totalCodewords) {
        return;
    }
    uint8_t& module = record.moduleMatrix[row * walk.ncol + col];
    if (module & kModuleSampled) {
        if (module & kModuleLight) {
            record.codewords[codeword] &= static_cast<uint8_t>(~mask);
        } else {
            record.codewords[codeword] |= mask;
        }
    }
    module |= kModulePlaced;
    if ((module & kModuleErased) == 0 || record.erasures == nullptr) {
        return;
    }
    for (int32_t i = 0; i < record.erasureCount; ++i) {
        if (record.erasures[i] == codeword) {
            return;
        }
    }
    if (record.erasureCount < record.totalCodewords) {
        record.erasures[record.erasureCount++] = static_cast<uint16_t>(codeword);
    }
}

// One module of a shape: its row and column, each counted from 0 or from the end of the matrix
// (fromEnd: the index is nrow - row, resp. ncol - col), or relative to the anchor for the utah
// shape. Listed from the most significant bit (128) down.
struct ShapeModule
{
    bool rowFromEnd;
    int8_t row;
    bool colFromEnd;
    int8_t col;
};
using Shape = ShapeModule[8];

// The standard's "utah" shape, relative to its anchor: (row, col) is bit 1 of the codeword.
constexpr Shape kUtah = {{false, -2, false, -2}, {false, -2, false, -1}, {false, -1, false, -2},
                         {false, -1, false, -1}, {false, -1, false, 0},  {false, 0, false, -2},
                         {false, 0, false, -1},  {false, 0, false, 0}};
constexpr Shape kCorner1 = {{true, 1, false, 0}, {true, 1, false, 1}, {true, 1, false, 2},
                            {false, 0, true, 2}, {false, 0, true, 1}, {false, 1, true, 1},
                            {false, 2, true, 1}, {false, 3, true, 1}};
constexpr Shape kCorner2 = {{true, 3, false, 0}, {true, 2, false, 0}, {true, 1, false, 0},
                            {false, 0, true, 4}, {false, 0, true, 3}, {false, 0, true, 2},
                            {false, 0, true, 1}, {false, 1, true, 1}};
constexpr Shape kCorner3 = {{true, 3, false, 0}, {true, 2, false, 0}, {true, 1, false, 0},
                            {false, 0, true, 2}, {false, 0, true, 1}, {false, 1, true, 1},
                            {false, 2, true, 1}, {false, 3, true, 1}};
constexpr Shape kCorner4 = {{true, 1, false, 0}, {true, 1, true, 1},  {false, 0, true, 3},
                            {false, 0, true, 2}, {false, 0, true, 1}, {false, 1, true, 3},
                            {false, 1, true, 2}, {false, 1, true, 1}};

// Reads the eight modules of a shape into one codeword; (row, col) anchors the utah shape.
void ReadShape(PlacementWalk& walk, const Shape& shape, int row, int col, int codeword)
{
    uint8_t mask = 128;
    for (const ShapeModule& module : shape) {
        const int r = module.rowFromEnd ? walk.nrow - module.row : row + module.row;
        const int c = module.colFromEnd ? walk.ncol - module.col : col + module.col;
        ReadModule(walk, r, c, codeword, mask);
        mask = static_cast<uint8_t>(mask >> 1);
    }
}

void ReadUtah(PlacementWalk& walk, int row, int col, int codeword)
{
    ReadShape(walk, kUtah, row, col, codeword);
}
void ReadCorner1(PlacementWalk& walk, int codeword)
{
    ReadShape(walk, kCorner1, 0, 0, codeword);
}
void ReadCorner2(PlacementWalk& walk, int codeword)
{
    ReadShape(walk, kCorner2, 0, 0, codeword);
}
void ReadCorner3(PlacementWalk& walk, int codeword)
{
    ReadShape(walk, kCorner3, 0, 0, codeword);
}
void ReadCorner4(PlacementWalk& walk, int codeword)
{
    ReadShape(walk, kCorner4, 0, 0, codeword);
}

// Outside positions count as placed, so a shape is never anchored there.
bool IsPlaced(const PlacementWalk& walk, int row, int col)
{
    if (row < 0 || row >= walk.nrow || col < 0 || col >= walk.ncol) {
        return true;
    }
    return (walk.record.moduleMatrix[row * walk.ncol + col] & kModulePlaced) != 0;
}

} // namespace

int32_t PlaceCodewords(SymbolRecord& record)
{
    PlacementWalk walk{record, record.matrixRows, record.matrixCols};
    const int nrow = walk.nrow;
    const int ncol = walk.ncol;
    // The smallest matrix is 8 x 8; smaller or inconsistent ones are not walked at all.
    if (record.moduleMatrix == nullptr || record.codewords == nullptr || nrow < 8 || ncol < 8 ||
        static_cast<uint32_t>(nrow) * static_cast<uint32_t>(ncol) > record.matrixSize) {
        return 0;
    }
    int codeword = 0;
    int row = 4;
    int col = 0;
    do {
        if (row == nrow && col == 0) {
            ReadCorner1(walk, codeword++);
        } else if (row == nrow - 2 && col == 0 && ncol % 4 != 0) {
            ReadCorner2(walk, codeword++);
        } else if (row == nrow - 2 && col == 0 && ncol % 8 == 4) {
            ReadCorner3(walk, codeword++);
        } else if (row == nrow + 4 && col == 2 && ncol % 8 == 0) {
            ReadCorner4(walk, codeword++);
        }
        for (;;) {
            if (row < nrow && col >= 0 && !IsPlaced(walk, row, col)) {
                ReadUtah(walk, row, col, codeword++);
            }
            if (row - 2 < 0 || col + 2 >= ncol) {
                break;
            }
            row -= 2;
            col += 2;
        }
        row -= 1;
        col += 5;
        for (;;) {
            if (row >= 0 && col < ncol && !IsPlaced(walk, row, col)) {
                ReadUtah(walk, row, col, codeword++);
            }
            if (row + 2 >= nrow || col - 2 < 0) {
                break;
            }
            row += 2;
            col -= 2;
        }
        row += 5;
        col -= 1;
    } while (row < nrow || col < ncol);
    return codeword;
}

} // namespace norvale
