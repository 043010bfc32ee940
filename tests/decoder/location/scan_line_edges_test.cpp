#include "decoder/location/scan_line_edges.h"

#include <gtest/gtest.h>

#include <string>

#include "decoder/decoder_context.h"
#include "tests/decoder/location/location_pictures.h"

namespace norvale {
namespace {

using test::PictureContext;

struct RotateCase
{
    const char* name;
    int code;
    int sense;
    int expected;
};

constexpr RotateCase kRotateCases[] = {
    {"DownForward", kScanDown, kTurnForward, kScanRight},
    {"DownBackward", kScanDown, kTurnBackward, kScanLeft},
    {"LeftForward", kScanLeft, kTurnForward, kScanDown},
    {"LeftBackward", kScanLeft, kTurnBackward, kScanUp},
    {"UpForward", kScanUp, kTurnForward, kScanLeft},
    {"UpBackward", kScanUp, kTurnBackward, kScanRight},
    {"RightForward", kScanRight, kTurnForward, kScanUp},
    {"RightBackward", kScanRight, kTurnBackward, kScanDown},
};

class ScanLineEdgesRotateTest : public ::testing::TestWithParam<RotateCase>
{
};

TEST_P(ScanLineEdgesRotateTest, FollowsTheCycle)
{
    EXPECT_EQ(RotateDirection(GetParam().code, GetParam().sense), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanLineEdgesRotateTest, ::testing::ValuesIn(kRotateCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Vertical stripes of `darkWidth`/`lightWidth` pixels starting light at x = 0.
void DrawStripes(PictureContext& picture, int period, int dark, uint8_t low, uint8_t high)
{
    for (uint32_t y = 0; y < picture.image().height; ++y) {
        for (uint32_t x = 0; x < picture.image().width; ++x) {
            picture.at(x, y) = (static_cast<int>(x) % period) >= period - dark ? low : high;
        }
    }
}

TEST(ScanLineEdgesTest, StripesGiveUsablePassAndCrossingsAtTheSteps)
{
    PictureContext picture(80, 20, 255);
    DrawStripes(picture, 10, 5, 20, 220); // dark at x = 5..9, 15..19, ...
    ScanLine line;
    InitScanLine(line, kScanRight, 10, 0, 80);
    ASSERT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EXPECT_EQ(line.contrast.edgeSeen, 1);
    EXPECT_FLOAT_EQ(line.contrast.contrastSign, -1.0f); // light to dark first
    EXPECT_FLOAT_EQ(line.contrast.contrastReference, 220.0f);
    EXPECT_FLOAT_EQ(line.contrast.maxLevel, 200.0f);
    EXPECT_FLOAT_EQ(line.contrast.inkThreshold, 100.0f);
    EXPECT_EQ(line.edgeCount, 14); // 15 steps before position 79, the first one not counted
    EXPECT_EQ(line.currentPos, 79);
    EXPECT_TRUE(IsUsableSegment(line));
    EXPECT_EQ(NextScanSegment(line, picture.image()), kTraceExhausted);

    EdgeWalker walker;
    InitEdgeWalker(walker, line);
    int crossings = 0;
    while (NextEdgeCrossing(walker, picture.image(), line.contrast) == kTraceItem) {
        if (walker.posA == walker.lastPos) {
            break; // end of the span without a crossing
        }
        const float position = walker.posA + walker.fraction;
        // Each step lies between two pixel centres, so the crossing sits halfway.
        EXPECT_FLOAT_EQ(position, 5.0f * (crossings + 1) - 0.5f);
        EXPECT_FLOAT_EQ(walker.fraction, 0.5f);
        ++crossings;
    }
    EXPECT_EQ(crossings, 15);
}

TEST(ScanLineEdgesTest, CrossingCarriesLocalExtremes)
{
    PictureContext picture(60, 20, 255);
    DrawStripes(picture, 10, 5, 40, 200);
    ScanLine line;
    InitScanLine(line, kScanRight, 5, 0, 60);
    ASSERT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EdgeWalker walker;
    InitEdgeWalker(walker, line);
    ASSERT_EQ(NextEdgeCrossing(walker, picture.image(), line.contrast), kTraceItem);
    EXPECT_EQ(walker.posA, 4);
    EXPECT_FLOAT_EQ(walker.contrast.minLevel, 0.0f);
    EXPECT_FLOAT_EQ(walker.contrast.maxLevel, 160.0f);
    EXPECT_FLOAT_EQ(walker.contrast.inkThreshold, 80.0f);
    EXPECT_GT(walker.levelB, walker.levelA);
}

TEST(ScanLineEdgesTest, RippleCrossingsDoNotSwingLikeTransitions)
{
    // Stripes of 20 and 220 on the left half, a ripple of 117 and 123 around their mid level on
    // the right half: every pixel pair of the ripple crosses the threshold. (The ripple's last
    // crossings see too few levels for local extremes and keep the line's.)
    PictureContext picture(100, 20, 255);
    DrawStripes(picture, 10, 5, 20, 220);
    for (uint32_t y = 0; y < 20; ++y) {
        for (uint32_t x = 50; x < 100; ++x) {
            picture.at(x, y) = x % 2 == 0 ? 117 : 123;
        }
    }
    ScanLine line;
    InitScanLine(line, kScanRight, 10, 0, 100);
    ASSERT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    ASSERT_TRUE(IsUsableSegment(line));
    EdgeWalker walker;
    InitEdgeWalker(walker, line);
    int stripeEdges = 0;
    int ripples = 0;
    while (NextEdgeCrossing(walker, picture.image(), line.contrast) == kTraceItem &&
           walker.posA < walker.lastPos) {
        if (walker.posA < 50) {
            EXPECT_TRUE(SwingsLikeTransition(walker)) << walker.posA;
            ++stripeEdges;
        } else if (walker.posA >= 52 && walker.posA < 90) {
            EXPECT_FALSE(SwingsLikeTransition(walker)) << walker.posA;
            ++ripples;
        }
    }
    EXPECT_EQ(stripeEdges, 9);
    EXPECT_EQ(ripples, 38);
}

TEST(ScanLineEdgesTest, SpanOfTwoReadsOnlyTheStart)
{
    PictureContext picture(20, 20, 255);
    ScanLine line;
    InitScanLine(line, kScanDown, 5, 3, 2);
    EXPECT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EXPECT_EQ(line.contrast.edgeSeen, 0);
    EXPECT_FLOAT_EQ(line.contrast.currentGray, 255.0f);
    EXPECT_FALSE(IsUsableSegment(line));
    EXPECT_EQ(NextScanSegment(line, picture.image()), kTraceExhausted);
}

TEST(ScanLineEdgesTest, EmptyAndSinglePixelSpansAreExhausted)
{
    PictureContext picture(20, 20, 255);
    ScanLine line;
    InitScanLine(line, kScanDown, 5, 3, 1);
    EXPECT_EQ(NextScanSegment(line, picture.image()), kTraceExhausted);
    InitScanLine(line, kScanDown, 5, 3, 0);
    EXPECT_EQ(NextScanSegment(line, picture.image()), kTraceExhausted);
    InitScanLine(line, kScanRight, 5, 3, -4);
    EXPECT_EQ(NextScanSegment(line, picture.image()), kTraceExhausted);
}

TEST(ScanLineEdgesTest, UniformLineHasNoEdge)
{
    PictureContext picture(40, 40, 128);
    ScanLine line;
    InitScanLine(line, kScanDown, 20, 0, 40);
    EXPECT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EXPECT_EQ(line.contrast.edgeSeen, 0);
    EXPECT_EQ(line.edgeCount, 0);
    EXPECT_FALSE(IsUsableSegment(line));
}

struct StepCase
{
    const char* name;
    uint8_t high;
    bool edge;
};

constexpr StepCase kStepCases[] = {
    {"FiveIsNoEdge", 105, false},
    {"SixIsAnEdge", 106, true},
};

class ScanLineEdgesStepTest : public ::testing::TestWithParam<StepCase>
{
};

TEST_P(ScanLineEdgesStepTest, NeedsMoreThanFiveLevels)
{
    PictureContext picture(30, 10, 100);
    for (uint32_t y = 0; y < 10; ++y) {
        for (uint32_t x = 15; x < 30; ++x) {
            picture.at(x, y) = GetParam().high;
        }
    }
    ScanLine line;
    InitScanLine(line, kScanRight, 5, 0, 30);
    ASSERT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EXPECT_EQ(line.contrast.edgeSeen != 0, GetParam().edge);
    if (GetParam().edge) {
        EXPECT_FLOAT_EQ(line.contrast.contrastSign, 1.0f);
        EXPECT_FLOAT_EQ(line.contrast.contrastReference, 100.0f);
        EXPECT_EQ(line.lastEdgePos, 15);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanLineEdgesStepTest, ::testing::ValuesIn(kStepCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScanLineEdgesTest, SmallSwingNeverCountsTransitions)
{
    PictureContext picture(80, 20, 255);
    DrawStripes(picture, 10, 5, 100, 110); // swing 10: half is 5, not above it
    ScanLine line;
    InitScanLine(line, kScanRight, 10, 0, 80);
    ASSERT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EXPECT_EQ(line.contrast.edgeSeen, 1);
    EXPECT_EQ(line.edgeCount, 0);
}

TEST(ScanLineEdgesTest, ShortPassIsNotUsable)
{
    PictureContext picture(40, 20, 255);
    DrawStripes(picture, 4, 2, 0, 255); // steps at 2, 4, 6, 8, 10, ...
    ScanLine line;
    InitScanLine(line, kScanRight, 10, 0, 11);
    ASSERT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EXPECT_GT(line.edgeCount, 2);
    EXPECT_FALSE(IsUsableSegment(line)); // 10 positions from the start to the end
    InitScanLine(line, kScanRight, 10, 0, 12);
    ASSERT_EQ(NextScanSegment(line, picture.image()), kTraceItem);
    EXPECT_TRUE(IsUsableSegment(line));
}

TEST(ScanLineEdgesTest, GradientTestStaysInsideThePicture)
{
    PictureContext picture(3, 3, 0);
    picture.at(0, 0) = 255;
    EXPECT_TRUE(ConfirmEdgeGradient(picture.image(), kScanRight, 1, 1));
    EXPECT_FALSE(
        ConfirmEdgeGradient(picture.image(), kScanRight, 2, 2)); // the bright pixel is not a neighbour
    PictureContext uniform(3, 3, 200);
    // At a corner the missing neighbours read as 0, so even a uniform picture shows a gradient.
    EXPECT_TRUE(ConfirmEdgeGradient(uniform.image(), kScanDown, 0, 0));
    EXPECT_FALSE(ConfirmEdgeGradient(uniform.image(), kScanDown, 1, 1));
}

TEST(ScanLineEdgesTest, EqualLevelsOnTheThresholdAreNoCrossing)
{
    PictureContext picture(40, 10, 255);
    ScanContrast contrast{};
    contrast.contrastSign = 1.0f;
    contrast.inkThreshold = 255.0f; // every level is 255: dA = dB = 0
    EdgeWalker walker{};
    walker.direction = kScanRight;
    walker.lineCoord = 5;
    walker.firstPos = 0;
    walker.lastPos = 20;
    ASSERT_EQ(NextEdgeCrossing(walker, picture.image(), contrast), kTraceItem);
    EXPECT_EQ(walker.posA, 20); // ran to the end of the span
    EXPECT_EQ(NextEdgeCrossing(walker, picture.image(), contrast), kTraceExhausted);
}

} // namespace
} // namespace norvale
