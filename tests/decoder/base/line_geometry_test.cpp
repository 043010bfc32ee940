#include "decoder/base/line_geometry.h"

#include <gtest/gtest.h>

namespace norvale {
namespace {

FittedLine MakeLine(PointF origin, PointF direction)
{
    FittedLine line{};
    line.valid = 1;
    line.origin = origin;
    line.direction = direction;
    return line;
}

TEST(LineGeometryTest, NormalizeReturnsLengthAndUnitVector)
{
    PointF v{3.0f, 4.0f};
    EXPECT_FLOAT_EQ(NormalizeVector(v), 5.0f);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.y, 0.8f);
}

TEST(LineGeometryTest, NormalizeZeroVectorLeavesItAlone)
{
    PointF v{0.0f, 0.0f};
    EXPECT_EQ(NormalizeVector(v), 0.0f);
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.y, 0.0f);
}

TEST(LineGeometryTest, ProjectionOfPointOnLineIsItsParameter)
{
    const FittedLine line = MakeLine({2.0f, 3.0f}, {0.6f, 0.8f});
    EXPECT_FLOAT_EQ(LineProjection(line, line.origin), 0.0f);
    PointF p{};
    PointF q{};
    ASSERT_EQ(PointOnLine(p, line, 7.5f), 1);
    EXPECT_NEAR(LineProjection(line, p), 7.5f, 1e-5);
    PointOnLine(q, line, -2.0f);
    EXPECT_NEAR(q.x, 0.8f, 1e-6);
    EXPECT_NEAR(q.y, 1.4f, 1e-6);
}

TEST(LineGeometryTest, IntersectsPerpendicularLines)
{
    const FittedLine a = MakeLine({0.0f, 5.0f}, {1.0f, 0.0f});
    const FittedLine b = MakeLine({7.0f, 0.0f}, {0.0f, 1.0f});
    PointF p{};
    ASSERT_EQ(IntersectLines(p, a, b), 1);
    EXPECT_NEAR(p.x, 7.0f, 1e-5);
    EXPECT_NEAR(p.y, 5.0f, 1e-5);
}

TEST(LineGeometryTest, ParallelLinesLeaveOutputUntouched)
{
    const FittedLine a = MakeLine({0.0f, 0.0f}, {1.0f, 0.0f});
    const FittedLine b = MakeLine({0.0f, 3.0f}, {1.0f, 0.0f});
    PointF p{-1.0f, -2.0f};
    EXPECT_EQ(IntersectLines(p, a, b), 0);
    EXPECT_EQ(p.x, -1.0f);
    EXPECT_EQ(p.y, -2.0f);
}

TEST(LineGeometryTest, EvaluateLinearUsesInterceptThenSlope)
{
    const float pair[2] = {10.0f, -1.0f};
    float y = 0.0f;
    EvaluateLinear(y, pair, 4.0f);
    EXPECT_FLOAT_EQ(y, 6.0f);
}

} // namespace
} // namespace norvale
