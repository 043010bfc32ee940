// Test helpers for the codeword stages: a SymbolRecord with the buffers size selection would
// allocate, and a systematic Reed-Solomon encoder built from the generator polynomial.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"

namespace norvale::test {

// Owns one record and releases its buffers.
struct CodewordRecord
{
    SymbolRecord record{};

    explicit CodewordRecord(int sizeIndex)
    {
        const SymbolSize& size = kSymbolSizeTable[sizeIndex];
        record.sizeIndex = sizeIndex;
        record.regionCount = static_cast<uint32_t>(size.regionCount);
        int alignment = 0;
        for (int regionsPerSide = 1; regionsPerSide * regionsPerSide < size.regionCount; ++regionsPerSide) {
            alignment += 2;
        }
        record.matrixRows = record.matrixCols = size.side - 2 - alignment;
        record.matrixSize = static_cast<uint32_t>(record.matrixRows * record.matrixCols);
        record.totalCodewords = size.dataCodewords + size.eccCodewords;
        record.dataCapacity = static_cast<uint32_t>(10 * record.totalCodewords);
        record.moduleMatrix = static_cast<uint8_t*>(std::calloc(record.matrixSize, 1));
        record.codewords = static_cast<uint8_t*>(std::calloc(record.totalCodewords, 1));
        record.erasures = static_cast<uint16_t*>(std::calloc(record.totalCodewords, sizeof(uint16_t)));
        record.data = static_cast<uint8_t*>(std::calloc(record.dataCapacity, 1));
    }
    ~CodewordRecord() { ReleaseSymbolBuffers(record); }
    CodewordRecord(const CodewordRecord&) = delete;
    CodewordRecord& operator=(const CodewordRecord&) = delete;

    std::vector<uint8_t> Codewords() const
    {
        return std::vector<uint8_t>(record.codewords, record.codewords + record.totalCodewords);
    }
    std::vector<uint8_t> Data() const
    {
        return std::vector<uint8_t>(record.data, record.data + record.dataLength);
    }
};

// GF(256) on 0x12D, written independently of the decoder's tables.
inline int TestGfMul(int a, int b)
{
    int product = 0;
    while (b != 0) {
        if (b & 1) {
            product ^= a;
        }
        a <<= 1;
        if (a & 0x100) {
            a ^= 0x12D;
        }
        b >>= 1;
    }
    return product;
}

// Generator with roots alpha^1..alpha^n, coefficient j of x^j (monic, degree n).
inline std::vector<int> TestGenerator(int n)
{
    std::vector<int> g{1};
    int root = 1;
    for (int i = 1; i <= n; ++i) {
        root = TestGfMul(root, 2);
        std::vector<int> next(g.size() + 1, 0);
        for (size_t j = 0; j < g.size(); ++j) {
            next[j + 1] ^= g[j];
            next[j] ^= TestGfMul(g[j], root);
        }
        g = next;
    }
    return g;
}

// Check codewords of one block: the remainder of data(x) x^n divided by the generator.
inline std::vector<uint8_t> TestEncodeBlock(const std::vector<uint8_t>& data, int n)
{
    const std::vector<int> g = TestGenerator(n);
    std::vector<int> remainder(n, 0); // remainder[0] is the highest power
    for (uint8_t d : data) {
        const int feedback = d ^ remainder[0];
        for (int j = 0; j + 1 < n; ++j) {
            remainder[j] = remainder[j + 1] ^ TestGfMul(feedback, g[n - 1 - j]);
        }
        remainder[n - 1] = TestGfMul(feedback, g[0]);
    }
    return std::vector<uint8_t>(remainder.begin(), remainder.end());
}

// Fills the check codewords of a whole symbol: codeword k belongs to block k mod blocks.
inline void TestEncodeSymbol(std::vector<uint8_t>& codewords, int sizeIndex)
{
    const SymbolSize& size = kSymbolSizeTable[sizeIndex];
    const int blocks = size.blockCount;
    const int n = size.eccCodewords / blocks;
    const int total = size.dataCodewords + size.eccCodewords;
    codewords.resize(total);
    for (int b = 0; b < blocks; ++b) {
        std::vector<uint8_t> data;
        for (int k = b; k < size.dataCodewords; k += blocks) {
            data.push_back(codewords[k]);
        }
        const std::vector<uint8_t> check = TestEncodeBlock(data, n);
        int j = 0;
        for (int k = size.dataCodewords; k < total; ++k) {
            if (k % blocks == b) {
                codewords[k] = check[j++];
            }
        }
    }
}

// True when every block of the symbol is a code word (all syndromes zero).
inline bool TestSymbolIsConsistent(const std::vector<uint8_t>& codewords, int sizeIndex)
{
    const SymbolSize& size = kSymbolSizeTable[sizeIndex];
    const int blocks = size.blockCount;
    const int n = size.eccCodewords / blocks;
    for (int b = 0; b < blocks; ++b) {
        int a = 1;
        for (int j = 1; j <= n; ++j) {
            a = TestGfMul(a, 2);
            int s = 0;
            for (size_t k = b; k < codewords.size(); k += blocks) {
                s = TestGfMul(s, a) ^ codewords[k];
            }
            if (s != 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace norvale::test
