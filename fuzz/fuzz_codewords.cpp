// Fuzz target: the codeword back end (placement, Reed-Solomon correction, data decoding) for
// every symbol size.
//
// Input: [size] [flags] [count] then `count` corruption entries of 3 bytes, then payload.
//   size     symbol size index (mod 24)
//   flags    bit 0 clear: the payload is data codewords (padded as an encoder pads them), the
//            check codewords are computed, the stream is written into the module matrix, and
//            the entries corrupt it; bit 0 set: the payload is the module matrix itself, one bit
//            a module, and the entries only mark erased modules
//   entry    u16 little-endian position (bit 15: erased) and one XOR value for the codeword
// In the encoded mode a damage within the code's reach must be corrected exactly: that is
// checked, so the fuzzer also hunts for miscorrections, not only for memory faults.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"
#include "decoder/codewords/codeword_placement.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/codewords/reed_solomon.h"
#include "decoder/sampling/module_sampling.h"
#include "tests/decoder/codewords/codeword_record_support.h"

namespace {

using norvale::kSymbolSizeCount;
using norvale::kSymbolSizeTable;
using norvale::test::CodewordRecord;

constexpr size_t kHeaderBytes = 3;
constexpr size_t kEntryBytes = 3;
constexpr uint16_t kErasedBit = 0x8000;
constexpr int kPadCodeword = 129;
// Codeword values a symbol may start with; anything else is refused after correction.
constexpr int kFirstCodewordMin = 1;
constexpr int kFirstCodewordMax = 241;
// Erasures kept back per block by the decoder as a margin against miscorrection.
constexpr int kErasureMargin = 3;

// Where bit `mask` of codeword k sits in the module matrix, learnt once per size by running the
// placement on matrices whose modules spell their own index, one index bit per pass.
struct PlacementMap
{
    bool built = false;
    std::vector<int32_t> moduleOf; // 8 per codeword, bit 7 first; -1 when never read
};

PlacementMap& MapFor(int sizeIndex)
{
    static PlacementMap maps[kSymbolSizeCount];
    PlacementMap& map = maps[sizeIndex];
    if (map.built) {
        return map;
    }
    CodewordRecord probe(sizeIndex);
    norvale::SymbolRecord& r = probe.record;
    map.moduleOf.assign(static_cast<size_t>(r.totalCodewords) * 8, 0);
    std::vector<bool> seen(map.moduleOf.size(), false);
    for (int bit = 0; (1u << bit) < r.matrixSize; ++bit) {
        for (uint32_t m = 0; m < r.matrixSize; ++m) {
            r.moduleMatrix[m] = norvale::kModuleSampled | (((m >> bit) & 1) ? 0 : norvale::kModuleLight);
        }
        std::memset(r.codewords, 0, static_cast<size_t>(r.totalCodewords));
        norvale::PlaceCodewords(r);
        for (int k = 0; k < r.totalCodewords; ++k) {
            for (int b = 0; b < 8; ++b) {
                if ((r.codewords[k] >> (7 - b)) & 1) {
                    map.moduleOf[static_cast<size_t>(k) * 8 + b] |= 1 << bit;
                }
            }
        }
    }
    // A bit that no module reaches stays 0 in every pass: tell it apart by one all-dark pass.
    std::memset(r.moduleMatrix, norvale::kModuleSampled, r.matrixSize);
    std::memset(r.codewords, 0, static_cast<size_t>(r.totalCodewords));
    norvale::PlaceCodewords(r);
    for (int k = 0; k < r.totalCodewords; ++k) {
        for (int b = 0; b < 8; ++b) {
            if (((r.codewords[k] >> (7 - b)) & 1) == 0) {
                map.moduleOf[static_cast<size_t>(k) * 8 + b] = -1;
            }
        }
    }
    map.built = true;
    return map;
}

// The encoder's padding: 129 first, then pseudo-random pads from the 253-state sequence.
uint8_t PadCodeword(int position, bool first)
{
    if (first) {
        return kPadCodeword;
    }
    int value = kPadCodeword + (149 * position) % 253 + 1;
    return static_cast<uint8_t>(value > 254 ? value - 254 : value);
}

void WriteCodewords(norvale::SymbolRecord& r, const std::vector<uint8_t>& stream, const PlacementMap& map)
{
    for (uint32_t m = 0; m < r.matrixSize; ++m) {
        r.moduleMatrix[m] = norvale::kModuleSampled | norvale::kModuleLight;
    }
    for (int k = 0; k < r.totalCodewords; ++k) {
        for (int b = 0; b < 8; ++b) {
            const int32_t m = map.moduleOf[static_cast<size_t>(k) * 8 + b];
            if (m >= 0 && ((stream[k] >> (7 - b)) & 1)) {
                r.moduleMatrix[m] = norvale::kModuleSampled;
            }
        }
    }
}

void EncodedMode(int sizeIndex, const uint8_t* entries, size_t entryCount, const uint8_t* payload,
                 size_t payloadSize)
{
    const norvale::SymbolSize& size = kSymbolSizeTable[sizeIndex];
    const PlacementMap& map = MapFor(sizeIndex);
    CodewordRecord holder(sizeIndex);
    norvale::SymbolRecord& r = holder.record;
    const int total = r.totalCodewords;

    std::vector<uint8_t> clean(static_cast<size_t>(size.dataCodewords));
    for (int k = 0; k < size.dataCodewords; ++k) {
        clean[k] = static_cast<size_t>(k) < payloadSize
                       ? payload[k]
                       : PadCodeword(k + 1, static_cast<size_t>(k) == payloadSize);
    }
    norvale::test::TestEncodeSymbol(clean, sizeIndex);

    std::vector<uint8_t> damage(static_cast<size_t>(total), 0);
    std::vector<bool> erased(static_cast<size_t>(total), false);
    std::vector<int> erasedModuleBit(static_cast<size_t>(total), 0);
    for (size_t e = 0; e < entryCount; ++e) {
        const uint8_t* entry = entries + e * kEntryBytes;
        const uint16_t word = static_cast<uint16_t>(entry[0] | entry[1] << 8);
        const int k = (word & ~kErasedBit) % total;
        damage[k] ^= entry[2];
        if (word & kErasedBit) {
            erased[k] = true;
            erasedModuleBit[k] = entry[2] % 8;
        }
    }
    std::vector<uint8_t> stream = clean;
    for (int k = 0; k < total; ++k) {
        stream[k] ^= damage[k];
    }
    WriteCodewords(r, stream, map);
    for (int k = 0; k < total; ++k) {
        // An erased codeword whose chosen module is unused is erased through its first used one.
        for (int b = 0; erased[k] && b < 8; ++b) {
            const int32_t m = map.moduleOf[static_cast<size_t>(k) * 8 + (erasedModuleBit[k] + b) % 8];
            if (m >= 0) {
                r.moduleMatrix[m] |= norvale::kModuleErased;
                break;
            }
        }
    }

    norvale::PlaceCodewords(r);
    if (std::memcmp(r.codewords, stream.data(), static_cast<size_t>(total)) != 0) {
        std::abort(); // placement must read back exactly what was written
    }
    const int corrected = norvale::CorrectCodewords(r);

    // Within reach: per block 2 errors + erasures <= n, erasures <= n - margin (none for the two
    // smallest sizes), and a valid first codeword.
    const int blocks = size.blockCount;
    const int n = size.eccCodewords / blocks;
    bool withinReach = clean[0] >= kFirstCodewordMin && clean[0] <= kFirstCodewordMax;
    for (int b = 0; b < blocks; ++b) {
        int errors = 0;
        int erasures = 0;
        for (int k = b; k < total; k += blocks) {
            if (erased[k]) {
                ++erasures;
            } else if (damage[k] != 0) {
                ++errors;
            }
        }
        const int erasureLimit = size.maxErasures == 0 ? 0 : n - kErasureMargin;
        withinReach = withinReach && 2 * errors + erasures <= n && erasures <= erasureLimit;
    }
    if (withinReach &&
        (corrected != 1 || std::memcmp(r.codewords, clean.data(), static_cast<size_t>(total)) != 0)) {
        std::abort(); // a correctable damage was refused or miscorrected
    }
    if (corrected == 1) {
        norvale::DecodeDataCodewords(r);
    }
}

void RawMode(int sizeIndex, const uint8_t* entries, size_t entryCount, const uint8_t* payload,
             size_t payloadSize)
{
    CodewordRecord holder(sizeIndex);
    norvale::SymbolRecord& r = holder.record;
    for (uint32_t m = 0; m < r.matrixSize; ++m) {
        const bool dark = m / 8 < payloadSize && ((payload[m / 8] >> (m % 8)) & 1);
        r.moduleMatrix[m] =
            static_cast<uint8_t>(norvale::kModuleSampled | (dark ? 0 : norvale::kModuleLight));
    }
    for (size_t e = 0; e < entryCount; ++e) {
        const uint8_t* entry = entries + e * kEntryBytes;
        const uint32_t word = static_cast<uint32_t>(entry[0] | entry[1] << 8 | entry[2] << 16);
        r.moduleMatrix[word % r.matrixSize] |= norvale::kModuleErased;
    }
    norvale::PlaceCodewords(r);
    if (norvale::CorrectCodewords(r) == 1) {
        norvale::DecodeDataCodewords(r);
    }
}

// The data decoder on the payload taken as data codewords directly, corrected or not: it must
// stay within its buffer for any stream.
void RawDataMode(int sizeIndex, const uint8_t* payload, size_t payloadSize)
{
    CodewordRecord holder(sizeIndex);
    norvale::SymbolRecord& r = holder.record;
    const size_t copied =
        payloadSize < static_cast<size_t>(r.totalCodewords) ? payloadSize : r.totalCodewords;
    std::memcpy(r.codewords, payload, copied);
    norvale::DecodeDataCodewords(r);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes) {
        return 0;
    }
    const int sizeIndex = data[0] % kSymbolSizeCount;
    const bool raw = (data[1] & 1) != 0;
    size_t entryCount = data[2];
    if (entryCount * kEntryBytes > size - kHeaderBytes) {
        entryCount = (size - kHeaderBytes) / kEntryBytes;
    }
    const uint8_t* entries = data + kHeaderBytes;
    const uint8_t* payload = entries + entryCount * kEntryBytes;
    const size_t payloadSize = size - kHeaderBytes - entryCount * kEntryBytes;
    if (raw) {
        RawMode(sizeIndex, entries, entryCount, payload, payloadSize);
    } else {
        EncodedMode(sizeIndex, entries, entryCount, payload, payloadSize);
    }
    RawDataMode(sizeIndex, payload, payloadSize);
    return 0;
}
