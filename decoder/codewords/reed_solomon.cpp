// Reed-Solomon correction: placed codewords in, the same codewords corrected in place out, block
// by block, with the codewords that hold erased modules as erasures.
#include "decoder/codewords/reed_solomon.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"

namespace norvale {
namespace {

// GF(256) on x^8 + x^5 + x^3 + x^2 + 1 with alpha = 2. exp[255] = 1 and log[1] = 255, so
// exponents may be taken mod 255 anywhere.
constexpr int kFieldPolynomial = 0x12D;
constexpr int kFieldOrder = 255;

struct GaloisTables
{
    uint8_t exp[256];
    uint8_t log[256];
};

constexpr GaloisTables BuildGaloisTables()
{
    GaloisTables tables{};
    int value = 1;
    for (int i = 0; i < kFieldOrder; ++i) {
        tables.exp[i] = static_cast<uint8_t>(value);
        value <<= 1;
        if (value & 0x100) {
            value ^= kFieldPolynomial;
        }
    }
    tables.exp[kFieldOrder] = 1;
    for (int i = 1; i < kFieldOrder; ++i) {
        tables.log[tables.exp[i]] = static_cast<uint8_t>(i);
    }
    tables.log[1] = kFieldOrder;
    return tables;
}

constexpr GaloisTables kGf = BuildGaloisTables();

// The most check codewords in one block of any symbol size.
constexpr int MostEccPerBlock()
{
    int most = 0;
    for (const SymbolSize& size : kSymbolSizeTable) {
        most = std::max(most, size.eccCodewords / size.blockCount);
    }
    return most;
}

// Syndrome j's Horner step multiplies by alpha^(j + 1): for the blocks of the symbol sizes that
// product is one table read, times[j][s], instead of a logarithm, an addition and a power.
constexpr int kTabledSyndromes = MostEccPerBlock();

struct SyndromeSteps
{
    uint8_t times[kTabledSyndromes][256];
};

constexpr SyndromeSteps BuildSyndromeSteps()
{
    SyndromeSteps steps{};
    for (int j = 0; j < kTabledSyndromes; ++j) {
        for (int s = 1; s < 256; ++s) {
            steps.times[j][s] = kGf.exp[(kGf.log[s] + j + 1) % kFieldOrder];
        }
    }
    return steps;
}

constexpr SyndromeSteps kSyndromeSteps = BuildSyndromeSteps();

int GfMul(int a, int b)
{
    if (a == 0 || b == 0) {
        return 0;
    }
    return kGf.exp[(kGf.log[a] + kGf.log[b]) % kFieldOrder];
}

int GfInv(int a)
{
    return kGf.exp[kFieldOrder - kGf.log[a]];
}

// alpha^e for any e >= 0.
int GfPow(int e)
{
    return kGf.exp[e % kFieldOrder];
}

int EvaluatePoly(const int32_t* poly, int count, int x)
{
    int sum = 0;
    for (int j = count - 1; j >= 0; --j) {
        sum = GfMul(sum, x) ^ poly[j];
    }
    return sum;
}

// The erasure locator Gamma(x) = prod (1 + X x), X = alpha^(len - 1 - p), built in the locator
// so that Berlekamp-Massey starts from the known error locations; the erasures are kept in the
// decoder. 0 when an erasure lies outside the block.
int FormErasureLocator(RsDecoder& decoder, int length, int erasureCount, const uint16_t* erasurePositions)
{
    int32_t* lambda = decoder.locator;
    lambda[0] = 1;
    for (int e = 0; e < erasureCount; ++e) {
        const int p = erasurePositions[e];
        if (p >= length) {
            return 0;
        }
        decoder.erasurePositions[e] = static_cast<uint16_t>(p);
        const int x = GfPow(length - 1 - p);
        for (int j = e + 1; j >= 1; --j) {
            lambda[j] ^= GfMul(x, lambda[j - 1]);
        }
    }
    decoder.erasureCount = static_cast<uint16_t>(erasureCount);
    return 1;
}

// Berlekamp-Massey from the erasure locator (D = x Gamma, L = rho, k = -1): the syndromes past
// the erasures extend the locator in place to the errors-and-erasures locator Lambda.
void ExtendLocator(RsDecoder& decoder, int erasureCount)
{
    const int n = decoder.eccPerBlock;
    const int twoN = decoder.twoN;
    const int32_t* s = decoder.syndromes;
    int32_t* lambda = decoder.locator;
    int32_t d[512] = {};
    int32_t next[512];
    for (int j = 0; j + 1 < twoN; ++j) {
        d[j + 1] = lambda[j];
    }
    int order = erasureCount;
    int k = -1;
    for (int i = erasureCount; i < n; ++i) {
        int discrepancy = 0;
        for (int j = 0; j <= order && j <= i; ++j) {
            discrepancy ^= GfMul(lambda[j], s[i - j]);
        }
        if (discrepancy != 0) {
            for (int j = 0; j < twoN; ++j) {
                next[j] = lambda[j] ^ GfMul(discrepancy, d[j]);
            }
            if (order < i - k) {
                const int newOrder = i - k;
                k = i - order;
                const int inverse = GfInv(discrepancy);
                for (int j = 0; j < twoN; ++j) {
                    d[j] = GfMul(lambda[j], inverse);
                }
                order = newOrder;
            }
            std::memcpy(lambda, next, sizeof(int32_t) * twoN);
        }
        for (int j = twoN - 1; j >= 1; --j) {
            d[j] = d[j - 1];
        }
        d[0] = 0;
    }
}

// The evaluator Omega = (S Lambda) mod x^n, the numerator of every error value.
void FormEvaluator(RsDecoder& decoder)
{
    const int32_t* s = decoder.syndromes;
    for (int i = 0; i < decoder.eccPerBlock; ++i) {
        int sum = 0;
        for (int j = 0; j <= i; ++j) {
            sum ^= GfMul(s[i - j], decoder.locator[j]);
        }
        decoder.evaluator[i] = sum;
    }
}

// Chien search: Lambda(alpha^i) = 0 puts an error at exponent 255 - i. 0 when there is no root,
// more roots than check codewords or a root outside the block: the block then holds more errors
// than its check codewords can locate.
int FindErrorLocations(RsDecoder& decoder, int length)
{
    for (int i = 1; i <= kFieldOrder; ++i) {
        if (EvaluatePoly(decoder.locator, decoder.twoN, GfPow(i)) != 0) {
            continue;
        }
        if (decoder.rootCount >= decoder.eccPerBlock) {
            return 0;
        }
        decoder.roots[decoder.rootCount++] = static_cast<uint16_t>(kFieldOrder - i);
    }
    if (decoder.rootCount == 0) {
        return 0;
    }
    for (int r = 0; r < decoder.rootCount; ++r) {
        if (decoder.roots[r] >= length) {
            return 0;
        }
    }
    return 1;
}

// Forney (first root alpha^1): value = Omega(X^-1) / Lambda'(X^-1), added to the block at each
// location. 0 on a zero denominator, which no true locator has.
int CorrectErrorValues(const RsDecoder& decoder, uint8_t* block, int length)
{
    const int32_t* lambda = decoder.locator;
    for (int r = 0; r < decoder.rootCount; ++r) {
        const int c = decoder.roots[r];
        const int xInverse = GfPow(kFieldOrder - c);
        const int numerator = EvaluatePoly(decoder.evaluator, decoder.eccPerBlock, xInverse);
        int denominator = 0;
        for (int j = 1; j < decoder.twoN; j += 2) {
            denominator ^= GfMul(lambda[j], GfPow((j - 1) * kGf.log[xInverse]));
        }
        if (denominator == 0) {
            return 0;
        }
        block[length - 1 - c] ^= static_cast<uint8_t>(GfMul(numerator, GfInv(denominator)));
    }
    return 1;
}

} // namespace

RsDecoder* RsCreate(int eccPerBlock)
{
    if (eccPerBlock < 1 || eccPerBlock > kRsMaxEccPerBlock) {
        return nullptr;
    }
    auto* decoder = static_cast<RsDecoder*>(std::calloc(1, sizeof(RsDecoder)));
    if (decoder == nullptr) {
        return nullptr;
    }
    decoder->eccPerBlock = static_cast<uint16_t>(eccPerBlock);
    decoder->twoN = static_cast<uint16_t>(2 * eccPerBlock);
    return decoder;
}

void RsDestroy(RsDecoder* decoder)
{
    std::free(decoder);
}

void RsSyndromes(RsDecoder& decoder, const uint8_t* block, int length)
{
    // Every syndrome is its own Horner chain, s = s alpha^(j + 1) + codeword. The chains advance
    // side by side, one codeword at a time, so that their table look-ups overlap instead of each
    // waiting for the one before. The chains past the tabled ones (only decoders made for longer
    // blocks than any symbol's) multiply by adding j + 1 to the logarithm.
    const int n = decoder.eccPerBlock;
    const int tabled = std::min(n, kTabledSyndromes);
    int32_t* s = decoder.syndromes;
    for (int j = 0; j < n; ++j) {
        s[j] = 0;
    }
    for (int p = 0; p < length; ++p) {
        const int codeword = block[p];
        for (int j = 0; j < tabled; ++j) {
            s[j] = kSyndromeSteps.times[j][s[j]] ^ codeword;
        }
        for (int j = tabled; j < n; ++j) {
            int product = 0;
            if (s[j] != 0) {
                const int e = kGf.log[s[j]] + j + 1; // below 2 x 255
                product = kGf.exp[e >= kFieldOrder ? e - kFieldOrder : e];
            }
            s[j] = product ^ codeword;
        }
    }
}

int RsHasErrors(const RsDecoder& decoder)
{
    for (int j = 0; j < decoder.eccPerBlock; ++j) {
        if (decoder.syndromes[j] != 0) {
            return 1;
        }
    }
    return 0;
}

int RsDecode(RsDecoder& decoder, uint8_t* block, int length, int erasureCount,
             const uint16_t* erasurePositions)
{
    // A GF(256) code word has at most 255 symbols: longer blocks have no distinct locations.
    if (erasureCount < 0 || erasureCount >= decoder.eccPerBlock || length < 1 || length > kFieldOrder) {
        return 0;
    }
    std::memset(decoder.locator, 0, sizeof decoder.locator);
    std::memset(decoder.evaluator, 0, sizeof decoder.evaluator);
    decoder.rootCount = 0;
    if (!FormErasureLocator(decoder, length, erasureCount, erasurePositions)) {
        return 0;
    }
    ExtendLocator(decoder, erasureCount);
    FormEvaluator(decoder);
    if (!FindErrorLocations(decoder, length) || !CorrectErrorValues(decoder, block, length)) {
        return 0;
    }
    return decoder.rootCount;
}

namespace {

// The size entry of a record whose codeword count and erasures agree with its size, or nullptr.
const SymbolSize* CheckedSymbolSize(const SymbolRecord& record)
{
    if (record.sizeIndex < 0 || record.sizeIndex >= kSymbolSizeCount || record.codewords == nullptr) {
        return nullptr;
    }
    const SymbolSize& size = kSymbolSizeTable[record.sizeIndex];
    if (record.totalCodewords != size.dataCodewords + size.eccCodewords) {
        return nullptr;
    }
    if (record.erasureCount > size.maxErasures || (record.erasureCount > 0 && record.erasures == nullptr)) {
        return nullptr;
    }
    return &size;
}

// Corrects block b of the interleaved stream in place in the record and adds its corrections to
// `correctedCount`. Codeword k of the stream (data, then check codewords) is position k / blocks
// of block k mod blocks. 0 when the block cannot be corrected; `correctedCount` becomes -1 when a
// correction leaves it inconsistent.
int CorrectBlock(SymbolRecord& record, int blocks, int b, RsDecoder& decoder, uint8_t* block)
{
    const int total = record.totalCodewords;
    const int length = (total - b + blocks - 1) / blocks;
    for (int p = 0; p < length; ++p) {
        block[p] = record.codewords[b + p * blocks];
    }
    constexpr int kMaxBlockErasures = 256;
    uint16_t blockErasures[kMaxBlockErasures];
    int erased = 0;
    for (int32_t e = 0; e < record.erasureCount; ++e) {
        const int index = record.erasures[e];
        if (index < total && index % blocks == b && erased < kMaxBlockErasures) {
            blockErasures[erased++] = static_cast<uint16_t>(index / blocks);
        }
    }
    RsSyndromes(decoder, block, length);
    if (!RsHasErrors(decoder)) {
        return 1;
    }
    const int corrected = RsDecode(decoder, block, length, erased, blockErasures);
    if (corrected == 0) {
        return 0;
    }
    RsSyndromes(decoder, block, length);
    if (RsHasErrors(decoder)) {
        record.correctedCount = -1;
        return 0;
    }
    record.correctedCount += corrected;
    for (int p = 0; p < length; ++p) {
        record.codewords[b + p * blocks] = block[p];
    }
    return 1;
}

} // namespace

int CorrectCodewords(SymbolRecord& record)
{
    const SymbolSize* size = CheckedSymbolSize(record);
    if (size == nullptr) {
        return 0;
    }
    record.correctedCount = 0;
    const int blocks = size->blockCount;
    // When the total does not divide evenly the first blocks are one longer.
    const int longest = (record.totalCodewords + blocks - 1) / blocks;
    RsDecoder* decoder = RsCreate(size->eccCodewords / blocks);
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(longest)));
    if (decoder == nullptr || block == nullptr) {
        RsDestroy(decoder);
        std::free(block);
        return 0;
    }
    int result = 1;
    for (int b = 0; b < blocks && result; ++b) {
        result = CorrectBlock(record, blocks, b, *decoder, block);
    }
    RsDestroy(decoder);
    std::free(block);
    if (!result) {
        return 0;
    }
    // No symbol starts with codeword 0 or with one above ECI (241).
    constexpr int kLastFirstCodeword = 241;
    if (record.codewords[0] < 1 || record.codewords[0] > kLastFirstCodeword) {
        record.correctedCount = -1;
        return 0;
    }
    return 1;
}

} // namespace norvale
