#include "apps/desktop/json_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using norvale::app::FormatJsonAllLine;
using norvale::app::FormatJsonLine;
using norvale::app::JsonAllOutcome;
using norvale::app::JsonOutcome;
using norvale::app::JsonString;

struct StringCase
{
    const char* name;
    std::string input;
    std::string json;
};

const StringCase kStringCases[] = {
    {"Plain", "abc", "\"abc\""},
    {"QuoteAndBackslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
    {"ControlBytes", std::string("\n\t\x01\x7f", 4), "\"\\u000a\\u0009\\u0001\\u007f\""},
    {"Nul", std::string("a\0b", 3), "\"a\\u0000b\""},
    {"Utf8Kept", "\xe8\xae\xaf\xe6\x81\xaf", "\"\xe8\xae\xaf\xe6\x81\xaf\""},
    {"InvalidByteReplaced",
     "a\xff"
     "b",
     "\"a\xef\xbf\xbd"
     "b\""},
    {"TruncatedSequenceReplaced", "\xe8\xae", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
    {"OverlongReplaced", "\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
};

class JsonReportStringTest : public ::testing::TestWithParam<StringCase>
{
};

TEST_P(JsonReportStringTest, Escapes)
{
    EXPECT_EQ(JsonString(GetParam().input), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(Strings, JsonReportStringTest, ::testing::ValuesIn(kStringCases),
                         [](const auto& info) { return std::string(info.param.name); });

JsonOutcome DecodedOutcome(std::vector<uint8_t> bytes)
{
    JsonOutcome outcome;
    outcome.opened = true;
    outcome.milliseconds = 1.5;
    outcome.decoded.error = norvale::DecodeErrorKind::kNone;
    outcome.decoded.bytes = std::move(bytes);
    outcome.decoded.side = 12;
    outcome.decoded.startMode = kStartModeC40;
    outcome.decoded.correctedCount = 3;
    outcome.decoded.pictureHeight = 100;
    outcome.decoded.corners = {{{10, 89}, {10, 10}, {90, 89}, {90, 10}}};
    return outcome;
}

TEST(JsonReportTest, DecodedFileHasEveryField)
{
    EXPECT_EQ(FormatJsonLine("a.png", DecodedOutcome({'H', 'i'})),
              "{\"file\":\"a.png\",\"ok\":true,\"text\":\"Hi\",\"hex\":\"4869\",\"side\":12,"
              "\"startMode\":\"c40\",\"corrected\":3,\"corners\":[[10,10],[10,89],[90,10],[90,89]],"
              "\"symbologyIdentifier\":\"\",\"gs1\":null,\"eci\":[],\"structuredAppend\":null,"
              "\"readerProgramming\":false,\"milliseconds\":1.500,\"error\":null}\n");
}

TEST(JsonReportTest, ContentFieldsAreWritten)
{
    JsonOutcome outcome = DecodedOutcome({'0', '1'});
    outcome.decoded.symbologyIdentifier = "]d5";
    outcome.decoded.gs1 = "(01)2";
    outcome.decoded.eci = {26, 899};
    outcome.decoded.structuredAppend = {2, 3, 513};
    outcome.decoded.readerProgramming = true;
    const std::string line = FormatJsonLine("a.png", outcome);
    EXPECT_NE(line.find("\"symbologyIdentifier\":\"]d5\",\"gs1\":\"(01)2\",\"eci\":[26,899],"
                        "\"structuredAppend\":{\"position\":2,\"total\":3,\"fileId\":513},"
                        "\"readerProgramming\":true"),
              std::string::npos)
        << line;
}

TEST(JsonReportTest, EverySymbolLineHoldsAnArray)
{
    JsonAllOutcome outcome;
    outcome.opened = true;
    outcome.decoded.error = norvale::DecodeErrorKind::kNone;
    outcome.decoded.symbols = {DecodedOutcome({'A'}).decoded, DecodedOutcome({'B'}).decoded};
    const std::string line = FormatJsonAllLine("a.png", outcome);
    EXPECT_EQ(line.rfind("{\"file\":\"a.png\",\"ok\":true,\"symbols\":[{\"text\":\"A\"", 0), 0u) << line;
    EXPECT_NE(line.find("},{\"text\":\"B\""), std::string::npos) << line;
    EXPECT_NE(line.find("}],\"milliseconds\":0.000,\"error\":null}\n"), std::string::npos) << line;
}

TEST(JsonReportTest, NonUtf8BytesAreReadAsLatin1)
{
    const std::string line = FormatJsonLine("a.png", DecodedOutcome({'c', 0xE9, 0x00}));
    EXPECT_NE(line.find("\"text\":\"c\xc3\xa9\\u0000\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"hex\":\"63e900\""), std::string::npos) << line;
}

struct FailureCase
{
    const char* name;
    bool opened;
    norvale::DecodeErrorKind error;
    const char* errorName;
};

constexpr FailureCase kFailureCases[] = {
    {"OpenFailed", false, norvale::DecodeErrorKind::kImageNotLoaded, "open-failed"},
    {"ImageNotLoaded", true, norvale::DecodeErrorKind::kImageNotLoaded, "image-not-loaded"},
    {"NothingFound", true, norvale::DecodeErrorKind::kNothingFound, "nothing-found"},
    {"OutOfMemory", true, norvale::DecodeErrorKind::kOutOfMemory, "out-of-memory"},
    {"TimedOut", true, norvale::DecodeErrorKind::kTimedOut, "timed-out"},
};

class JsonReportFailureTest : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(JsonReportFailureTest, FieldsAreNullAndErrorNamed)
{
    JsonOutcome outcome;
    outcome.opened = GetParam().opened;
    outcome.decoded.error = GetParam().error;
    outcome.milliseconds = 2.0;
    const std::string milliseconds = GetParam().opened ? "2.000" : "0";
    EXPECT_EQ(
        FormatJsonLine("x\".bmp", outcome),
        "{\"file\":\"x\\\".bmp\",\"ok\":false,\"text\":null,\"hex\":null,\"side\":null,\"startMode\":null,"
        "\"corrected\":null,\"corners\":null,\"symbologyIdentifier\":null,\"gs1\":null,\"eci\":null,"
        "\"structuredAppend\":null,\"readerProgramming\":null,\"milliseconds\":" +
            milliseconds + ",\"error\":\"" + GetParam().errorName + "\"}\n");
}

INSTANTIATE_TEST_SUITE_P(Failures, JsonReportFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
