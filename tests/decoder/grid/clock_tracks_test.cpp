#include "decoder/grid/clock_tracks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "decoder/base/line_geometry.h"
#include "decoder/base/symbol_record.h"
#include "decoder/grid/border_walk.h"
#include "tests/decoder/symbol_scene.h"

namespace norvale {
namespace {

using test::SymbolScene;

// A clean symbol wrapped round an upright cylinder and seen from the front: the columns keep
// their height but narrow towards both sides, to `outerWidth` of the centre width at the edges.
// One projective frame cannot place such columns; the clock tracks can.
struct CurvedCase
{
    const char* name;
    const char* file;
    int side;
    double outerWidth;
    int turns; // a quarter turn lays the cylinder's axis down
};

constexpr CurvedCase kCurvedCases[] = {
    {"Side24Upright", "s024-2.png", 24, 0.55, 0},
    {"Side24Lying", "s024-2.png", 24, 0.55, 1},
    {"Side48Upright", "s048-1.png", 48, 0.6, 0},
    {"Side16Flat", "s016-0.png", 16, 1.0, 2},
};

// Replaces the scene's picture by its view on a cylinder whose axis is the symbol's vertical
// centre line, and moves the finder geometry with it.
void WrapRoundCylinder(SymbolScene& scene, double outerWidth)
{
    GrayImage& image = scene.context->image;
    const double left = scene.finder.corner.x;
    const double right = scene.finder.xLegEnd.x;
    const double centre = 0.5 * (left + right);
    const double halfArc = 0.5 * (right - left);
    // The outermost modules are seen at the angle whose cosine is their width.
    const double angle = std::acos(std::min(outerWidth, 0.9999));
    const double radius = halfArc / angle;
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{image.width} * image.height));
    ASSERT_NE(plane, nullptr);
    for (uint32_t x = 0; x < image.width; ++x) {
        const double u = (x - centre) / radius;
        const double arc =
            std::fabs(u) < 1.0 ? radius * std::asin(u) : (x - centre) + halfArc * (1.0 - 1.0 / angle);
        const double source = centre + arc;
        const auto x0 = static_cast<int>(std::floor(source));
        const double f = source - x0;
        for (uint32_t y = 0; y < image.height; ++y) {
            const auto at = [&](int sx) {
                sx = std::clamp(sx, 0, static_cast<int>(image.width) - 1);
                return static_cast<double>(image.current[size_t{y} * image.width + static_cast<size_t>(sx)]);
            };
            plane[size_t{y} * image.width + x] =
                static_cast<uint8_t>(at(x0) * (1.0 - f) + at(x0 + 1) * f + 0.5);
        }
    }
    std::free(image.source);
    image.source = plane;
    image.current = plane;
    const auto seen = [&](double x) {
        return static_cast<float>(centre + radius * std::sin((x - centre) / radius));
    };
    scene.finder.corner.x = seen(left);
    scene.finder.yLegEnd.x = seen(left);
    scene.finder.xLegEnd.x = seen(right);
}

class ClockTracksTest : public ::testing::TestWithParam<CurvedCase>
{
};

TEST_P(ClockTracksTest, GridLinesMeetEveryModuleCentre)
{
    const CurvedCase& c = GetParam();
    SymbolScene scene;
    ASSERT_TRUE(scene.Load(c.file, c.side));
    WrapRoundCylinder(scene, c.outerWidth);
    scene.Rotate(c.turns);
    scene.BuildRecord(test::DarkOnLightContrast());
    const GrayImage& image = scene.context->image;
    ASSERT_EQ(WalkTopBorder(scene.record, image, nullptr), 1);
    ASSERT_EQ(WalkRightBorder(scene.record, image), 1);
    ASSERT_EQ(LayClockTrackGrid(scene.record, image), 1);
    ASSERT_EQ(scene.record.moduleCountHint, c.side);
    ASSERT_EQ(scene.record.gridLineCount, c.side);
    int wrong = 0;
    for (int y = 0; y < c.side; ++y) {
        for (int x = 0; x < c.side; ++x) {
            PointF p{};
            ASSERT_EQ(IntersectLines(p, scene.record.rowLines[y], scene.record.columnLines[x]), 1);
            const auto px = static_cast<uint32_t>(p.x + 0.5f);
            const auto py = static_cast<uint32_t>(p.y + 0.5f);
            ASSERT_LT(px, image.width);
            ASSERT_LT(py, image.height);
            const bool dark = image.current[size_t{py} * image.width + px] < 128;
            wrong += dark != scene.IsDark(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Symbols, ClockTracksTest, ::testing::ValuesIn(kCurvedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A dark square has solid far sides: no track, no grid, and the record keeps no lines.
TEST(ClockTracksTest, SolidSidesLayNoGrid)
{
    SymbolScene scene;
    ASSERT_TRUE(test::LoadDarkSquare(scene));
    scene.BuildRecord(test::DarkOnLightContrast());
    EXPECT_EQ(LayClockTrackGrid(scene.record, scene.context->image), 0);
    EXPECT_EQ(scene.record.rowLines, nullptr);
    EXPECT_EQ(scene.record.moduleCountHint, 0);
}

} // namespace
} // namespace norvale
