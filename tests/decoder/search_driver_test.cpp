#include "decoder/search_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "decoder/decoder_context.h"
#include "test_support.h"

namespace norvale {
namespace {

using test::ContextPtr;

ContextPtr MakeContext()
{
    return test::MakeTestContext();
}

SymbolRecord MakeRecord(float cx, float cy, float yLeg, float xLeg)
{
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    record.corner = {cx, cy};
    record.yLegEnd = {cx, cy + yLeg};
    record.xLegEnd = {cx + xLeg, cy};
    record.yLegLength = yLeg;
    record.xLegLength = xLeg;
    return record;
}

TEST(SearchDriverTest, EdgeBalancePutsSquarerCandidateFirst)
{
    const SymbolRecord square = MakeRecord(0, 0, 50, 51);
    const SymbolRecord skewed = MakeRecord(0, 0, 50, 70);
    const SymbolRecord alsoSquare = MakeRecord(9, 9, 80, 79);
    EXPECT_EQ(CompareEdgeBalance(square, skewed), -1);
    EXPECT_EQ(CompareEdgeBalance(skewed, square), 1);
    EXPECT_EQ(CompareEdgeBalance(square, alsoSquare), 0);
}

TEST(SearchDriverTest, RetryListSkipsNearbyCornersAndStopsAtCapacity)
{
    ContextPtr context = MakeContext();
    AddRetryCandidate(*context, MakeRecord(10, 10, 40, 40));
    AddRetryCandidate(*context, MakeRecord(14, 6, 40, 40)); // within 5 px on both axes
    EXPECT_EQ(context->retryCount, 1);
    AddRetryCandidate(*context, MakeRecord(15, 10, 40, 40)); // exactly 5 px away counts as new
    EXPECT_EQ(context->retryCount, 2);
    for (int i = 0; i < 20; ++i) {
        AddRetryCandidate(*context, MakeRecord(100.0f + 20 * i, 50, 40, 40));
    }
    EXPECT_EQ(context->retryCount, kMaxRetryCandidates);
    EXPECT_FLOAT_EQ(context->retryCandidates[0].yLegEnd.y, 50.0f);
    EXPECT_FLOAT_EQ(context->retryCandidates[0].xLegEnd.x, 50.0f);
    ClearRetryCandidates(*context);
    EXPECT_EQ(context->retryCount, 0);
}

TEST(SearchDriverTest, RejectedCopiesNeverCarryBuffers)
{
    ContextPtr context = MakeContext();
    SymbolRecord record = MakeRecord(10, 10, 40, 40);
    record.contrast.minLevel = 3.0f;
    record.contrast.maxLevel = 20.0f;
    record.codewords = static_cast<uint8_t*>(std::malloc(8));
    AddRejectedSymbol(*context, record);
    ReleaseSymbolBuffers(record);
    ASSERT_EQ(context->rejectedCount, 1);
    EXPECT_EQ(context->rejectedSymbols[0].codewords, nullptr);
    EXPECT_FLOAT_EQ(context->rejectedSymbols[0].contrast.maxLevel, 20.0f);
    for (int i = 0; i < 10; ++i) {
        AddRejectedSymbol(*context, MakeRecord(100.0f + 20 * i, 50, 40, 40));
    }
    EXPECT_EQ(context->rejectedCount, kMaxRejectedSymbols);
}

struct PictureCase
{
    const char* name;
    uint32_t width;
    uint32_t height;
    int pattern; // 0 uniform, 1 noise
};

constexpr PictureCase kPictureCases[] = {
    {"OnePixel", 1, 1, 0},  {"TwoByTwo", 2, 2, 1}, {"NineByNine", 9, 9, 1}, {"TenByTen", 10, 10, 1},
    {"Uniform", 64, 48, 0}, {"Noise", 120, 90, 1}, {"OneRow", 300, 1, 1},   {"OneColumn", 1, 300, 1},
};

class SearchDriverPictureTest : public ::testing::TestWithParam<PictureCase>
{
};

TEST_P(SearchDriverPictureTest, FindsNothingAndEnds)
{
    const PictureCase& c = GetParam();
    ContextPtr context = MakeContext();
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{c.width} * c.height));
    uint32_t state = 12345;
    for (size_t i = 0; i < size_t{c.width} * c.height; ++i) {
        state = state * 1664525u + 1013904223u;
        plane[i] = c.pattern == 0 ? 200 : static_cast<uint8_t>(state >> 24);
    }
    AdoptSourcePlane(context->image, plane, c.width, c.height);
    EXPECT_EQ(SearchSymbols(*context, 20, 20), 0);
    EXPECT_EQ(context->symbolCount, 0);
    EXPECT_EQ(context->image.scale, 2u);
}

INSTANTIATE_TEST_SUITE_P(Pictures, SearchDriverPictureTest, ::testing::ValuesIn(kPictureCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale

namespace norvale {
namespace {

// Solid L shapes on the left fill the candidate table before the scan reaches the symbol on the
// right; the scan must go on past them.
TEST(SearchDriverTest, ClutterBeforeTheSymbolDoesNotHideIt)
{
    GrayImage symbol{};
    ASSERT_TRUE(test::LoadTestPicture(symbol, test::TestDataPath("sizes/s020-1.png")));
    const uint32_t width = 900;
    const uint32_t height = 420;
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
    std::memset(plane, 235, size_t{width} * height);
    auto fill = [&](uint32_t x0, uint32_t y0, uint32_t w, uint32_t h) {
        for (uint32_t y = y0; y < y0 + h; ++y) {
            std::memset(plane + size_t{y} * width + x0, 20, w);
        }
    };
    for (uint32_t x = 20; x + 60 < 520; x += 70) {
        for (uint32_t y = 20; y + 60 < height; y += 70) {
            fill(x, y, 44, 7); // bottom leg
            fill(x, y, 7, 44); // left leg
        }
    }
    const uint32_t left = width - symbol.width - 40;
    const uint32_t bottom = (height - symbol.height) / 2;
    for (uint32_t y = 0; y < symbol.height; ++y) {
        std::memcpy(plane + size_t{bottom + y} * width + left, symbol.source + size_t{y} * symbol.width,
                    symbol.width);
    }
    test::FreeTestPicture(symbol);

    ContextPtr context = MakeContext();
    AdoptSourcePlane(context->image, plane, width, height);
    ASSERT_EQ(SearchSymbols(*context, 20, 20), 1);
    const SymbolRecord* decoded = GetSymbol(*context, 0);
    ASSERT_NE(decoded, nullptr);
    EXPECT_GT(decoded->corner.x, static_cast<float>(left) - 3.0f);
    EXPECT_EQ(GetSymbolSide(decoded), 20u);
}

} // namespace
} // namespace norvale

namespace norvale {
namespace {

struct NoiseCase
{
    const char* name;
    const char* file;
    int percent; // of the pixels turned black or white
};

constexpr NoiseCase kNoiseCases[] = {
    {"Side26Module4", "sizes/s026-0.png", 6},
    {"Side44Module3", "sizes/s044-0.png", 4},
};

class SearchDriverNoiseTest : public ::testing::TestWithParam<NoiseCase>
{
};

// Salt-and-pepper pixels at module centres misread single samples; the second look on the median
// plane reads the symbol.
TEST_P(SearchDriverNoiseTest, SaltAndPepperDecodes)
{
    const NoiseCase& c = GetParam();
    ContextPtr context = MakeContext();
    ASSERT_TRUE(test::LoadTestPicture(context->image, test::TestDataPath(c.file)));
    uint32_t state = 2024;
    for (size_t i = 0; i < size_t{context->image.width} * context->image.height; ++i) {
        state = state * 1664525u + 1013904223u;
        if ((state >> 8) % 100 < static_cast<uint32_t>(c.percent)) {
            context->image.source[i] = (state >> 20) & 1 ? 255 : 0;
        }
    }
    ASSERT_EQ(SearchSymbols(*context, 20, 20), 1);
}

INSTANTIATE_TEST_SUITE_P(Pictures, SearchDriverNoiseTest, ::testing::ValuesIn(kNoiseCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale

namespace norvale {
namespace {

class SearchDriverModuleSizeTest : public ::testing::TestWithParam<int>
{
};

// Close-up pictures: modules far larger than the 15 pixels at which the region-border scan first
// looks beside the finder.
TEST_P(SearchDriverModuleSizeTest, LargeModulesDecode)
{
    const uint32_t factor = static_cast<uint32_t>(GetParam());
    GrayImage symbol{};
    ASSERT_TRUE(test::LoadTestPicture(symbol, test::TestDataPath("sizes/s020-1.png"))); // 3-pixel modules
    const uint32_t width = symbol.width * factor;
    const uint32_t height = symbol.height * factor;
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            plane[size_t{y} * width + x] = symbol.source[size_t{y / factor} * symbol.width + x / factor];
        }
    }
    test::FreeTestPicture(symbol);
    ContextPtr context = MakeContext();
    AdoptSourcePlane(context->image, plane, width, height);
    ASSERT_EQ(SearchSymbols(*context, 20, 20), 1);
    EXPECT_EQ(GetSymbolSide(GetSymbol(*context, 0)), 20u);
}

INSTANTIATE_TEST_SUITE_P(Factors, SearchDriverModuleSizeTest, ::testing::Values(4, 6, 9, 14),
                         [](const auto& info) {
                             return "Module" + std::to_string(3 * info.param) + "Pixels";
                         });

} // namespace
} // namespace norvale

namespace norvale {
namespace {

int g_interimCalls = 0;

// An interim search that decodes nothing and leaves its marks on everything the search around it
// keeps between its passes.
int32_t ScribblingSearch(DecoderContext& context)
{
    g_interimCalls += 1;
    context.symbolCount = 0;
    context.symbols[0].corner = PointF{-100.0f, -100.0f};
    context.examinedCount = 7;
    context.decodedCount = 0;
    context.retryCount = 0;
    context.rejectedCount = 0;
    context.frameMemoCount = 0;
    context.walkMemoCount = 0;
    context.closerLookCount = 0;
    for (int k = 0; k < 4; ++k) {
        context.corners[k] = PointF{float(k), float(2 * k)};
    }
    context.topWalkStats = WalkStats{10.0f, 200.0f, 105.0f};
    return 0;
}

// An interim search that claims a symbol and writes nothing.
int32_t ClaimingSearch(DecoderContext&)
{
    g_interimCalls += 1;
    return 1;
}

struct SearchEnd
{
    int32_t decoded;
    int32_t examinedCount;
    int32_t retryCount;
    int32_t rejectedCount;
    PointF corners[4];
    PointF firstRetryCorner;
    WalkStats topWalkStats;
};

// Searches the fixture picture; with `apply`, then puts the interim search's failure in place.
SearchEnd SearchOnce(const char* file, InterimSearch* interim, bool apply = false)
{
    ContextPtr context = MakeContext();
    EXPECT_TRUE(test::LoadTestPicture(context->image, test::TestDataPath(file)));
    SearchEnd end{};
    end.decoded = SearchSymbols(*context, 20, 20, interim);
    if (apply) {
        ApplyInterimFailure(*context, *interim);
    }
    end.examinedCount = context->examinedCount;
    end.retryCount = context->retryCount;
    end.rejectedCount = context->rejectedCount;
    std::memcpy(end.corners, context->corners, sizeof end.corners);
    end.firstRetryCorner = context->retryCandidates[0].corner;
    end.topWalkStats = context->topWalkStats;
    FreeGrayImage(context->image);
    return end;
}

// The interim search runs between the passes of a search whose first pass failed; the second pass
// then runs as it would without it. Put in place afterwards, its failure leaves the candidate
// lists of the search, an empty table, and its own corners and walk figures. A search that ends
// with its symbol keeps real corners and walk figures, whatever it wrote.
TEST(InterimSearchTest, SearchAroundItGoesOnAsWithout)
{
    const char* file = "blackbox/negatives/neg-009-dm-like.png";
    const SearchEnd without = SearchOnce(file, nullptr);
    ASSERT_EQ(without.decoded, 0);
    ASSERT_GT(without.examinedCount, 0); // the second pass reads what the first examined

    g_interimCalls = 0;
    InterimSearch interim{};
    interim.run = ScribblingSearch;
    const SearchEnd with = SearchOnce(file, &interim);
    EXPECT_EQ(g_interimCalls, 1);
    EXPECT_EQ(std::memcmp(&with, &without, sizeof with), 0);
    EXPECT_TRUE(interim.ran && interim.searched && interim.left.published && interim.left.walked);

    InterimSearch applied{};
    applied.run = ScribblingSearch;
    const SearchEnd after = SearchOnce(file, &applied, true);
    EXPECT_EQ(after.examinedCount, 0);
    EXPECT_EQ(after.retryCount, without.retryCount);
    EXPECT_EQ(after.rejectedCount, without.rejectedCount);
    EXPECT_EQ(after.corners[3].y, 6.0f);
    EXPECT_EQ(after.topWalkStats.maximum, 200.0f);

    InterimSearch claiming{};
    claiming.run = ClaimingSearch;
    const SearchEnd claimed = SearchOnce(file, &claiming);
    EXPECT_EQ(claimed.decoded, 1);
    EXPECT_FALSE(std::isnan(claimed.corners[0].x) || std::isnan(claimed.topWalkStats.minimum));

    g_interimCalls = 0;
    InterimSearch clean{};
    clean.run = ScribblingSearch;
    EXPECT_EQ(SearchOnce("sizes/s020-1.png", &clean).decoded, 1);
    EXPECT_EQ(g_interimCalls, 0); // the first pass decoded
}

} // namespace
} // namespace norvale
