// Concurrency: decoding calls on several threads share nothing, so each result equals the one
// the same call gives on a single thread. Also built alone for the ThreadSanitizer run
// (concurrency.cmake).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "norvale/datamatrix.h"
#include "test_support.h"

namespace {

enum class Entry {
    kPath,   // DecodeImage on the file
    kMemory, // DecodeImage1 on the file's bytes
};

struct ConcurrencyCase
{
    const char* file;
    Entry entry;
};

// Several sizes and formats, a picture without a symbol and one whose format is refused.
constexpr ConcurrencyCase kMixedSet[] = {
    {"blackbox/sizes/s010-0.png", Entry::kPath},
    {"blackbox/sizes/s032-0.png", Entry::kPath},
    {"blackbox/sizes/s064-0.png", Entry::kPath},
    {"blackbox/formats/jpeg-q60.jpg", Entry::kPath},
    {"blackbox/negatives/neg-009-dm-like.png", Entry::kPath},
    {"apps/symbol-24.bmp", Entry::kPath},
    {"apps/symbol-24.bmp", Entry::kMemory},
    {"blackbox/formats/bmp-1bit.bmp", Entry::kMemory},
    {"blackbox/formats/bmp-4bit.bmp", Entry::kMemory},
    {"blackbox/formats-refused/bmp-8bit-rle8.bmp", Entry::kMemory},
};
constexpr size_t kCaseCount = sizeof kMixedSet / sizeof kMixedSet[0];
constexpr int kThreadCount = 8;
constexpr int kRounds = 2;
constexpr int32_t kCapacity = 1000;

struct Outcome
{
    int32_t returned = -1;
    std::string text;

    bool operator==(const Outcome&) const = default;
};

struct PreparedCase
{
    Entry entry;
    std::string path;
    std::vector<uint8_t> bytes;
};

Outcome DecodeOnce(const PreparedCase& prepared)
{
    std::vector<char> out(kCapacity, '\x7f');
    Outcome outcome;
    if (prepared.entry == Entry::kPath) {
        outcome.returned = DecodeImage(prepared.path.c_str(), kCapacity, out.data());
    } else {
        outcome.returned = DecodeImage1(prepared.bytes.data(), static_cast<uint32_t>(prepared.bytes.size()),
                                        kCapacity, out.data());
    }
    if (outcome.returned > 0) {
        // The text is min(n, capacity - 1) bytes; NUL bytes may be part of it.
        const int32_t length = outcome.returned < kCapacity ? outcome.returned : kCapacity - 1;
        outcome.text.assign(out.data(), static_cast<size_t>(length));
    }
    return outcome;
}

TEST(ConcurrencyTest, EightThreadsMatchSingleThreadedResults)
{
    std::vector<PreparedCase> cases;
    for (const ConcurrencyCase& c : kMixedSet) {
        PreparedCase prepared{c.entry, norvale::test::TestDataPath(c.file), {}};
        if (c.entry == Entry::kMemory) {
            prepared.bytes = norvale::test::ReadFileBytes(prepared.path);
            ASSERT_FALSE(prepared.bytes.empty()) << c.file;
        }
        cases.push_back(std::move(prepared));
    }
    std::vector<Outcome> expected;
    int decodedCount = 0;
    for (const PreparedCase& prepared : cases) {
        expected.push_back(DecodeOnce(prepared));
        decodedCount += expected.back().returned > 0;
    }
    // The set is mixed: most pictures decode, the negative and the refused one do not.
    EXPECT_GE(decodedCount, 7);
    EXPECT_LT(decodedCount, static_cast<int>(kCaseCount));

    // Each thread walks the set from its own starting point, so different pictures and both
    // entries run side by side.
    std::vector<std::vector<Outcome>> seen(kThreadCount, std::vector<Outcome>(kCaseCount * kRounds));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreadCount; ++t) {
        threads.emplace_back([&cases, &seen, t] {
            for (size_t step = 0; step < kCaseCount * kRounds; ++step) {
                seen[t][step] = DecodeOnce(cases[(step + static_cast<size_t>(t)) % kCaseCount]);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreadCount; ++t) {
        for (size_t step = 0; step < kCaseCount * kRounds; ++step) {
            const size_t index = (step + static_cast<size_t>(t)) % kCaseCount;
            EXPECT_EQ(seen[t][step], expected[index]) << "thread " << t << ", " << kMixedSet[index].file;
        }
    }
}

} // namespace
