// Symbol record: initialisation and release of one candidate and its six owned buffers.
#include "decoder/base/symbol_record.h"

#include <cstdlib>
#include <cstring>

#include "decoder/base/symbol_sizes.h"

namespace norvale {

void ResetSymbolRecord(SymbolRecord& symbol, const ScanContrast& contrast)
{
    std::memset(&symbol, 0, sizeof symbol);
    symbol.contrast = contrast;
    ResetFrameParams(symbol.frame);
}

void InitSymbolRecord(SymbolRecord& symbol, const ScanContrast& contrast)
{
    ResetSymbolRecord(symbol, contrast);
    BuildFrameTransforms(symbol);
}

void ReleaseCodewordBuffers(SymbolRecord& symbol)
{
    std::free(symbol.moduleMatrix);
    std::free(symbol.codewords);
    std::free(symbol.data);
    std::free(symbol.erasures);
    symbol.moduleMatrix = nullptr;
    symbol.codewords = nullptr;
    symbol.data = nullptr;
    symbol.erasures = nullptr;
}

void ReleaseSymbolBuffers(SymbolRecord& symbol)
{
    ReleaseCodewordBuffers(symbol);
    std::free(symbol.rowLines);
    std::free(symbol.columnLines);
    symbol.rowLines = nullptr;
    symbol.columnLines = nullptr;
}

void ClearSymbolRecord(SymbolRecord& symbol)
{
    ReleaseSymbolBuffers(symbol);
    std::memset(&symbol, 0, sizeof symbol);
}

uint32_t GetSymbolSide(const SymbolRecord* symbol)
{
    if (symbol == nullptr || symbol->sizeIndex < 0 || symbol->sizeIndex >= kSymbolSizeCount) {
        return 0;
    }
    return static_cast<uint32_t>(kSymbolSizeTable[symbol->sizeIndex].side);
}

} // namespace norvale
