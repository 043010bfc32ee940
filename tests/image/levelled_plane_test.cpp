#include "image/levelled_plane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace norvale {
namespace {

constexpr uint32_t kSide = 160;
constexpr int kMarkOrigin = 40; // the mark covers pixels 40..119 both ways
constexpr int kPitch = 8;
constexpr int kModules = 10;

// A 10 x 10 mark of round dots on a plain surface: every module of the bottom row and the left
// column, and every other one inside. `radius` and `spread` in pixels; a spread of 0 draws sharp
// dots. The dots of one row are kPitch apart and do not touch.
struct MarkCase
{
    const char* name;
    int contrast;
    double radius;
    double spread;
    bool levelled; // a levelled plane is expected
};

constexpr MarkCase kMarkCases[] = {
    {"SoftFaintDots", 40, 3.0, 2.0, true},
    {"SoftStrongDots", 90, 3.0, 2.5, true},
    {"SharpPrint", 200, 3.0, 0.0, false},
    {"BareSurface", 0, 3.0, 2.0, false},
};

bool HasDot(int mx, int my)
{
    return mx == 0 || my == 0 || (mx + my) % 2 == 0;
}

std::vector<uint8_t> DrawMark(const MarkCase& c)
{
    std::vector<uint8_t> pixels(size_t{kSide} * kSide);
    for (uint32_t y = 0; y < kSide; ++y) {
        for (uint32_t x = 0; x < kSide; ++x) {
            double ink = 0.0;
            // Only the dots of the nearest modules reach a pixel.
            const int nearX = (static_cast<int>(x) - kMarkOrigin) / kPitch;
            const int nearY = (static_cast<int>(y) - kMarkOrigin) / kPitch;
            for (int my = std::max(0, nearY - 1); my <= std::min(kModules - 1, nearY + 1); ++my) {
                for (int mx = std::max(0, nearX - 1); mx <= std::min(kModules - 1, nearX + 1); ++mx) {
                    if (!HasDot(mx, my)) {
                        continue;
                    }
                    const double cx = kMarkOrigin + (mx + 0.5) * kPitch;
                    const double cy = kMarkOrigin + (my + 0.5) * kPitch;
                    const double d = std::hypot(x - cx, y - cy) - c.radius;
                    // A disc blurred by `spread`: the error-function profile across its rim.
                    const double coverage = c.spread > 0.0 ? 0.5 * std::erfc(d / (c.spread * std::sqrt(2.0)))
                                                           : (d <= 0.0 ? 1.0 : 0.0);
                    ink = std::max(ink, coverage);
                }
            }
            // A faint grain of +-2 grey levels.
            const int grain = static_cast<int>((x * 7919u + y * 104729u) % 5u) - 2;
            pixels[size_t{y} * kSide + x] =
                static_cast<uint8_t>(std::clamp(150 - c.contrast * ink + grain, 0.0, 255.0));
        }
    }
    return pixels;
}

class LevelledPlaneTest : public ::testing::TestWithParam<MarkCase>
{
};

// A soft mark comes out at full contrast with its dots joined along the finder row; the plain
// surface far from it is flat mid grey. Sharp print and a bare surface need no levelling.
TEST_P(LevelledPlaneTest, SoftMarksAloneAreLevelled)
{
    const MarkCase& c = GetParam();
    const std::vector<uint8_t> picture = DrawMark(c);
    uint8_t* plane = BuildLevelledPlane(picture.data(), kSide, kSide);
    ASSERT_EQ(plane != nullptr, c.levelled);
    if (plane == nullptr) {
        return;
    }
    // Along the middle of the bottom row of dots, through the gaps between them: all dark.
    const int rowMiddle = kMarkOrigin + kPitch / 2;
    int lightAlongRow = 0;
    for (int x = kMarkOrigin + kPitch / 2; x <= kMarkOrigin + kModules * kPitch - kPitch / 2; ++x) {
        lightAlongRow += plane[size_t(rowMiddle) * kSide + size_t(x)] >= 128 ? 1 : 0;
    }
    EXPECT_EQ(lightAlongRow, 0);
    // A dot centre is deep ink, the centre of an empty module inside the mark light.
    EXPECT_LT(plane[size_t(kMarkOrigin + kPitch + kPitch / 2) * kSide + size_t(kMarkOrigin + kPitch / 2)],
              40);
    EXPECT_GT(plane[size_t(kMarkOrigin + kPitch + kPitch / 2) * kSide +
                    size_t(kMarkOrigin + 2 * kPitch + kPitch / 2)],
              170);
    EXPECT_EQ(plane[2 * kSide + 2], 128);
    std::free(plane);
}

INSTANTIATE_TEST_SUITE_P(Marks, LevelledPlaneTest, ::testing::ValuesIn(kMarkCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale
