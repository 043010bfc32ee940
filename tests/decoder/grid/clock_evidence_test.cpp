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

TEST_P(ClockEvidenceTest, FarSidesAlternateOnlyForASymbol)
{
    const EvidenceCase& c = GetParam();
    SymbolScene scene;
    if (std::string(c.file).empty()) {
        ASSERT_TRUE(test::LoadDarkSquare(scene));
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
