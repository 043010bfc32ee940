// Reed-Solomon correction: placed codewords in, the same codewords corrected in place out, block
// by block, with the codewords that hold erased modules as erasures.
#include "decoder/codewords/reed_solomon.h"

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
    for (int j = 0; j < decoder.eccPerBlock; ++j) {
        const int a = GfPow(j + 1);
        int s = 0;
        for (int p = 0; p < length; ++p) {
            s = GfMul(s, a) ^ block[p];
        }
        decoder.syndromes[j] = s;
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
    const int n = decoder.eccPerBlock;
    const int twoN = decoder.twoN;
    // A GF(256) code word has at most 255 symbols: longer blocks have no distinct locations.
    if (erasureCount < 0 || erasureCount >= n || length < 1 || length > kFieldOrder) {
        return 0;
    }
    const int32_t* s = decoder.syndromes;
    int32_t* lambda = decoder.locator;
    std::memset(lambda, 0, sizeof decoder.locator);
    std::memset(decoder.evaluator, 0, sizeof decoder.evaluator);
    decoder.rootCount = 0;

    // Erasure locator: Gamma(x) = prod (1 + X x), X = alpha^(len - 1 - p), built in lambda.
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

    // Berlekamp-Massey from the erasure locator: D = x Gamma, L = rho, k = -1.
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

    // Evaluator: Omega = (S Lambda) mod x^n.
    int32_t* omega = decoder.evaluator;
    for (int i = 0; i < n; ++i) {
        int sum = 0;
        for (int j = 0; j <= i; ++j) {
            sum ^= GfMul(s[i - j], lambda[j]);
        }
        omega[i] = sum;
    }

    // Chien search: Lambda(alpha^i) = 0 puts an error at exponent 255 - i.
    for (int i = 1; i <= kFieldOrder; ++i) {
        if (EvaluatePoly(lambda, twoN, GfPow(i)) != 0) {
            continue;
        }
        if (decoder.rootCount >= n) {
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

    // Forney (first root alpha^1): value = Omega(X^-1) / Lambda'(X^-1).
    for (int r = 0; r < decoder.rootCount; ++r) {
        const int c = decoder.roots[r];
        const int xInverse = GfPow(kFieldOrder - c);
        const int numerator = EvaluatePoly(omega, n, xInverse);
        int denominator = 0;
        for (int j = 1; j < twoN; j += 2) {
            denominator ^= GfMul(lambda[j], GfPow((j - 1) * kGf.log[xInverse]));
        }
        if (denominator == 0) {
            return 0;
        }
        block[length - 1 - c] ^= static_cast<uint8_t>(GfMul(numerator, GfInv(denominator)));
    }
    return decoder.rootCount;
}

int CorrectCodewords(SymbolRecord& record)
{
    if (record.sizeIndex < 0 || record.sizeIndex >= kSymbolSizeCount || record.codewords == nullptr) {
        return 0;
    }
    const SymbolSize& size = kSymbolSizeTable[record.sizeIndex];
    const int total = record.totalCodewords;
    if (total != size.dataCodewords + size.eccCodewords) {
        return 0;
    }
    if (record.erasureCount > size.maxErasures || (record.erasureCount > 0 && record.erasures == nullptr)) {
        return 0;
    }
    record.correctedCount = 0;
    const int blocks = size.blockCount;
    // Codeword k of the interleaved stream (data, then check codewords) belongs to block
    // k mod blocks, so when the total does not divide evenly the first blocks are one longer.
    const int longest = (total + blocks - 1) / blocks;
    RsDecoder* decoder = RsCreate(size.eccCodewords / blocks);
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(longest)));
    if (decoder == nullptr || block == nullptr) {
        RsDestroy(decoder);
        std::free(block);
        return 0;
    }
    uint16_t blockErasures[256];
    int result = 1;
    for (int b = 0; b < blocks && result; ++b) {
        const int length = (total - b + blocks - 1) / blocks;
        for (int p = 0; p < length; ++p) {
            block[p] = record.codewords[b + p * blocks];
        }
        int erased = 0;
        for (int32_t e = 0; e < record.erasureCount; ++e) {
            const int index = record.erasures[e];
            if (index < total && index % blocks == b && erased < 256) {
                blockErasures[erased++] = static_cast<uint16_t>(index / blocks);
            }
        }
        RsSyndromes(*decoder, block, length);
        if (!RsHasErrors(*decoder)) {
            continue;
        }
        const int corrected = RsDecode(*decoder, block, length, erased, blockErasures);
        if (corrected == 0) {
            result = 0;
            break;
        }
        RsSyndromes(*decoder, block, length);
        if (RsHasErrors(*decoder)) {
            record.correctedCount = -1;
            result = 0;
            break;
        }
        record.correctedCount += corrected;
        for (int p = 0; p < length; ++p) {
            record.codewords[b + p * blocks] = block[p];
        }
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
