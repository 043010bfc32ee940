#include "decoder/entries.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"

namespace {

struct PathCase
{
    const char* name;
    const char* path;
};

// None of these may open a file or write to the output.
constexpr PathCase kRefusedPaths[] = {
    {"BareEnding", ".bmp"},
    {"MixedCasePng", "/nonexistent/a.Png"},
    {"UpperJpeg", "/nonexistent/a.JPEG"},
    {"NoEnding", "/nonexistent/abcde"},
    {"MissingBmp", "/nonexistent/a.bmp"},
    {"MissingJpeg", "/nonexistent/a.jpeg"},
    {"Empty", ""},
};

class EntriesPathTest : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(EntriesPathTest, ReturnsZeroAndLeavesOutputUntouched)
{
    char out[16];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(DecodeImage(GetParam().path, sizeof out, out), 0);
    EXPECT_EQ(out[0], 'x');
}

INSTANTIATE_TEST_SUITE_P(Paths, EntriesPathTest, ::testing::ValuesIn(kRefusedPaths),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EntriesTest, CapacityBelowOneLeavesOutputUntouched)
{
    const std::string path = norvale::test::TestDataPath("apps/symbol-24.bmp");
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(DecodeImage(path.c_str(), 0, out), 0);
    EXPECT_EQ(DecodeImage(path.c_str(), -5, out), 0);
    const uint8_t bytes[] = {'B', 'M', 0, 0};
    EXPECT_EQ(DecodeImage1(bytes, sizeof bytes, 0, out), 0);
    EXPECT_EQ(out[0], 'x');
}

TEST(EntriesTest, NonBmpBufferReportsImageNotLoaded)
{
    const uint8_t bytes[] = "\x89PNG\r\n\x1a\n not a bitmap at all";
    ImageBuffer request{bytes, sizeof bytes};
    DecodeResult result{};
    EXPECT_EQ(DecodeBuffer(&request, &result), 0);
    EXPECT_EQ(result.errorCode, kDecodeImageNotLoaded);
    EXPECT_EQ(result.length, 0);
    EXPECT_EQ(result.data, nullptr);
    char out[8] = {'x'};
    EXPECT_EQ(DecodeImage1(bytes, 13, sizeof out, out), 0);
    EXPECT_EQ(out[0], 'x');
}

TEST(EntriesTest, NullArgumentsAreRefused)
{
    char out[8] = {'x'};
    EXPECT_EQ(DecodeImage(nullptr, sizeof out, out), 0);
    EXPECT_EQ(DecodeImage1(nullptr, 100, sizeof out, out), 0);
    EXPECT_EQ(DecodeBuffer(nullptr, nullptr), 0);
    EXPECT_EQ(out[0], 'x');
}

} // namespace
