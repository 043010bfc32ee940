#include "decoder/line_probes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "tests/decoder/location/location_pictures.h"
#include "tests/test_support.h"

namespace norvale {
namespace {

using test::DrawnFrame;
using test::PictureContext;

// The clean pictures have their finder vertex at the bottom-left of the dark bounding box; the
// boundary lies half a pixel outside the first dark pixel centres.
bool FinderVertex(const GrayImage& image, double& x, double& y)
{
    uint32_t minX = UINT32_MAX;
    uint32_t minY = UINT32_MAX;
    for (uint32_t row = 0; row < image.height; ++row) {
        for (uint32_t col = 0; col < image.width; ++col) {
            if (image.current[size_t{row} * image.width + col] < 128) {
                minX = std::min(minX, col);
                minY = std::min(minY, row);
            }
        }
    }
    x = minX - 0.5;
    y = minY - 0.5;
    return minX != UINT32_MAX;
}

struct CorpusCase
{
    const char* name;
    const char* file;
    double degrees;
};

constexpr CorpusCase kCorpusCases[] = {
    {"Size10", "sizes/s010-0.png", 0.0},
    {"Size12", "sizes/s012-1.png", 0.0},
    {"Size14", "sizes/s014-0.png", 0.0},
    {"Size16", "sizes/s016-0.png", 0.0},
    {"Size20", "sizes/s020-1.png", 0.0},
    {"Size10Turned30", "sizes/s010-0.png", 30.0},
    {"Size12Turned90", "sizes/s012-1.png", 90.0},
    {"Size14Turned135", "sizes/s014-0.png", 135.0},
    {"Size16Turned210", "sizes/s016-0.png", 210.0},
    {"Size20Turned300", "sizes/s020-1.png", 300.0},
    {"Size10Turned17", "sizes/s010-0.png", 17.0},
};

class LineProbeCorpusTest : public ::testing::TestWithParam<CorpusCase>
{
};

// The first-pass collection over the scan grid holds a candidate within 3 pixels of the finder
// vertex, also in copies the test turns itself (the vertex turns with the picture).
TEST_P(LineProbeCorpusTest, CollectsTheFinderCorner)
{
    GrayImage loaded{};
    ASSERT_TRUE(test::LoadTestPicture(loaded, test::TestDataPath(GetParam().file)));
    double vx = 0.0;
    double vy = 0.0;
    ASSERT_TRUE(FinderVertex(loaded, vx, vy));
    if (GetParam().degrees == 0.0) {
        PictureContext picture(loaded);
        EXPECT_GT(test::CollectScanGrid(picture.context()), 0);
        EXPECT_LT(test::NearestCornerDistance(picture.context(), vx, vy), 3.0);
        return;
    }
    const uint32_t side = test::RotatedCanvasSide(loaded);
    PictureContext turned(side, side, 255);
    test::RotatePicture(turned, loaded, GetParam().degrees, vx, vy);
    test::FreeTestPicture(loaded);
    EXPECT_GT(test::CollectScanGrid(turned.context()), 0);
    EXPECT_LT(test::NearestCornerDistance(turned.context(), vx, vy), 3.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineProbeCorpusTest, ::testing::ValuesIn(kCorpusCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct DrawnCase
{
    const char* name;
    double degrees;
};

constexpr DrawnCase kDrawnCases[] = {
    {"Upright", 0.0},   {"Turned10", 10.0},   {"Turned30", 30.0},   {"Turned45", 45.0},
    {"Turned90", 90.0}, {"Turned135", 135.0}, {"Turned210", 210.0}, {"Turned300", 300.0},
};

class LineProbeDrawnTest : public ::testing::TestWithParam<DrawnCase>
{
};

TEST_P(LineProbeDrawnTest, CollectsTheDrawnFinderCorner)
{
    PictureContext picture(160, 160, 255);
    const DrawnFrame centred{0.0, 0.0, GetParam().degrees};
    DrawnFrame frame{0.0, 0.0, GetParam().degrees};
    centred.ToImage(-30.0, -30.0, frame.kx, frame.ky);
    frame.kx += 80.3;
    frame.ky += 79.6;
    test::DrawSymbolLike(picture, frame, 12, 5.0);
    ASSERT_GT(test::CollectScanGrid(picture.context()), 0);
    EXPECT_LT(test::NearestCornerDistance(picture.context(), frame.kx, frame.ky), 1.0);
    // Every collected record keeps the contrast of its scan line and a consistent orientation.
    for (int32_t i = 0; i < picture.context().symbolCount; ++i) {
        const SymbolRecord& r = picture.context().symbols[i];
        EXPECT_EQ(r.contrast.edgeSeen, 1);
        const double cross = (double{r.xLegEnd.x} - r.corner.x) * (double{r.yLegEnd.y} - r.corner.y) -
                             (double{r.xLegEnd.y} - r.corner.y) * (double{r.yLegEnd.x} - r.corner.x);
        EXPECT_GT(cross, 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LineProbeDrawnTest, ::testing::ValuesIn(kDrawnCases),
                         [](const auto& info) { return std::string(info.param.name); });

PictureContext* MakeDrawnSymbol()
{
    auto* picture = new PictureContext(120, 120, 255);
    test::DrawSymbolLike(*picture, DrawnFrame{30.3, 30.6, 0.0}, 12, 5.0);
    return picture;
}

TEST(LineProbeTest, SameCornerIsStoredOnce)
{
    std::unique_ptr<PictureContext> picture(MakeDrawnSymbol());
    DecoderContext& context = picture->context();
    const int32_t first = ProbeScanLine(context, kScanDown, 60, 0, 120);
    ASSERT_GT(first, 0);
    // The same line again finds exactly the same corners: nothing new is stored.
    EXPECT_EQ(ProbeScanLine(context, kScanDown, 60, 0, 120), 0);
    EXPECT_EQ(context.symbolCount, first);
    for (int32_t i = 0; i < context.symbolCount; ++i) {
        for (int32_t j = i + 1; j < context.symbolCount; ++j) {
            const SymbolRecord& a = context.symbols[i];
            const SymbolRecord& b = context.symbols[j];
            EXPECT_FALSE(a.corner.x == b.corner.x && a.corner.y == b.corner.y && a.yLegEnd.x == b.yLegEnd.x &&
                         a.yLegEnd.y == b.yLegEnd.y);
        }
    }
}

TEST(LineProbeTest, StopsWhenASymbolWasDecoded)
{
    std::unique_ptr<PictureContext> picture(MakeDrawnSymbol());
    DecoderContext& context = picture->context();
    context.flags = kFlagStopAtFirst;
    context.decodedCount = 1;
    EXPECT_EQ(ProbeScanLine(context, kScanDown, 60, 0, 120), 0);
    EXPECT_EQ(context.symbolCount, 0);
    context.symbolCount = 1;
    EXPECT_EQ(ProbeAndDecodeLine(context, kScanDown, 60), 1);
}

TEST(LineProbeTest, AfterExaminationOnlyNearbyCornersAreCollected)
{
    std::unique_ptr<PictureContext> picture(MakeDrawnSymbol());
    DecoderContext& context = picture->context();
    context.examinedCount = 1;
    context.symbolCount = 1;
    context.symbols[0].corner = PointF{80.0f, 80.0f}; // far from the drawn vertex
    EXPECT_EQ(ProbeScanLine(context, kScanDown, 60, 0, 120), 0);
    context.symbols[0].corner = PointF{30.3f, 30.6f};
    EXPECT_GT(ProbeScanLine(context, kScanDown, 60, 0, 120), 0);
    for (int32_t i = 1; i < context.symbolCount; ++i) {
        EXPECT_LE(std::fabs(context.symbols[i].corner.x - 30.3f), 2.0f);
        EXPECT_LE(std::fabs(context.symbols[i].corner.y - 30.6f), 2.0f);
    }
}

TEST(LineProbeTest, FullTableTakesNoMore)
{
    std::unique_ptr<PictureContext> picture(MakeDrawnSymbol());
    DecoderContext& context = picture->context();
    context.symbolCount = kMaxSymbolRecords - 1;
    for (int32_t i = 0; i < context.symbolCount; ++i) {
        context.symbols[i].corner = PointF{-100.0f - i, -100.0f};
    }
    EXPECT_EQ(ProbeScanLine(context, kScanDown, 60, 0, 120), 1);
    EXPECT_EQ(context.symbolCount, kMaxSymbolRecords);
    EXPECT_EQ(ProbeScanLine(context, kScanRight, 60, 0, 120), 0);
}

TEST(LineProbeTest, ShortSpanYieldsNothing)
{
    std::unique_ptr<PictureContext> picture(MakeDrawnSymbol());
    EXPECT_EQ(ProbeScanLine(picture->context(), kScanDown, 60, 28, 11), 0);
}

struct SpanCase
{
    const char* name;
    int direction;
    int lineCoord;
    int start;
    int length;
};

// Spans that reach past the picture are clipped to it; lines outside it scan nothing.
constexpr SpanCase kSpanCases[] = {
    {"StartBeforePicture", kScanDown, 60, -50, 200},
    {"EndPastPicture", kScanRight, 60, 100, 400},
    {"LineLeftOfPicture", kScanDown, -1, 0, 120},
    {"LineAbovePicture", kScanRight, 120, 0, 120},
    {"HugeLength", kScanDown, 60, 10, INT32_MAX - 20},
    {"NegativeLength", kScanRight, 60, 10, -5},
    {"ZeroLength", kScanRight, 60, 10, 0},
};

class LineProbeSpanTest : public ::testing::TestWithParam<SpanCase>
{
};

TEST_P(LineProbeSpanTest, ReadsOnlyInsideThePicture)
{
    std::unique_ptr<PictureContext> picture(MakeDrawnSymbol());
    const int32_t added = ProbeScanLine(picture->context(), GetParam().direction, GetParam().lineCoord,
                                        GetParam().start, GetParam().length);
    EXPECT_GE(added, 0);
    EXPECT_EQ(picture->context().symbolCount, added);
    EXPECT_EQ(ProbeAndDecodeLine(picture->context(), GetParam().direction, GetParam().lineCoord), added);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineProbeSpanTest, ::testing::ValuesIn(kSpanCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct TinyCase
{
    const char* name;
    uint32_t width;
    uint32_t height;
    int pattern; // 0 uniform black, 1 uniform white, 2 noise
};

constexpr TinyCase kTinyCases[] = {
    {"OneByOne", 1, 1, 2},       {"TwoByTwo", 2, 2, 2},       {"NineByNine", 9, 9, 2},
    {"TenByTen", 10, 10, 2},     {"NineByForty", 9, 40, 2},   {"FortyByNine", 40, 9, 2},
    {"UniformBlack", 64, 64, 0}, {"UniformWhite", 64, 64, 1}, {"Noise", 200, 150, 2},
    {"NoiseTall", 31, 257, 2},
};

class LineProbeTinyTest : public ::testing::TestWithParam<TinyCase>
{
};

TEST_P(LineProbeTinyTest, NoCrashHangOrStrayRead)
{
    const TinyCase& c = GetParam();
    PictureContext picture(c.width, c.height, c.pattern == 1 ? 255 : 0);
    uint32_t state = 12345u;
    if (c.pattern == 2) {
        for (uint32_t y = 0; y < c.height; ++y) {
            for (uint32_t x = 0; x < c.width; ++x) {
                state = state * 1664525u + 1013904223u;
                picture.at(x, y) = static_cast<uint8_t>(state >> 24);
            }
        }
    }
    const int32_t total = test::CollectScanGrid(picture.context());
    EXPECT_GE(total, 0);
    EXPECT_LE(picture.context().symbolCount, kMaxSymbolRecords);
    if (c.pattern != 2) {
        EXPECT_EQ(total, 0);
    }
    // Whole lines at every coordinate, as the retry step may probe them.
    for (uint32_t x = 0; x < c.width; x += 1 + c.width / 8) {
        ProbeAndDecodeLine(picture.context(), kScanDown, static_cast<int>(x));
    }
    for (uint32_t y = 0; y < c.height; y += 1 + c.height / 8) {
        ProbeAndDecodeLine(picture.context(), kScanRight, static_cast<int>(y));
    }
    EXPECT_LE(picture.context().symbolCount, kMaxSymbolRecords);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineProbeTinyTest, ::testing::ValuesIn(kTinyCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale
