// Fuzz target: the codeword back end on arbitrary module matrices of every size. The first byte
// picks the size; the following bytes give the modules (one bit each) and the erased modules.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decoder/codewords/codeword_placement.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/codewords/module_sampling.h"
#include "decoder/codewords/reed_solomon.h"
#include "decoder/codewords/symbol_sizes.h"
#include "decoder/symbol_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace norvale;
    if (size < 2) {
        return 0;
    }
    const int index = data[0] % kSymbolSizeCount;
    const SymbolSize& row = kSymbolSizeTable[index];
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    const int alignment = static_cast<int>((std::sqrt(row.regionCount) - 1) * 2);
    const int side = row.side - 2 - alignment;
    record.sizeIndex = index;
    record.regionCount = static_cast<uint32_t>(row.regionCount);
    record.matrixRows = record.matrixCols = side;
    record.matrixSize = static_cast<uint32_t>(side * side);
    record.totalCodewords = row.dataCodewords + row.eccCodewords;
    record.dataCapacity = static_cast<uint32_t>(10 * record.totalCodewords);
    record.moduleMatrix = static_cast<uint8_t*>(std::calloc(record.matrixSize, 1));
    record.codewords = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(record.totalCodewords), 1));
    record.erasures = static_cast<uint16_t*>(std::calloc(static_cast<size_t>(record.totalCodewords), 2));
    record.data = static_cast<uint8_t*>(std::calloc(record.dataCapacity, 1));
    if (record.moduleMatrix && record.codewords && record.erasures && record.data) {
        // Bit k of the input (after the size byte) is module k; a module is erased when the
        // matching bit of the second half of the input is set as well.
        const uint8_t* bits = data + 1;
        const size_t bitCount = (size - 1) * 8;
        for (uint32_t k = 0; k < record.matrixSize; ++k) {
            const size_t b = k % bitCount;
            const bool dark = (bits[b / 8] >> (b % 8)) & 1;
            const size_t e = (k * 7919u + 13u) % bitCount;
            const bool erased = ((bits[e / 8] >> (e % 8)) & 1) && ((k & 31u) == 0);
            record.moduleMatrix[k] = static_cast<uint8_t>(kModuleSampled | (dark ? 0 : kModuleLight) |
                                                          (erased ? kModuleErased : 0));
        }
        PlaceCodewords(record);
        if (CorrectCodewords(record) != 0) {
            DecodeDataCodewords(record);
        }
        // Decoding straight from the raw codewords as well: the data decoder must stay within
        // its buffer for any stream, corrected or not.
        std::memcpy(record.codewords, bits, std::min<size_t>(size - 1, static_cast<size_t>(record.totalCodewords)));
        record.dataLength = 0;
        DecodeDataCodewords(record);
    }
    ClearSymbolRecord(record);
    return 0;
}
