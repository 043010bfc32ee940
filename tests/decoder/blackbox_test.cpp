// Decodes every fixture picture under tests/data/blackbox/<category>/ through the path entry,
// compares with its .bin sidecar (empty: nothing may be decoded), and checks per category a
// minimum number of pictures read right. The minimums only ever go up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "norvale/datamatrix.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// What the desktop front end shows: the text cut at its first NUL and at 999 bytes.
constexpr int32_t kTextBuffer = 1000;

struct CategoryFloor
{
    const char* category;
    int minimumPassed;
};

constexpr CategoryFloor kFloors[] = {
    {"sizes", 72},      {"modes", 26},       {"mode-edges", 28},  {"formats", 21}, {"formats-refused", 3},
    {"inverted", 4},    {"rotated", 5},      {"perspective", 6},  {"blur", 4},     {"noise", 6},
    {"lowcontrast", 4}, {"illumination", 4}, {"damage", 4},       {"small", 12},   {"large-image", 0},
    {"negatives", 8},   {"truncation", 3},   {"real-public", 20}, {"curved", 2},   {"video", 1},
    {"dots", 2},        {"tight", 4},
};

std::string ReadExpected(const fs::path& sidecar)
{
    const std::vector<uint8_t> raw = norvale::test::ReadFileBytes(sidecar.string());
    std::string bytes(raw.begin(), raw.end());
    // The front end prints a C string of at most 999 bytes.
    bytes = bytes.substr(0, bytes.find('\0'));
    if (bytes.size() > kTextBuffer - 1) {
        bytes.resize(kTextBuffer - 1);
    }
    return bytes;
}

struct Outcome
{
    int passed = 0;
    int total = 0;
    std::vector<std::string> failures;
};

TEST(BlackboxTest, DecodesFixturePicturesAtLeastAsWellAsBefore)
{
    const fs::path root = norvale::test::TestDataPath("blackbox");
    std::map<std::string, Outcome> outcomes;
    for (const auto& category : fs::directory_iterator(root)) {
        std::vector<fs::path> pictures;
        for (const auto& entry : fs::directory_iterator(category.path())) {
            if (entry.path().extension() != ".bin") {
                pictures.push_back(entry.path());
            }
        }
        std::sort(pictures.begin(), pictures.end());
        Outcome& outcome = outcomes[category.path().filename().string()];
        for (const fs::path& picture : pictures) {
            fs::path sidecar = picture;
            sidecar.replace_extension(".bin");
            const std::string expected = ReadExpected(sidecar);
            char text[kTextBuffer] = {};
            const int32_t n = DecodeImage(picture.string().c_str(), kTextBuffer, text);
            const std::string got = n > 0 ? std::string(text) : std::string();
            outcome.total += 1;
            if (got == expected) {
                outcome.passed += 1;
            } else {
                outcome.failures.push_back(picture.filename().string());
            }
        }
    }
    for (const CategoryFloor& floor : kFloors) {
        const Outcome& outcome = outcomes[floor.category];
        std::printf("%-16s %3d / %3d\n", floor.category, outcome.passed, outcome.total);
        EXPECT_GE(outcome.passed, floor.minimumPassed) << floor.category;
    }
    // Pictures without a symbol must never produce text.
    EXPECT_EQ(outcomes["negatives"].passed, outcomes["negatives"].total);
    EXPECT_EQ(outcomes["formats-refused"].passed, outcomes["formats-refused"].total);
}

} // namespace
