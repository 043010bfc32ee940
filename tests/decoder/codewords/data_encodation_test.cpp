#include "decoder/codewords/data_encodation.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "decoder/base/symbol_sizes.h"
#include "decoder/codewords/codeword_record_support.h"
#include "norvale/datamatrix.h"

namespace norvale {
namespace {

using test::CodewordRecord;
using Codewords = std::vector<int>;
using Bytes = std::vector<int>;

// ---- Encoding helpers: the codewords a standard encoder writes ----

Codewords Cat(std::initializer_list<Codewords> parts)
{
    Codewords all;
    for (const Codewords& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// One C40 / Text / X12 pair holding three values.
Codewords Pair(int v1, int v2, int v3)
{
    const int v = 1600 * v1 + 40 * v2 + v3 + 1;
    return {v / 256, v % 256};
}

// EDIFACT values packed six bits each; a short last group is filled with zero bits.
Codewords Edifact(std::initializer_list<int> values)
{
    Codewords out;
    int bits = 0;
    int count = 0;
    for (int v : values) {
        bits = (bits << 6) | v;
        count += 6;
        while (count >= 8) {
            out.push_back((bits >> (count - 8)) & 0xFF);
            count -= 8;
        }
    }
    if (count > 0) {
        out.push_back((bits << (8 - count)) & 0xFF);
    }
    return out;
}

int Randomize255(int value, int position)
{
    return (value + (149 * position) % 255 + 1) % 256;
}

// A Base 256 field (length, then bytes) whose first codeword is codeword `start` (0-based) of
// the stream. `length` overrides the written length (0 means to the end of the data).
Codewords Base256(int start, const Bytes& bytes, int length = -1)
{
    if (length < 0) {
        length = static_cast<int>(bytes.size());
    }
    Codewords plain;
    if (length <= 249) {
        plain.push_back(length);
    } else {
        plain.push_back(249 + length / 250);
        plain.push_back(length % 250);
    }
    plain.insert(plain.end(), bytes.begin(), bytes.end());
    Codewords out;
    for (size_t i = 0; i < plain.size(); ++i) {
        out.push_back(Randomize255(plain[i], start + static_cast<int>(i) + 1));
    }
    return out;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes CatBytes(std::initializer_list<Bytes> parts)
{
    return Cat(parts);
}

// Decodes the codewords in the smallest symbol that holds them, padded with 129 first and then
// with later pad values; `content` receives what the function codewords said.
Bytes Decode(const Codewords& codewords, SymbolContent* content = nullptr)
{
    int index = 0;
    while (kSymbolSizeTable[index].dataCodewords < static_cast<int>(codewords.size())) {
        ++index;
    }
    CodewordRecord symbol(index);
    for (int k = 0; k < kSymbolSizeTable[index].dataCodewords; ++k) {
        symbol.record.codewords[k] =
            static_cast<uint8_t>(k < static_cast<int>(codewords.size())    ? codewords[k]
                                 : k == static_cast<int>(codewords.size()) ? 129
                                                                           : 130 + k);
    }
    DecodeDataCodewords(symbol.record);
    if (content != nullptr) {
        *content = symbol.record.content;
    }
    const std::vector<uint8_t> data = symbol.Data();
    return Bytes(data.begin(), data.end());
}

struct DecodeCase
{
    std::string name;
    Codewords codewords;
    Bytes expected;
};

std::vector<DecodeCase> DecodeCases()
{
    const Bytes letters = Text("ABC");
    return {
        // ASCII
        {"AsciiLettersStopAtPad", {66, 67, 68, 129, 66}, letters},
        {"AsciiDigitPairs", {142, 130, 229}, Text("120099")},
        {"StandardExampleDigits", {142, 164, 186}, Text("123456")},
        {"AsciiControlAndDel", {1, 10, 128}, {0, 9, 127}},
        {"UpperShiftOnce", {235, 66}, {193}},
        {"UpperShiftTwice", {235, 66, 235, 67}, {193, 194}},
        // C40 and Text
        {"C40Letters", Cat({{230}, Pair(14, 15, 16)}), letters},
        {"TextLetters", Cat({{239}, Pair(14, 15, 16)}), Text("abc")},
        {"StandardExampleC40", {230, 91, 11, 91, 11, 91, 11, 254}, Text("AIMAIMAIM")},
        {"StandardExampleText", {239, 91, 11, 91, 11, 91, 11, 254}, Text("aimaimaim")},
        {"C40DigitsAndSpace", Cat({{230}, Pair(4, 13, 3)}), Text("09 ")},
        {"C40ShiftOneControl", Cat({{230}, Pair(0, 10, 3)}), Text("\n ")},
        {"C40ShiftTwoPunctuation", Cat({{230}, Pair(1, 0, 1), Pair(15, 1, 26)}), Text("!:_")},
        {"C40ShiftAcrossPairs", Cat({{230}, Pair(14, 15, 2), Pair(1, 3, 3)}), Text("ABa  ")},
        {"C40ShiftThreeZeroIsBackquote", Cat({{230}, Pair(2, 0, 3)}), Text("` ")},
        {"C40ShiftThreeLowerAndDel", Cat({{230}, Pair(2, 1, 2), Pair(31, 3, 3)}), Text("a\x7f  ")},
        {"TextShiftThreeZeroIsBackquote", Cat({{239}, Pair(2, 0, 3)}), Text("` ")},
        {"TextShiftThreeUpperLetters", Cat({{239}, Pair(2, 1, 2), Pair(26, 3, 3)}), Text("AZ  ")},
        {"TextShiftThreeBracesAndDel", Cat({{239}, Pair(2, 27, 2), Pair(31, 3, 3)}), Text("{\x7f  ")},
        {"C40Fnc1IsGroupSeparator", Cat({{230}, Pair(14, 1, 27)}), {'A', 29}},
        {"C40UpperShiftAddsTo128", Cat({{230}, Pair(1, 30, 14)}), {193}},
        {"TextUpperShiftThroughShiftThree", Cat({{239}, Pair(1, 30, 2), Pair(1, 3, 3)}), {193, ' ', ' '}},
        {"C40UnlatchToAscii", Cat({{230}, Pair(14, 15, 16), {254, 66}}), Text("ABCA")},
        {"C40LatchedMidStream", Cat({{66, 230}, Pair(14, 15, 16), {254, 67}}), Text("AABCB")},
        {"TextLatchedMidStream", Cat({{66, 239}, Pair(14, 15, 16), {254, 67}}), Text("AabcB")},
        {"C40EndsWithTheData", Cat({{230}, Pair(14, 15, 16), Pair(14, 15, 16)}), Text("ABCABC")},
        {"C40LoneLastCodewordIsAscii",
         Cat({{230}, Pair(14, 15, 16), Pair(14, 15, 16), Pair(14, 15, 16), {66}}), Text("ABCABCABCA")},
        {"TextLoneLastCodewordIsAscii",
         Cat({{239}, Pair(14, 15, 16), Pair(14, 15, 16), Pair(14, 15, 16), {66}}), Text("abcabcabcA")},
        // X12
        {"X12Values", Cat({{238}, Pair(0, 1, 2), Pair(3, 4, 13), Pair(14, 39, 3), {254}}),
         Text("\r*> 09AZ ")},
        {"X12LatchedMidStream", Cat({{66, 238}, Pair(14, 15, 16), {254, 67}}), Text("AABCB")},
        {"X12LoneLastCodewordIsAscii",
         Cat({{238}, Pair(14, 15, 16), Pair(14, 15, 16), Pair(14, 15, 16), {66}}), Text("ABCABCABCA")},
        // EDIFACT
        {"EdifactFirstCodeword", Cat({{240}, Edifact({1, 2, 3, 4, 49, 50, 32, 31}), {66}}), Text("ABCD12 A")},
        {"EdifactUnlatchFirstValue", Cat({{240}, Edifact({1, 2, 3, 4, 31}), {66}}), Text("ABCDA")},
        {"EdifactUnlatchSecondValue", Cat({{240}, Edifact({1, 2, 3, 4, 5, 31}), {66}}), Text("ABCDEA")},
        {"EdifactUnlatchThirdValue", Cat({{240}, Edifact({1, 2, 3, 4, 5, 6, 31}), {66}}), Text("ABCDEFA")},
        {"EdifactUnlatchFourthValue", Cat({{240}, Edifact({1, 2, 3, 4, 5, 6, 7, 31}), {66}}),
         Text("ABCDEFGA")},
        {"EdifactShortTailIsAscii", Cat({{240}, Edifact({1, 2, 3, 4, 1, 2, 3, 4}), {66}}), Text("ABCDABCDA")},
        {"EdifactLatchedMidStream", Cat({{66, 240}, Edifact({30, 63, 0, 31}), {67}}), Text("A^?@B")},
        // Base 256
        {"Base256OneByteLength", Cat({{231}, Base256(1, {1, 2, 3, 255}), {66}}), {1, 2, 3, 255, 'A'}},
        {"Base256LatchedMidStream", Cat({{66, 231}, Base256(2, {200, 201}), {67}}), {'A', 200, 201, 'B'}},
        {"Base256LengthZeroRunsToEnd",
         Cat({{231}, Base256(1, {9, 129, 0, 254, 77, 66}, 0)}),
         {9, 129, 0, 254, 77, 66}},
        // Function codewords
        {"Fnc1FirstIsSkipped", {232, 66}, Text("A")},
        {"Fnc1LaterIsGroupSeparator", {66, 232, 67}, {'A', 29, 'B'}},
        {"Fnc1AfterLeadingStructuredAppendIsSkipped", {233, 1, 2, 3, 232, 66, 232, 67}, {'A', 29, 'B'}},
        {"StructuredAppendParametersGiveNothing", {233, 66, 67, 68, 69}, Text("D")},
        {"ReaderProgrammingGivesNothing", {234, 66}, Text("A")},
        {"Macro05WrapsTheData",
         {236, 66, 129},
         CatBytes({Text("[)>\x1e"
                        "05\x1d"
                        "A"),
                   {30, 4}})},
        {"Macro06WrapsTheData",
         {237, 66, 67},
         CatBytes({Text("[)>\x1e"
                        "06\x1d"
                        "AB"),
                   {30, 4}})},
        {"EciOneCodewordDesignator", {241, 8, 235, 55, 235, 55}, {0xB6, 0xB6}},
        {"EciTwoCodewordDesignator", {241, 128, 5, 66}, Text("A")},
        {"EciThreeCodewordDesignator", {241, 192, 5, 6, 66}, Text("A")},
        {"EciMidStream", {66, 241, 27, 67}, Text("AB")},
    };
}

class DataEncodationTest : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(DataEncodationTest, DecodesTheStandardWay)
{
    EXPECT_EQ(Decode(GetParam().codewords), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataEncodationTest, ::testing::ValuesIn(DecodeCases()),
                         [](const auto& info) { return info.param.name; });

TEST(DataEncodationFieldTest, Base256TwoByteLength)
{
    Bytes bytes(300);
    for (int i = 0; i < 300; ++i) {
        bytes[i] = (i * 7 + 1) % 256;
    }
    EXPECT_EQ(Decode(Cat({{231}, Base256(1, bytes), {66}})), CatBytes({bytes, {'A'}}));
}

TEST(DataEncodationFieldTest, Base256UnrandomisesInPlace)
{
    const int index = FindSymbolSizeIndex(12); // 5 data codewords
    CodewordRecord symbol(index);
    const Codewords codewords = Cat({{231}, Base256(1, {10, 20, 30}, 0)});
    for (size_t k = 0; k < codewords.size(); ++k) {
        symbol.record.codewords[k] = static_cast<uint8_t>(codewords[k]);
    }
    DecodeDataCodewords(symbol.record);
    const std::vector<uint8_t> after = symbol.Codewords();
    EXPECT_EQ(std::vector<uint8_t>(after.begin(), after.begin() + 5),
              (std::vector<uint8_t>{231, 0, 10, 20, 30}));
    EXPECT_EQ(symbol.Data(), (std::vector<uint8_t>{10, 20, 30}));
}

TEST(DataEncodationFieldTest, Unrandomize255InvertsTheEncoder)
{
    EXPECT_EQ(Unrandomize255(150, 1), 0); // 149 + 1 added at position 1
    for (int position = 1; position <= 1558; position += 37) {
        for (int value = 0; value < 256; ++value) {
            EXPECT_EQ(Unrandomize255(static_cast<uint8_t>(Randomize255(value, position)), position), value);
        }
    }
}

TEST(DataEncodationFieldTest, StopsAtTheDataCodewords)
{
    // 10 x 10: three data codewords; the check codewords after them are never decoded.
    CodewordRecord symbol(FindSymbolSizeIndex(10));
    const uint8_t codewords[8] = {66, 67, 68, 69, 70, 71, 72, 73};
    std::copy(codewords, codewords + 8, symbol.record.codewords);
    DecodeDataCodewords(symbol.record);
    EXPECT_EQ(symbol.Data(), (std::vector<uint8_t>{65, 66, 67}));
}

TEST(DataEncodationFieldTest, C40PairNeverReadsIntoCheckCodewords)
{
    // 12 x 12: five data codewords; 230 and two pairs fill them, and the last pair must not
    // reach into the check codewords.
    CodewordRecord symbol(FindSymbolSizeIndex(12));
    const Codewords codewords = Cat({{230}, Pair(14, 15, 16), {254, 66}});
    for (size_t k = 0; k < codewords.size(); ++k) {
        symbol.record.codewords[k] = static_cast<uint8_t>(codewords[k]);
    }
    symbol.record.codewords[5] = 99;
    DecodeDataCodewords(symbol.record);
    EXPECT_EQ(symbol.Data(), (std::vector<uint8_t>{'A', 'B', 'C', 'A'}));
}

TEST(DataEncodationFieldTest, NeverWritesPastCapacity)
{
    CodewordRecord symbol(FindSymbolSizeIndex(14));
    const Codewords codewords = {236, 142, 142, 142, 142, 142, 142, 142};
    for (size_t k = 0; k < codewords.size(); ++k) {
        symbol.record.codewords[k] = static_cast<uint8_t>(codewords[k]);
    }
    symbol.record.dataCapacity = 9;
    DecodeDataCodewords(symbol.record);
    EXPECT_EQ(symbol.record.dataLength, 9);
    EXPECT_EQ(symbol.record.data[9], 0);
}

struct ContentCase
{
    std::string name;
    Codewords codewords;
    std::string identifier;
    Fnc1Flag fnc1;
    std::vector<uint32_t> eci;
    int appendPosition; // 0: no structured append
    int appendTotal;
    int appendFileId;
    bool readerProgramming;
};

std::vector<ContentCase> ContentCases()
{
    return {
        {"Plain", {66, 67}, "]d1", Fnc1Flag::kNone, {}, 0, 0, 0, false},
        {"Gs1FlagFirst", {232, 142, 66}, "]d2", Fnc1Flag::kGs1, {}, 0, 0, 0, false},
        {"Gs1FlagAfterStructuredAppend",
         {233, 0x12, 7, 9, 232, 142},
         "]d2",
         Fnc1Flag::kGs1,
         {},
         2,
         15,
         0x0709,
         false},
        {"AimFlagAfterLetter", {66, 232, 67}, "]d3", Fnc1Flag::kAim, {}, 0, 0, 0, false},
        {"AimFlagAfterDigitPair", {142, 232, 67}, "]d3", Fnc1Flag::kAim, {}, 0, 0, 0, false},
        {"LaterFnc1IsNoFlag", {66, 67, 232, 68}, "]d1", Fnc1Flag::kNone, {}, 0, 0, 0, false},
        {"FlagAfterPunctuationIsNoFlag", {'#' + 1, 232, 67}, "]d1", Fnc1Flag::kNone, {}, 0, 0, 0, false},
        {"EciOneCodeword", {241, 27, 66}, "]d4", Fnc1Flag::kNone, {26}, 0, 0, 0, false},
        {"EciTwoCodewords", {241, 130, 5, 66}, "]d4", Fnc1Flag::kNone, {2 * 254 + 4 + 127}, 0, 0, 0, false},
        {"EciThreeCodewords",
         {241, 193, 2, 3, 66},
         "]d4",
         Fnc1Flag::kNone,
         {64516 + 254 + 2 + 16383},
         0,
         0,
         0,
         false},
        {"Gs1WithEci", {232, 241, 27, 142}, "]d5", Fnc1Flag::kGs1, {26}, 0, 0, 0, false},
        {"AimWithEci", {66, 232, 241, 4, 67}, "]d6", Fnc1Flag::kAim, {3}, 0, 0, 0, false},
        {"StructuredAppendLastOfSixteen",
         {233, 0xF1, 254, 1, 66},
         "]d1",
         Fnc1Flag::kNone,
         {},
         16,
         16,
         0xFE01,
         false},
        {"ReaderProgramming", {234, 66}, "]d1", Fnc1Flag::kNone, {}, 0, 0, 0, true},
        {"LaterReaderProgrammingIsNoFlag", {66, 234, 67}, "]d1", Fnc1Flag::kNone, {}, 0, 0, 0, false},
    };
}

class DataEncodationContentTest : public ::testing::TestWithParam<ContentCase>
{
};

TEST_P(DataEncodationContentTest, FunctionCodewordsAreNoted)
{
    const ContentCase& c = GetParam();
    SymbolContent content{};
    Decode(c.codewords, &content);
    EXPECT_EQ(SymbologyIdentifierOf(content), c.identifier);
    EXPECT_EQ(content.fnc1, c.fnc1);
    ASSERT_EQ(content.eciCount, static_cast<int32_t>(c.eci.size()));
    for (size_t k = 0; k < c.eci.size(); ++k) {
        EXPECT_EQ(content.eci[k], c.eci[k]);
    }
    EXPECT_EQ(content.structuredAppend, c.appendPosition != 0);
    EXPECT_EQ(content.appendPosition, c.appendPosition);
    EXPECT_EQ(content.appendTotal, c.appendTotal);
    EXPECT_EQ(content.appendFileId, c.appendFileId);
    EXPECT_EQ(content.readerProgramming, c.readerProgramming);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataEncodationContentTest, ::testing::ValuesIn(ContentCases()),
                         [](const auto& info) { return info.param.name; });

TEST(DataEncodationFieldTest, LongestDecodingFillsThePublicLimit)
{
    // A macro and then digit pairs in every other data codeword of the largest symbol.
    CodewordRecord symbol(kSymbolSizeCount - 1);
    const int dataCodewords = kSymbolSizeTable[kSymbolSizeCount - 1].dataCodewords;
    symbol.record.codewords[0] = 236;
    for (int k = 1; k < dataCodewords; ++k) {
        symbol.record.codewords[k] = static_cast<uint8_t>(130 + k % 100);
    }
    DecodeDataCodewords(symbol.record);
    EXPECT_EQ(symbol.record.dataLength, NORVALE_MAX_DECODED_BYTES);
    EXPECT_EQ(NORVALE_MAX_DECODED_BYTES, 3123);
}

TEST(DataEncodationFieldTest, PrintsNothing)
{
    testing::internal::CaptureStdout();
    Decode(Cat({{238}, Pair(14, 15, 16), Pair(14, 15, 16)}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
} // namespace norvale
