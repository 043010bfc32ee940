// Size selection and module sampling: decides the symbol size, samples every module centre into
// the context's grids, checks finder and clock, and fills the mapping matrix.
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;
struct SymbolRecord;

// Largest used part is 150 x 150: a 146-module line-mode trial plus two quiet-zone rings.
constexpr int kSampleGridSide = 150;

// Module samples, row-major with a stride of W = S + 4 for a trial of side S (not 150):
// module (x, y) sits at row y + 2, column x + 2. -1 means no sample.
struct SampleGrid
{
    int16_t cells[kSampleGridSide * kSampleGridSide];
};

// Mapping-matrix flag bits, one byte per data module.
enum ModuleFlag : uint8_t
{
    kModuleLight = 1,
    kModuleSampled = 2,
    kModulePlaced = 4,
    kModuleErased = 8,
};

enum SizeAxis : int
{
    kAxisHorizontal = 0,  // frame x
    kAxisVertical = 1,    // frame y
};

// Even module count estimated from the walk stretches (or the module count hint).
int EstimateSymbolSize(const SymbolRecord& record, int axis);
// 1 when a size was accepted and the mapping matrix and codeword buffers are ready.
int SelectSizeAndSample(SymbolRecord& record, DecoderContext& context);

}  // namespace norvale
