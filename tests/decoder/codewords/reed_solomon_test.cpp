#include "decoder/codewords/reed_solomon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decoder/base/symbol_sizes.h"
#include "decoder/codewords/codeword_record_support.h"

namespace norvale {
namespace {

using test::CodewordRecord;
using test::TestEncodeSymbol;
using test::TestSymbolIsConsistent;

// A clean symbol of random data with a valid first codeword.
std::vector<uint8_t> MakeSymbol(int sizeIndex, std::mt19937& rng)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> codewords(kSymbolSizeTable[sizeIndex].dataCodewords);
    for (uint8_t& c : codewords) {
        c = static_cast<uint8_t>(byte(rng));
    }
    codewords[0] = static_cast<uint8_t>(1 + byte(rng) % 241);
    TestEncodeSymbol(codewords, sizeIndex);
    return codewords;
}

void Load(CodewordRecord& symbol, const std::vector<uint8_t>& codewords,
          const std::vector<int>& erasures = {})
{
    std::copy(codewords.begin(), codewords.end(), symbol.record.codewords);
    symbol.record.erasureCount = static_cast<int32_t>(erasures.size());
    for (size_t i = 0; i < erasures.size(); ++i) {
        symbol.record.erasures[i] = static_cast<uint16_t>(erasures[i]);
    }
}

struct Damage
{
    std::vector<uint8_t> codewords;
    std::vector<int> erasures;
    int errorCount = 0;
};

// Per block: `erased` codewords listed as erasures (their values randomised, perhaps unchanged)
// and `errors` more codewords changed without notice, all at distinct positions.
Damage DamageSymbol(std::vector<uint8_t> codewords, int sizeIndex, std::mt19937& rng,
                    const std::vector<std::pair<int, int>>& perBlock)
{
    const int blocks = kSymbolSizeTable[sizeIndex].blockCount;
    const int total = static_cast<int>(codewords.size());
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> nonzero(1, 255);
    Damage damage;
    for (int b = 0; b < blocks; ++b) {
        std::vector<int> indices;
        for (int k = b; k < total; k += blocks) {
            indices.push_back(k);
        }
        std::shuffle(indices.begin(), indices.end(), rng);
        const auto [erased, errors] = perBlock[b];
        for (int i = 0; i < erased; ++i) {
            codewords[indices[i]] = static_cast<uint8_t>(byte(rng));
            damage.erasures.push_back(indices[i]);
        }
        for (int i = erased; i < erased + errors; ++i) {
            codewords[indices[i]] ^= static_cast<uint8_t>(nonzero(rng));
        }
        damage.errorCount += errors;
    }
    damage.codewords = codewords;
    return damage;
}

struct LayoutCase
{
    const char* name;
    int side;
};

// Every size; the block layouts are 1, 2, 4, 6, 8 and 10 blocks.
constexpr LayoutCase kLayoutCases[] = {
    {"Side10OneBlock", 10},    {"Side12OneBlock", 12},      {"Side14OneBlock", 14},
    {"Side16OneBlock", 16},    {"Side18OneBlock", 18},      {"Side20OneBlock", 20},
    {"Side22OneBlock", 22},    {"Side24OneBlock", 24},      {"Side26OneBlock", 26},
    {"Side32OneBlock", 32},    {"Side36OneBlock", 36},      {"Side40OneBlock", 40},
    {"Side44OneBlock", 44},    {"Side48OneBlock", 48},      {"Side52TwoBlocks", 52},
    {"Side64TwoBlocks", 64},   {"Side72FourBlocks", 72},    {"Side80FourBlocks", 80},
    {"Side88FourBlocks", 88},  {"Side96FourBlocks", 96},    {"Side104SixBlocks", 104},
    {"Side120SixBlocks", 120}, {"Side132EightBlocks", 132}, {"Side144TenBlocks", 144},
};

class ReedSolomonTest : public ::testing::TestWithParam<LayoutCase>
{
};

constexpr int kTrials = 40;

TEST_P(ReedSolomonTest, ErrorsAndErasuresWithinCapacityAreCorrected)
{
    const int index = FindSymbolSizeIndex(GetParam().side);
    const SymbolSize& size = kSymbolSizeTable[index];
    const int n = size.eccCodewords / size.blockCount;
    const int erasuresPerBlock = size.maxErasures / size.blockCount;
    std::mt19937 rng(static_cast<unsigned>(GetParam().side));
    for (int trial = 0; trial < kTrials; ++trial) {
        const std::vector<uint8_t> clean = MakeSymbol(index, rng);
        std::vector<std::pair<int, int>> perBlock;
        for (int b = 0; b < size.blockCount; ++b) {
            // Alternate full-capacity trials with random mixes of erasures and errors.
            const int erased =
                trial % 2 ? erasuresPerBlock : static_cast<int>(rng() % (erasuresPerBlock + 1));
            const int errors =
                trial % 2 ? (n - erased) / 2 : static_cast<int>(rng() % ((n - erased) / 2 + 1));
            perBlock.push_back({erased, errors});
        }
        const Damage damage = DamageSymbol(clean, index, rng, perBlock);
        CodewordRecord symbol(index);
        Load(symbol, damage.codewords, damage.erasures);
        ASSERT_EQ(CorrectCodewords(symbol.record), 1) << "trial " << trial;
        EXPECT_EQ(symbol.Codewords(), clean) << "trial " << trial;
        EXPECT_GE(symbol.record.correctedCount, damage.errorCount);
        EXPECT_LE(symbol.record.correctedCount, damage.errorCount + static_cast<int>(damage.erasures.size()));
    }
}

TEST_P(ReedSolomonTest, BeyondCapacityIsRefusedOrConsistent)
{
    const int index = FindSymbolSizeIndex(GetParam().side);
    const SymbolSize& size = kSymbolSizeTable[index];
    const int n = size.eccCodewords / size.blockCount;
    const int erasuresPerBlock = size.maxErasures / size.blockCount;
    std::mt19937 rng(static_cast<unsigned>(1000 + GetParam().side));
    for (int trial = 0; trial < kTrials; ++trial) {
        const std::vector<uint8_t> clean = MakeSymbol(index, rng);
        std::vector<std::pair<int, int>> perBlock(size.blockCount, {0, 0});
        // One block past its capacity (without erasures on even trials), the others at capacity
        // or clean.
        const int bad = static_cast<int>(rng() % size.blockCount);
        const bool plainErrors = trial % 2 == 0;
        for (int b = 0; b < size.blockCount; ++b) {
            const int erased = b == bad && plainErrors ? 0 : static_cast<int>(rng() % (erasuresPerBlock + 1));
            const int capacity = (n - erased) / 2;
            perBlock[b] = {erased,
                           b == bad ? capacity + 1 + static_cast<int>(rng() % 3) : capacity * (trial % 2)};
        }
        const Damage damage = DamageSymbol(clean, index, rng, perBlock);
        CodewordRecord symbol(index);
        Load(symbol, damage.codewords, damage.erasures);
        if (CorrectCodewords(symbol.record) == 0) {
            continue;
        }
        // Accepted only as a code word of the symbol, never with inconsistent codewords. With
        // many erasures few check codewords are left to detect errors, so another code word
        // may be reached; with plain errors and 10 or more check codewords it never is in
        // practice.
        EXPECT_TRUE(TestSymbolIsConsistent(symbol.Codewords(), index)) << "trial " << trial;
        EXPECT_GE(symbol.record.correctedCount, 1);
        EXPECT_FALSE(plainErrors && n >= 10) << "trial " << trial;
    }
}

TEST_P(ReedSolomonTest, TooManyErasuresAreRefusedAtOnce)
{
    const int index = FindSymbolSizeIndex(GetParam().side);
    const SymbolSize& size = kSymbolSizeTable[index];
    std::mt19937 rng(7);
    const std::vector<uint8_t> clean = MakeSymbol(index, rng);
    std::vector<int> erasures(size.maxErasures + 1);
    std::iota(erasures.begin(), erasures.end(), 0);
    CodewordRecord symbol(index);
    Load(symbol, clean, erasures);
    symbol.record.correctedCount = 5;
    EXPECT_EQ(CorrectCodewords(symbol.record), 0);
    EXPECT_EQ(symbol.record.correctedCount, 5); // left as it was
}

INSTANTIATE_TEST_SUITE_P(Layouts, ReedSolomonTest, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Symbols with chosen codewords changed; erasures are listed by codeword index.
struct EdgeCase
{
    const char* name;
    int side;
    std::vector<int> wrong;
    std::vector<int> erased;
    int corrects;       // expected result
    int correctedCount; // when corrected
};

const std::vector<EdgeCase> kEdgeCases = {
    {"CleanSymbol", 10, {}, {}, 1, 0},
    {"TenOneWrongCodeword", 10, {6}, {}, 1, 1},
    {"TenTwoWrongCodewords", 10, {0, 7}, {}, 1, 2},
    {"TenOneErasureRefused", 10, {}, {3}, 0, 0},
    {"TwelveOneErasureRefused", 12, {}, {0}, 0, 0},
    {"FourteenSevenErasures", 14, {0, 1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6}, 1, 7},
    {"FourteenEightErasuresRefused", 14, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, 0, 0},
    {"FiftyTwoCodewordFiveInSecondBlock", 52, {5}, {}, 1, 1},
    {"OneFortyFourEndsOfLongBlocks", 144, {2170, 2171, 2177, 2168, 2169}, {}, 1, 5},
    {"OneFortyFourLongBlockErasure", 144, {2177}, {2177}, 1, 1},
};

class ReedSolomonEdgeTest : public ::testing::TestWithParam<EdgeCase>
{
};

TEST_P(ReedSolomonEdgeTest, CorrectsOrRefuses)
{
    const EdgeCase& param = GetParam();
    const int index = FindSymbolSizeIndex(param.side);
    std::mt19937 rng(11);
    const std::vector<uint8_t> clean = MakeSymbol(index, rng);
    std::vector<uint8_t> damaged = clean;
    for (int k : param.wrong) {
        damaged[k] ^= 0x5A;
    }
    CodewordRecord symbol(index);
    Load(symbol, damaged, param.erased);
    ASSERT_EQ(CorrectCodewords(symbol.record), param.corrects);
    if (param.corrects) {
        EXPECT_EQ(symbol.Codewords(), clean);
        EXPECT_EQ(symbol.record.correctedCount, param.correctedCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReedSolomonEdgeTest, ::testing::ValuesIn(kEdgeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReedSolomonCodewordTest, FirstCodewordAboveEciIsRejected)
{
    const int index = FindSymbolSizeIndex(10);
    std::vector<uint8_t> codewords = {242, 66, 129};
    TestEncodeSymbol(codewords, index);
    CodewordRecord symbol(index);
    Load(symbol, codewords);
    EXPECT_EQ(CorrectCodewords(symbol.record), 0);
    EXPECT_EQ(symbol.record.correctedCount, -1);
}

TEST(ReedSolomonCodewordTest, FirstCodewordZeroIsRejectedAfterCorrection)
{
    const int index = FindSymbolSizeIndex(10);
    std::vector<uint8_t> codewords = {0, 66, 129};
    TestEncodeSymbol(codewords, index);
    codewords[2] ^= 1;
    CodewordRecord symbol(index);
    Load(symbol, codewords);
    EXPECT_EQ(CorrectCodewords(symbol.record), 0);
    EXPECT_EQ(symbol.record.correctedCount, -1);
}

TEST(ReedSolomonCodewordTest, DecoderRefusesAsManyErasuresAsCheckCodewords)
{
    RsDecoder* decoder = RsCreate(5);
    ASSERT_NE(decoder, nullptr);
    uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint16_t positions[5] = {0, 1, 2, 3, 4};
    RsSyndromes(*decoder, block, 8);
    ASSERT_EQ(RsHasErrors(*decoder), 1);
    EXPECT_EQ(RsDecode(*decoder, block, 8, 5, positions), 0);
    RsDestroy(decoder);
}

// Products in GF(256) on x^8 + x^5 + x^3 + x^2 + 1, shift and add.
int SlowGfMul(int a, int b)
{
    int product = 0;
    for (; b != 0; b >>= 1) {
        if ((b & 1) != 0) {
            product ^= a;
        }
        a <<= 1;
        if ((a & 0x100) != 0) {
            a ^= 0x12D;
        }
    }
    return product;
}

// The syndromes are the block's polynomial at alpha^(j + 1), for the chains read from tables (up
// to the longest block of a symbol size) and for those beyond them alike.
TEST(ReedSolomonCodewordTest, SyndromesAreTheBlockAtThePowersOfAlpha)
{
    constexpr int kLength = 200;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> block(kLength);
    for (uint8_t& c : block) {
        c = static_cast<uint8_t>(byte(rng));
    }
    RsDecoder* decoder = RsCreate(kRsMaxEccPerBlock);
    ASSERT_NE(decoder, nullptr);
    RsSyndromes(*decoder, block.data(), kLength);
    int power = 1; // alpha^(j + 1)
    for (int j = 0; j < kRsMaxEccPerBlock; ++j) {
        power = SlowGfMul(power, 2);
        int value = 0;
        for (const uint8_t c : block) {
            value = SlowGfMul(value, power) ^ c;
        }
        EXPECT_EQ(decoder->syndromes[j], value) << "syndrome " << j;
    }
    RsDestroy(decoder);
}

TEST(ReedSolomonCodewordTest, CreateRefusesImpossibleCheckCounts)
{
    EXPECT_EQ(RsCreate(0), nullptr);
    EXPECT_EQ(RsCreate(kRsMaxEccPerBlock + 1), nullptr);
    RsDestroy(nullptr);
}

} // namespace
} // namespace norvale
