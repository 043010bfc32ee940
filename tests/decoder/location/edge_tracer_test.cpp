#include "decoder/location/edge_tracer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/decoder/location/location_pictures.h"

namespace norvale {
namespace {

using test::PictureContext;

using test::MakeTracer;

TEST(EdgeTracerTest, StartsAtTheWalkersCrossing)
{
    EdgeWalker walker{};
    walker.direction = kScanRight;
    walker.lineCoord = 12;
    walker.posA = 30;
    walker.fraction = 0.25f;
    walker.levelA = 10.0f;
    walker.levelB = 200.0f;
    walker.contrast.inkThreshold = 90.0f;
    walker.contrast.contrastReference = 240.0f;
    walker.contrast.contrastSign = -1.0f;
    EdgeTracer tracer;
    InitEdgeTracer(tracer, walker, RotateDirection(kScanRight, kTurnForward));
    EXPECT_EQ(tracer.direction, kScanUp);
    EXPECT_EQ(tracer.polarity, 1);
    EXPECT_EQ(tracer.coord, 12);
    EXPECT_FLOAT_EQ(tracer.position, 30.25f);
    EXPECT_FLOAT_EQ(tracer.inkThreshold, 90.0f);
    const PointF p = TracerPoint(tracer);
    EXPECT_FLOAT_EQ(p.x, 30.25f);
    EXPECT_FLOAT_EQ(p.y, 12.0f);
}

TEST(EdgeTracerTest, FollowsAStraightEdge)
{
    PictureContext picture(60, 60, 255);
    picture.Paint([](double x, double) { return x < 30.3; }, 0);
    EdgeTracer tracer = MakeTracer(kScanDown, 5, 30.0f, -1); // level falls towards +x
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(StepEdgeTracer(tracer, picture.image()), kTraceMoved);
        EXPECT_NEAR(tracer.position, 30.3f, 0.1f);
        EXPECT_EQ(tracer.coord, 6 + i);
    }
    EXPECT_EQ(tracer.turnCount, 0);
    EXPECT_EQ(tracer.direction, kScanDown);
}

TEST(EdgeTracerTest, TurnsAroundACorner)
{
    PictureContext picture(60, 60, 255);
    picture.Paint([](double x, double y) { return x < 30.3 && y < 40.3; }, 0);
    EdgeTracer tracer = MakeTracer(kScanDown, 5, 30.3f, -1);
    int steps = 0;
    while (tracer.turnCount == 0 && steps < 60) {
        ASSERT_EQ(StepEdgeTracer(tracer, picture.image()), kTraceMoved);
        ++steps;
    }
    EXPECT_EQ(tracer.turnCount, 1);
    EXPECT_EQ(tracer.direction, kScanLeft);
    EXPECT_EQ(tracer.coord, 30);
    EXPECT_NEAR(tracer.position, 41.0f, 1e-6);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(StepEdgeTracer(tracer, picture.image()), kTraceMoved);
        EXPECT_NEAR(tracer.position, 40.3f, 0.1f);
    }
    EXPECT_EQ(tracer.direction, kScanLeft);
    EXPECT_EQ(tracer.coord, 10);
}

// A kept view carries the sample its last step foresaw for the next one; a wrong one (a view
// handed on from another tracer, or spoiled here on every other step) must not move the trace.
TEST(EdgeTracerTest, KeptViewStepsAsAFreshOneWhateverItForesaw)
{
    PictureContext picture(80, 80, 255);
    picture.Paint([](double x, double y) { return x < 20.4 + 0.45 * y && y < 60.6; }, 0);
    EdgeTracer fresh = MakeTracer(kScanDown, 3, 21.7f, -1);
    EdgeTracer kept = fresh;
    TracerView view = MakeTracerView(kept, picture.image());
    for (int i = 0; i < 90; ++i) {
        if (i % 2 == 1) {
            view.nextAlong = (i * 7) % 80;
        }
        const int expected = StepEdgeTracer(fresh, picture.image());
        ASSERT_EQ(StepEdgeTracer(kept, view), expected) << i;
        ASSERT_EQ(kept.position, fresh.position) << i;
        ASSERT_EQ(kept.coord, fresh.coord) << i;
        ASSERT_EQ(kept.direction, fresh.direction) << i;
        if (expected != kTraceMoved) {
            break;
        }
    }
    EXPECT_GE(fresh.turnCount, 1);
}

struct SideCase
{
    float threshold;
    float reference;
    float sign;
};

// Thresholds on a level, between levels, beyond every level and not finite, for levels that rise
// and fall with the grey.
constexpr SideCase kSideCases[] = {
    {127.5f, 255.0f, -1.0f}, {127.0f, 255.0f, -1.0f}, {0.0f, 255.0f, -1.0f},  {-0.3f, 40.0f, 1.0f},
    {12.0f, 40.0f, 1.0f},    {215.0f, 40.0f, 1.0f},   {900.0f, 10.0f, 1.0f},  {-900.0f, 10.0f, -1.0f},
    {1e-7f, 0.0f, 1.0f},     {33.25f, 99.5f, -1.0f},  {INFINITY, 0.0f, 1.0f}, {-INFINITY, 0.0f, -1.0f},
    {NAN, 128.0f, 1.0f},
};

TEST(EdgeTracerTest, ThresholdSidesMatchTheLevelOfEveryGrey)
{
    PictureContext picture(8, 8, 0);
    for (const SideCase& c : kSideCases) {
        EdgeTracer tracer = MakeTracer(kScanDown, 2, 4.0f, 1);
        tracer.inkThreshold = c.threshold;
        tracer.contrastReference = c.reference;
        tracer.contrastSign = c.sign;
        const TracerView view = MakeTracerView(tracer, picture.image());
        for (int g = 0; g < 256; ++g) {
            const float level = LevelOf(LevelLineOf(c.reference, c.sign), static_cast<float>(g));
            const int expected = std::fabs(level - c.threshold) < kTracerLevelEpsilon ? 0
                                 : c.threshold - level > 0.0f                         ? 1
                                                                                      : -1;
            ASSERT_EQ(ThresholdSide(view, g), expected) << "threshold " << c.threshold << " grey " << g;
        }
    }
}

struct BorderCase
{
    const char* name;
    int direction;
    int coord;
    float position;
};

// Tracers that start within two pixels of a side across their travel, or on the last row or
// column of their travel, stop at once and read nothing outside the picture.
constexpr BorderCase kBorderCases[] = {
    {"NearLeftSide", kScanDown, 10, 1.4f},      {"NearRightSide", kScanDown, 10, 18.0f},
    {"NearBottom", kScanRight, 10, 1.0f},       {"NearTop", kScanLeft, 10, 17.6f},
    {"LastRowUpward", kScanDown, 19, 10.0f},    {"FirstColumnLeftward", kScanLeft, 1, 10.0f},
    {"NegativePosition", kScanDown, 10, -3.0f}, {"FarOutside", kScanRight, 10, 1e30f},
};

class EdgeTracerBorderTest : public ::testing::TestWithParam<BorderCase>
{
};

TEST_P(EdgeTracerBorderTest, StopsAtOnce)
{
    PictureContext picture(20, 20, 0);
    EdgeTracer tracer = MakeTracer(GetParam().direction, GetParam().coord, GetParam().position, 1);
    EXPECT_EQ(StepEdgeTracer(tracer, picture.image()), kTraceExhausted);
}

INSTANTIATE_TEST_SUITE_P(Cases, EdgeTracerBorderTest, ::testing::ValuesIn(kBorderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EdgeTracerTest, TinyPicturesStopAtOnce)
{
    for (uint32_t side : {1u, 2u, 3u, 4u, 5u}) {
        PictureContext picture(side, side, 0);
        for (int direction : {kScanDown, kScanLeft, kScanUp, kScanRight}) {
            EdgeTracer tracer = MakeTracer(direction, 0, 0.5f * side, 1);
            int steps = 0;
            while (StepEdgeTracer(tracer, picture.image()) == kTraceMoved && steps < 100) {
                ++steps;
            }
            EXPECT_LT(steps, 100);
        }
    }
}

} // namespace
} // namespace norvale
