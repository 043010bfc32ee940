#include "decoder/location/finder_corner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "decoder/base/transform2d.h"
#include "decoder/location/straight_runs.h"
#include "tests/decoder/location/location_pictures.h"

namespace norvale {
namespace {

using test::DrawnFrame;
using test::PictureContext;

// A run on the line from k towards `end`, parameterised from k: it ends at `end` and has extent
// `extent` (it may start beyond k when the extent exceeds the leg).
FittedLine MakeRun(PointF k, PointF end, float extent)
{
    FittedLine line{};
    line.valid = 1;
    line.origin = k;
    line.direction = PointF{end.x - k.x, end.y - k.y};
    const float length = NormalizeVector(line.direction);
    line.tEnd = length;
    line.tStart = length - extent;
    return line;
}

PointF AtAngle(PointF k, double degrees, double length)
{
    const double a = degrees * M_PI / 180.0;
    return PointF{static_cast<float>(k.x + length * std::cos(a)),
                  static_cast<float>(k.y + length * std::sin(a))};
}

struct LegCase
{
    const char* name;
    float xLeg; // length of the first run's leg
    float yLeg; // length of the second run's leg, at `degrees` from the first
    double degrees;
    float extent; // extent of both runs (0: the leg length)
    int accepted;
};

constexpr LegCase kLegCases[] = {
    {"Square", 40.0f, 40.0f, 90.0, 0.0f, 1},
    {"RunOf15", 20.0f, 20.0f, 90.0, 15.0f, 1},
    {"RunOf14point9", 20.0f, 20.0f, 90.0, 14.9f, 0},
    {"Legs10And20", 10.0f, 20.0f, 90.0, 15.0f, 1},
    {"Legs10And20point5", 10.0f, 20.5f, 90.0, 15.0f, 0},
    {"Leg9point9", 9.9f, 15.0f, 90.0, 15.0f, 0},
    {"At61Degrees", 30.0f, 30.0f, 61.0, 0.0f, 1},
    {"At59Degrees", 30.0f, 30.0f, 59.0, 0.0f, 0},
    {"At119Degrees", 30.0f, 30.0f, 119.0, 0.0f, 1},
    {"At121Degrees", 30.0f, 30.0f, 121.0, 0.0f, 0},
};

class FinderCornerLegTest : public ::testing::TestWithParam<LegCase>
{
};

TEST_P(FinderCornerLegTest, AcceptsOnlyFinderProportions)
{
    PictureContext picture(8, 8, 255);
    const LegCase& c = GetParam();
    const PointF k{50.0f, 80.0f};
    EdgeTracer a{};
    EdgeTracer b{};
    a.firstLine = MakeRun(k, AtAngle(k, 0.0, c.xLeg), c.extent > 0.0f ? c.extent : c.xLeg);
    a.secondLine = MakeRun(k, AtAngle(k, c.degrees, c.yLeg), c.extent > 0.0f ? c.extent : c.yLeg);
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    ASSERT_EQ(BuildCornerCandidate(record, a, b), c.accepted);
    if (c.accepted != 0) {
        EXPECT_NEAR(record.corner.x, 50.0f, 1e-3);
        EXPECT_NEAR(record.corner.y, 80.0f, 1e-3);
        EXPECT_NEAR(record.xLegLength, c.xLeg, 1e-3);
        EXPECT_NEAR(record.yLegLength, c.yLeg, 1e-3);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FinderCornerLegTest, ::testing::ValuesIn(kLegCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FinderCornerTest, AxisAlignedLFromOneTracer)
{
    PictureContext picture(8, 8, 255);
    EdgeTracer a{};
    const EdgeTracer b{};
    a.firstLine = MakeRun({50.0f, 80.0f}, {90.0f, 80.0f}, 20.0f);
    a.secondLine = MakeRun({50.0f, 80.0f}, {50.0f, 120.0f}, 40.0f);
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    ASSERT_EQ(BuildCornerCandidate(record, b, a), 1);
    EXPECT_FLOAT_EQ(record.xLegEnd.x, 90.0f);
    EXPECT_FLOAT_EQ(record.xLegEnd.y, 80.0f);
    EXPECT_FLOAT_EQ(record.yLegEnd.x, 50.0f);
    EXPECT_FLOAT_EQ(record.yLegEnd.y, 120.0f);
    EXPECT_FLOAT_EQ(record.frame.shearX, 0.0f);
    EXPECT_FLOAT_EQ(record.frame.shearY, 0.0f);
    EXPECT_FLOAT_EQ(record.frame.scaleX, 2.5f);
    EXPECT_FLOAT_EQ(record.frame.scaleY, 2.5f);
    EXPECT_FLOAT_EQ(record.frame.tx, -50.0f);
    EXPECT_FLOAT_EQ(record.frame.ty, -80.0f);
    EXPECT_EQ(record.frame.hasRotation, 0);
    PointF p{};
    TransformApply(p, PointF{100.0f, 100.0f}, record.frameToImage);
    EXPECT_NEAR(p.x, 90.0f, 1e-3);
    EXPECT_NEAR(p.y, 120.0f, 1e-3);
}

TEST(FinderCornerTest, ClockwiseLegsAreExchanged)
{
    PictureContext picture(8, 8, 255);
    EdgeTracer a{};
    const EdgeTracer b{};
    a.firstLine = MakeRun({50.0f, 80.0f}, {90.0f, 80.0f}, 40.0f);
    a.secondLine = MakeRun({50.0f, 80.0f}, {50.0f, 40.0f}, 40.0f);
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    ASSERT_EQ(BuildCornerCandidate(record, a, b), 1);
    EXPECT_FLOAT_EQ(record.xLegEnd.x, 50.0f);
    EXPECT_FLOAT_EQ(record.xLegEnd.y, 40.0f);
    EXPECT_FLOAT_EQ(record.yLegEnd.x, 90.0f);
    EXPECT_FLOAT_EQ(record.yLegEnd.y, 80.0f);
    EXPECT_EQ(record.frame.hasRotation, 1);
    EXPECT_NEAR(record.frame.rotSin, 1.0f, 1e-6);
    EXPECT_NEAR(record.frame.rotCos, 0.0f, 1e-6);
    PointF p{};
    TransformApply(p, record.xLegEnd, record.imageToFrame);
    EXPECT_NEAR(p.x, 100.0f, 1e-3);
    EXPECT_NEAR(p.y, 0.0f, 1e-3);
    TransformApply(p, record.yLegEnd, record.imageToFrame);
    EXPECT_NEAR(p.x, 0.0f, 1e-3);
    EXPECT_NEAR(p.y, 100.0f, 1e-3);
}

TEST(FinderCornerTest, OppositeRunsAreJoinedIntoOneLeg)
{
    PictureContext picture(8, 8, 255);
    EdgeTracer a{};
    EdgeTracer b{};
    a.firstLine = MakeRun({70.0f, 80.0f}, {90.0f, 80.0f}, 20.0f);
    b.firstLine = MakeRun({70.0f, 80.0f}, {52.0f, 80.0f}, 18.0f);
    b.secondLine = MakeRun({50.0f, 82.0f}, {50.0f, 118.0f}, 36.0f);
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    ASSERT_EQ(BuildCornerCandidate(record, a, b), 1);
    EXPECT_NEAR(record.corner.x, 50.0f, 1e-4);
    EXPECT_NEAR(record.corner.y, 80.0f, 1e-4);
    EXPECT_NEAR(record.xLegEnd.x, 90.0f, 1e-4);
    EXPECT_NEAR(record.yLegEnd.y, 118.0f, 1e-4);
    EXPECT_NEAR(record.xLegLength, 40.0f, 1e-4);
    EXPECT_NEAR(record.yLegLength, 38.0f, 1e-4);

    b.secondLine = FittedLine{}; // one straight boundary only: no second leg
    InitSymbolRecord(record, ScanContrast{});
    EXPECT_EQ(BuildCornerCandidate(record, a, b), 0);
}

TEST(FinderCornerTest, RejectsTooFewRunsAndLegEndsAtTheLeftBorder)
{
    PictureContext picture(8, 8, 255);
    EdgeTracer a{};
    const EdgeTracer b{};
    a.firstLine = MakeRun({40.0f, 80.0f}, {80.0f, 80.0f}, 40.0f);
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    EXPECT_EQ(BuildCornerCandidate(record, a, b), 0);
    // Turned by 180 degrees: the stored x-leg end is at x = 0.
    a.firstLine = MakeRun({40.0f, 80.0f}, {0.0f, 80.0f}, 40.0f);
    a.secondLine = MakeRun({40.0f, 80.0f}, {40.0f, 40.0f}, 40.0f);
    EXPECT_EQ(BuildCornerCandidate(record, a, b), 0);
}

// Candidates from every crossing of one line, usable pass or not: what the probe would build.
std::vector<SymbolRecord> CandidatesOnLine(DecoderContext& context, int direction, int lineCoord, int length)
{
    std::vector<SymbolRecord> found;
    ScanLine line;
    EdgeWalker walker;
    InitScanLine(line, direction, lineCoord, 0, length);
    while (NextScanSegment(line, context.image) != kTraceExhausted) {
        InitEdgeWalker(walker, line);
        while (NextEdgeCrossing(walker, context.image, line.contrast) != kTraceExhausted) {
            EdgeTracer a;
            EdgeTracer b;
            InitEdgeTracer(a, walker, RotateDirection(direction, kTurnBackward));
            InitEdgeTracer(b, walker, RotateDirection(direction, kTurnForward));
            TraceEdgeLines(a, context.image);
            TraceEdgeLines(b, context.image);
            SymbolRecord record;
            InitSymbolRecord(record, walker.contrast);
            if (BuildCornerCandidate(record, a, b) == 1) {
                found.push_back(record);
            }
        }
    }
    return found;
}

struct DrawnCase
{
    const char* name;
    double degrees;
};

constexpr DrawnCase kDrawnCases[] = {
    {"Upright", 0.0},   {"Turned10", 10.0},   {"Turned30", 30.0},   {"Turned45", 45.0},
    {"Turned90", 90.0}, {"Turned135", 135.0}, {"Turned200", 200.0}, {"Turned290", 290.0},
};

class FinderCornerDrawnTest : public ::testing::TestWithParam<DrawnCase>
{
};

// A solid L (legs 60 px, bars 8 px) centred in the picture: lines across its legs give a
// candidate whose corner is the L's vertex within a pixel, whose legs lie on the
// drawn legs and whose frame maps them onto the frame axes. Runs end a few steps before the turn
// that ends them was noticed, so the leg ends may fall short of the drawn ends (never beyond).
TEST_P(FinderCornerDrawnTest, MatchesTheDrawnL)
{
    const double legLength = 60.0;
    PictureContext picture(200, 200, 255);
    const DrawnFrame centred{0.0, 0.0, GetParam().degrees};
    DrawnFrame frame{0.0, 0.0, GetParam().degrees};
    centred.ToImage(-legLength / 2, -legLength / 2, frame.kx, frame.ky);
    frame.kx += 100.3;
    frame.ky += 100.6;
    test::DrawSolidL(picture, frame, legLength, 8.0);

    // Lines across both legs, as the scan grid would lay them.
    const double a = GetParam().degrees * M_PI / 180.0;
    std::vector<SymbolRecord> found;
    for (int leg = 0; leg < 2; ++leg) {
        for (double share : {0.4, 0.55, 0.7, 0.85}) {
            double mx = 0.0;
            double my = 0.0;
            frame.ToImage(leg == 0 ? legLength * share : 4.0, leg == 0 ? 4.0 : legLength * share, mx, my);
            const double legAngle = a + (leg == 0 ? 0.0 : M_PI / 2);
            const bool column = std::fabs(std::cos(legAngle)) > std::fabs(std::sin(legAngle));
            const std::vector<SymbolRecord> more =
                CandidatesOnLine(picture.context(), column ? kScanDown : kScanRight,
                                 static_cast<int>(column ? mx + 0.5 : my + 0.5), 200);
            found.insert(found.end(), more.begin(), more.end());
        }
    }
    ASSERT_FALSE(found.empty());
    const SymbolRecord* best = nullptr;
    for (const SymbolRecord& r : found) {
        if (best == nullptr || std::hypot(r.corner.x - frame.kx, r.corner.y - frame.ky) <
                                   std::hypot(best->corner.x - frame.kx, best->corner.y - frame.ky)) {
            best = &r;
        }
    }
    EXPECT_LT(std::hypot(best->corner.x - frame.kx, best->corner.y - frame.ky), 1.0);
    const PointF ends[2] = {best->xLegEnd, best->yLegEnd};
    const float lengths[2] = {best->xLegLength, best->yLegLength};
    for (int leg = 0; leg < 2; ++leg) {
        double u = 0.0;
        double v = 0.0;
        frame.ToLocal(ends[leg].x, ends[leg].y, u, v);
        const double along = leg == 0 ? u : v;
        const double across = leg == 0 ? v : u;
        EXPECT_LT(std::fabs(across), 1.0) << "leg " << leg;
        EXPECT_GT(along, legLength * 0.8) << "leg " << leg;
        EXPECT_LT(along, legLength + 1.0) << "leg " << leg;
        EXPECT_NEAR(lengths[leg], std::hypot(ends[leg].x - best->corner.x, ends[leg].y - best->corner.y),
                    1e-3);
    }
    PointF p{};
    TransformApply(p, PointF{0.0f, 0.0f}, best->frameToImage);
    EXPECT_NEAR(p.x, best->corner.x, 0.01);
    EXPECT_NEAR(p.y, best->corner.y, 0.01);
    TransformApply(p, PointF{100.0f, 0.0f}, best->frameToImage);
    EXPECT_NEAR(p.x, best->xLegEnd.x, 0.01);
    EXPECT_NEAR(p.y, best->xLegEnd.y, 0.01);
    TransformApply(p, PointF{0.0f, 100.0f}, best->frameToImage);
    EXPECT_NEAR(p.x, best->yLegEnd.x, 0.01);
    EXPECT_NEAR(p.y, best->yLegEnd.y, 0.01);
    // The drawn vertex in frame units: within one pixel's worth of (0, 0).
    TransformApply(p, PointF{static_cast<float>(frame.kx), static_cast<float>(frame.ky)}, best->imageToFrame);
    EXPECT_LT(std::hypot(p.x, p.y), 100.0 / (legLength * 0.8));
}

INSTANTIATE_TEST_SUITE_P(Cases, FinderCornerDrawnTest, ::testing::ValuesIn(kDrawnCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale
