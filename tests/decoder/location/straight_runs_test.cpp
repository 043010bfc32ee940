#include "decoder/location/straight_runs.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/decoder/location/location_pictures.h"

namespace norvale {
namespace {

using test::PictureContext;

using test::MakeTracer;

// Distance of p from the infinite line through `line`.
double OffLine(const FittedLine& line, double x, double y)
{
    return std::fabs((x - line.origin.x) * line.direction.y - (y - line.origin.y) * line.direction.x);
}

TEST(StraightRunsTest, RecordsBothRunsAroundAQuarterTurn)
{
    PictureContext picture(120, 120, 255);
    picture.Paint([](double x, double y) { return x < 60.3 && y < 50.3; }, 0);
    EdgeTracer tracer = MakeTracer(kScanDown, 10, 60.3f, -1);
    TraceEdgeLines(tracer, picture.image());
    ASSERT_EQ(tracer.firstLine.valid, 1);
    ASSERT_EQ(tracer.secondLine.valid, 1);
    EXPECT_GE(tracer.turnCount, 1);
    EXPECT_NEAR(tracer.firstLine.direction.x, 0.0f, 0.02f);
    EXPECT_NEAR(tracer.firstLine.direction.y, 1.0f, 0.001f);
    EXPECT_LT(OffLine(tracer.firstLine, 60.3, 30.0), 0.5);
    EXPECT_GT(tracer.firstLine.tEnd - tracer.firstLine.tStart, 25.0f);
    EXPECT_NEAR(tracer.secondLine.direction.x, -1.0f, 0.001f);
    EXPECT_NEAR(tracer.secondLine.direction.y, 0.0f, 0.02f);
    EXPECT_LT(OffLine(tracer.secondLine, 30.0, 50.3), 0.5);
    EXPECT_GT(tracer.secondLine.tEnd - tracer.secondLine.tStart, 40.0f);
}

TEST(StraightRunsTest, EdgeIntoTheBorderGivesOneRunAtTheClose)
{
    PictureContext picture(80, 80, 255);
    picture.Paint([](double x, double y) { return x < 40.3 + 0.1 * y; }, 0);
    EdgeTracer tracer = MakeTracer(kScanDown, 10, 41.3f, -1);
    TraceEdgeLines(tracer, picture.image());
    ASSERT_EQ(tracer.firstLine.valid, 1);
    EXPECT_EQ(tracer.secondLine.valid, 0);
    EXPECT_EQ(tracer.turnCount, 0);
    EXPECT_EQ(tracer.coord, 80); // stopped by the top border
    const double n = std::hypot(0.1, 1.0);
    EXPECT_NEAR(tracer.firstLine.direction.x, 0.1 / n, 0.01);
    EXPECT_NEAR(tracer.firstLine.direction.y, 1.0 / n, 0.01);
    EXPECT_LT(OffLine(tracer.firstLine, 40.3 + 0.1 * 50.0, 50.0), 0.5);
}

TEST(StraightRunsTest, SmallBlobEndsAfterThreeTurns)
{
    PictureContext picture(60, 60, 255);
    picture.Paint([](double x, double y) { return x > 20.3 && x < 28.3 && y > 20.3 && y < 28.3; }, 0);
    EdgeTracer tracer = MakeTracer(kScanDown, 22, 28.3f, -1);
    TraceEdgeLines(tracer, picture.image());
    EXPECT_LE(tracer.turnCount, 3);
    EXPECT_EQ(tracer.secondLine.valid, 0);
}

TEST(StraightRunsTest, ShortRunIsNotRecorded)
{
    PictureContext picture(60, 60, 255);
    picture.Paint([](double x, double y) { return x < 30.3 && y < 14.3; }, 0);
    EdgeTracer tracer = MakeTracer(kScanDown, 10, 30.3f, -1); // 4 steps up, then a turn
    TraceEdgeLines(tracer, picture.image());
    if (tracer.firstLine.valid != 0) {
        // The only run long enough is the horizontal one after the turn.
        EXPECT_NEAR(std::fabs(tracer.firstLine.direction.x), 1.0f, 0.01f);
    }
}

TEST(StraightRunsTest, StalledTracerFinishes)
{
    PictureContext picture(40, 40, 255);
    EdgeTracer tracer = MakeTracer(kScanDown, 39, 20.0f, -1);
    TraceEdgeLines(tracer, picture.image());
    EXPECT_EQ(tracer.firstLine.valid, 0);
    EXPECT_EQ(tracer.secondLine.valid, 0);
}

} // namespace
} // namespace norvale
