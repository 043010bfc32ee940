#include "decoder/grid/clock_evidence.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "decoder/base/symbol_record.h"
#include "tests/decoder/symbol_scene.h"

namespace norvale {
namespace {

using test::SymbolScene;

// What the far sides of a candidate show: a symbol's clock borders alternate at every size and
// turn; a dark square's corner, with nothing but paper or ink opposite its legs, does not.
struct EvidenceCase
{
    const char* name;
    const char* file; // empty: a dark square on paper
    int side;
    int turns;
    bool evidence;
};

constexpr EvidenceCase kEvidenceCases[] = {
    {"Side10", "s010-0.png", 10, 0, true},
    {"Side24", "s024-2.png", 24, 1, true},
    {"Side48", "s048-1.png", 48, 2, true},
    {"DarkSquare", "", 0, 0, false},
};

class ClockEvidenceTest : public ::testing::TestWithParam<EvidenceCase>
{
};

// A 90-pixel dark square in the middle of 160 x 160 light pixels, with the geometry the finder
// stage finds on its lower left corner.
void LoadDarkSquare(SymbolScene& scene)
{
    ASSERT_TRUE(test::MakeUniformPicture(scene.context->image, 160, 160, 230));
    for (uint32_t y = 35; y < 125; ++y) {
        for (uint32_t x = 35; x < 125; ++x) {
            scene.context->image.current[y * 160 + x] = 20;
        }
    }
    scene.finder = test::FinderGeometry{{34.5f, 34.5f}, {34.5f, 124.5f}, {124.5f, 34.5f}};
}

TEST_P(ClockEvidenceTest, FarSidesAlternateOnlyForASymbol)
{
    const EvidenceCase& c = GetParam();
    SymbolScene scene;
    if (std::string(c.file).empty()) {
        LoadDarkSquare(scene);
    } else {
        ASSERT_TRUE(scene.Load(c.file, c.side));
        scene.Rotate(c.turns);
    }
    scene.BuildRecord(test::DarkOnLightContrast());
    EXPECT_EQ(HasClockEvidence(scene.record, scene.context->image), c.evidence)
        << CountFarSideChanges(scene.record, scene.context->image);
}

INSTANTIATE_TEST_SUITE_P(Candidates, ClockEvidenceTest, ::testing::ValuesIn(kEvidenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale
