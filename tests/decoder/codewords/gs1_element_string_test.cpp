#include "decoder/codewords/gs1_element_string.h"

#include <gtest/gtest.h>

#include <string>

namespace norvale {
namespace {

struct ElementCase
{
    const char* name;
    std::string bytes;
    const char* readable; // empty: not an element string
};

const ElementCase kElementCases[] = {
    {"FixedLengthsChain", "01095011015300031725010110AB12", "(01)09501101530003(17)250101(10)AB12"},
    {"SeparatorEndsVariableField",
     "10AB12\x1d"
     "21XYZ",
     "(10)AB12(21)XYZ"},
    {"SeparatorAfterFixedFieldIsSkipped",
     "0109501101530003\x1d"
     "10A",
     "(01)09501101530003(10)A"},
    {"ThreeDigitIdentifier", "4101234567890123", "(410)1234567890123"},
    {"FourDigitIdentifier", "3103000189", "(3103)000189"},
    {"FourDigitVariable", "8200http://x", "(8200)http://x"},
    {"CompanyInternal", "91ABC", "(91)ABC"},
    {"FixedFieldCutShort", "0109501101", ""},
    {"LetterWhereIdentifierStands", "A1234", ""},
    {"UnknownPrefix", "55123", ""},
    {"EmptyVariableField",
     "10\x1d"
     "21A",
     ""},
    {"Empty", "", ""},
};

class Gs1ElementStringTest : public ::testing::TestWithParam<ElementCase>
{
};

TEST_P(Gs1ElementStringTest, ReadsIdentifiersInParentheses)
{
    const ElementCase& c = GetParam();
    std::string out = "stale";
    const bool ok =
        FormatGs1ElementString(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), out);
    EXPECT_EQ(ok, *c.readable != '\0');
    EXPECT_EQ(out, c.readable);
}

INSTANTIATE_TEST_SUITE_P(Cases, Gs1ElementStringTest, ::testing::ValuesIn(kElementCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale
