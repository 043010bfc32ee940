#include "decoder/grid/border_walk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "decoder/base/symbol_record.h"
#include "decoder/decoder_context.h"
#include "tests/decoder/symbol_scene.h"

namespace norvale {
namespace {

using test::SymbolScene;

float Distance(PointF a, PointF b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

struct WalkCase
{
    const char* name;
    const char* file;
    int side;
    int turns; // quarter turns anticlockwise
};

constexpr WalkCase kWalkCases[] = {
    {"Side10", "s010-0.png", 10, 0},
    {"Side12", "s012-0.png", 12, 0},
    {"Side14", "s014-2.png", 14, 0},
    {"Side16", "s016-0.png", 16, 0},
    {"Side20", "s020-1.png", 20, 0},
    {"Side22", "s022-1.png", 22, 0},
    {"Side26", "s026-0.png", 26, 0},
    {"Side12QuarterTurn", "s012-0.png", 12, 1},
    {"Side16HalfTurn", "s016-0.png", 16, 2},
    {"Side22ThreeQuarterTurn", "s022-1.png", 22, 3},
    {"Side26QuarterTurn", "s026-0.png", 26, 1},
};

class BorderWalkTest : public ::testing::TestWithParam<WalkCase>
{
};

TEST_P(BorderWalkTest, WalksBothClockedBorders)
{
    const WalkCase& c = GetParam();
    SymbolScene scene;
    ASSERT_TRUE(scene.Load(c.file, c.side));
    scene.Rotate(c.turns);
    scene.BuildRecord(test::DarkOnLightContrast());
    SymbolRecord& record = scene.record;
    const float twoModules = 2.0f * scene.modulePixels;
    // The search remembers walks by what they read: measuring must leave the record alone, and the
    // measured walk applied to an equal record must leave it as walking it does.
    SymbolRecord applied = record;
    const BorderWalk top = MeasureTopBorderWalk(applied, scene.context->image);
    EXPECT_EQ(std::memcmp(&applied, &record, sizeof applied), 0);
    WalkStats appliedStats{};
    WalkStats walkedStats{};
    EXPECT_EQ(ApplyTopBorderWalk(applied, top, &appliedStats), 1);

    ASSERT_EQ(WalkTopBorder(record, scene.context->image, &walkedStats), 1);
    EXPECT_EQ(std::memcmp(&applied, &record, sizeof applied), 0);
    EXPECT_EQ(std::memcmp(&appliedStats, &walkedStats, sizeof appliedStats), 0);
    EXPECT_EQ(record.inkSense, 1);
    EXPECT_NEAR(record.frame.heightAtX0, 100.0f, 1.0f);
    EXPECT_NEAR(record.frame.heightAtX100, 100.0f, 1.0f);
    EXPECT_NEAR(Distance(record.topWalkStart, record.topWalkEnd), twoModules, 0.3f);

    const BorderWalk right = MeasureRightBorderWalk(applied, scene.context->image);
    EXPECT_EQ(std::memcmp(&applied, &record, sizeof applied), 0);
    EXPECT_EQ(ApplyRightBorderWalk(applied, right), 1);
    ASSERT_EQ(WalkRightBorder(record, scene.context->image), 1);
    EXPECT_EQ(std::memcmp(&applied, &record, sizeof applied), 0);
    EXPECT_NEAR(record.frame.widthAtY0, 100.0f, 1.0f);
    EXPECT_NEAR(record.frame.widthAtY100, 100.0f, 1.0f);
    EXPECT_NEAR(Distance(record.rightWalkStart, record.rightWalkEnd), twoModules, 0.3f);

    // The refitted frame still maps its far corner onto the symbol's far corner.
    PointF far{};
    TransformApply(far, PointF{100.0f, 100.0f}, record.frameToImage);
    const PointF expected{scene.finder.xLegEnd.x + scene.finder.yLegEnd.x - scene.finder.corner.x,
                          scene.finder.xLegEnd.y + scene.finder.yLegEnd.y - scene.finder.corner.y};
    EXPECT_LT(Distance(far, expected), 0.5f * scene.modulePixels);
}

INSTANTIATE_TEST_SUITE_P(Cases, BorderWalkTest, ::testing::ValuesIn(kWalkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BorderWalkStatsTest, TopWalkRecordsContrastRange)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    scene.BuildRecord(test::DarkOnLightContrast());
    WalkStats stats{};
    ASSERT_EQ(WalkTopBorder(scene.record, scene.context->image, &stats), 1);
    // The walk hugs the border, so its darkest samples lie just past the threshold.
    EXPECT_NEAR(stats.minimum, 0.0f, 1.0f);
    EXPECT_GT(stats.maximum, 127.5f);
    EXPECT_LE(stats.maximum, 255.0f);
    EXPECT_FLOAT_EQ(stats.mid, (stats.minimum + stats.maximum) * 0.5f);
}

// Only a walk that finds a stretch writes its figures: the caller's last ones stay otherwise.
TEST(BorderWalkStatsTest, FailedWalkLeavesStatsAlone)
{
    SymbolScene scene;
    ASSERT_TRUE(test::MakeUniformPicture(scene.context->image, 120, 120, 255));
    scene.finder = test::FinderGeometry{{20.0f, 20.0f}, {20.0f, 100.0f}, {100.0f, 20.0f}};
    scene.BuildRecord(test::DarkOnLightContrast());
    WalkStats stats{-1.0f, -2.0f, -3.0f};
    EXPECT_EQ(WalkTopBorder(scene.record, scene.context->image, &stats), 0);
    EXPECT_EQ(stats.minimum, -1.0f);
    EXPECT_EQ(stats.maximum, -2.0f);
    EXPECT_EQ(stats.mid, -3.0f);
}

TEST(BorderWalkEdgeTest, InvertedPictureUnderDarkContrastFlipsInkSense)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s014-2.png", 14));
    scene.Invert();
    scene.BuildRecord(test::DarkOnLightContrast());
    ASSERT_EQ(WalkTopBorder(scene.record, scene.context->image, nullptr), 1);
    EXPECT_EQ(scene.record.inkSense, -1);
    ASSERT_EQ(WalkRightBorder(scene.record, scene.context->image), 1);
    EXPECT_NEAR(Distance(scene.record.rightWalkStart, scene.record.rightWalkEnd), 2.0f * scene.modulePixels,
                0.5f);
}

TEST(BorderWalkEdgeTest, LightOnDarkContrastKeepsInkSensePositive)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s020-1.png", 20));
    scene.Invert();
    scene.BuildRecord(test::LightOnDarkContrast());
    ASSERT_EQ(WalkTopBorder(scene.record, scene.context->image, nullptr), 1);
    EXPECT_EQ(scene.record.inkSense, 1);
    EXPECT_EQ(WalkRightBorder(scene.record, scene.context->image), 1);
}

TEST(BorderWalkEdgeTest, PictureWithoutContrastLeavesFrameAlone)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    std::memset(scene.context->image.current, 255,
                size_t{scene.context->image.width} * scene.context->image.height);
    scene.BuildRecord(test::DarkOnLightContrast());
    const SymbolRecord before = scene.record;
    EXPECT_EQ(WalkTopBorder(scene.record, scene.context->image, nullptr), 0);
    scene.record.inkSense = 1;
    EXPECT_EQ(WalkRightBorder(scene.record, scene.context->image), 0);
    EXPECT_EQ(std::memcmp(&scene.record.frame, &before.frame, sizeof before.frame), 0);
    EXPECT_EQ(std::memcmp(&scene.record.frameToImage, &before.frameToImage, sizeof before.frameToImage), 0);
    EXPECT_EQ(std::memcmp(&scene.record.imageToFrame, &before.imageToFrame, sizeof before.imageToFrame), 0);
}

// Paper reads exactly at the threshold: the top walk counts it as paper, the right walk as ink
// (so every right-walk sample climbs in place and no stretch is found).
TEST(BorderWalkEdgeTest, ContrastAtThresholdDiffersBetweenWalks)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    ScanContrast contrast = test::DarkOnLightContrast();
    contrast.inkThreshold = 0.0f;
    scene.BuildRecord(contrast);
    ASSERT_EQ(WalkTopBorder(scene.record, scene.context->image, nullptr), 1);
    EXPECT_EQ(scene.record.inkSense, 1);
    EXPECT_EQ(WalkRightBorder(scene.record, scene.context->image), 0);
    scene.record.contrast.inkThreshold = 0.5f;
    EXPECT_EQ(WalkRightBorder(scene.record, scene.context->image), 1);
}

TEST(BorderWalkEdgeTest, DegenerateLegOffThePictureStopsTheWalk)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    test::FinderGeometry g{};
    g.corner = PointF{-500.0f, -500.0f};
    g.yLegEnd = PointF{-499.5f, -499.5f};
    g.xLegEnd = PointF{-460.0f, -500.0f};
    test::InitRecordFromFinder(scene.record, g, test::DarkOnLightContrast());
    EXPECT_EQ(WalkTopBorder(scene.record, scene.context->image, nullptr), 0);
    EXPECT_EQ(WalkRightBorder(scene.record, scene.context->image), 0);
}

TEST(BorderWalkEdgeTest, LegsOffThePictureFindNothing)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    test::FinderGeometry g{};
    g.corner = PointF{-500.0f, -500.0f};
    g.yLegEnd = PointF{-500.0f, -440.0f};
    g.xLegEnd = PointF{-420.0f, -500.0f};
    test::InitRecordFromFinder(scene.record, g, test::DarkOnLightContrast());
    EXPECT_EQ(WalkTopBorder(scene.record, scene.context->image, nullptr), 0);
    scene.record.inkSense = 1;
    EXPECT_EQ(WalkRightBorder(scene.record, scene.context->image), 0);
}

TEST(BorderWalkEdgeTest, NonFiniteGeometryFailsQuietly)
{
    SymbolScene scene;
    ASSERT_TRUE(scene.Load("s016-0.png", 16));
    scene.BuildRecord(test::DarkOnLightContrast());
    scene.record.yLegEnd = PointF{NAN, NAN};
    EXPECT_EQ(WalkTopBorder(scene.record, scene.context->image, nullptr), 0);
    EXPECT_EQ(WalkRightBorder(scene.record, scene.context->image), 0);
}

} // namespace
} // namespace norvale
