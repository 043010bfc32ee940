#include "decoder/grid/module_count.h"

#include <gtest/gtest.h>

#include "decoder/decoder_context.h"

#include <string>
#include <vector>

namespace norvale {
namespace {

struct SnapCase
{
    const char* name;
    int32_t average;
    int32_t segments;
    int32_t expected;
};

constexpr SnapCase kSnapCases[] = {
    {"OddBelowTwentyEightGoesDown", 27, 0, 26},
    {"EvenBelowTwentyEightStays", 24, 0, 24},
    {"TwentyEight", 28, 0, 26},
    {"TwentyNine", 29, 0, 26},
    {"ThirtySnapsUp", 30, 0, 32},
    {"ThirtyThree", 33, 0, 32},
    {"ThirtyFour", 34, 0, 36},
    {"FortyTwoToFortyFour", 42, 0, 44},
    {"FortyOneToForty", 41, 0, 40},
    {"FiftyThree", 53, 0, 52},
    {"FiftyFourToFiftySeven", 57, 0, 52},
    {"FiftyEight", 58, 0, 64},
    {"FiftyNine", 59, 0, 64},
    {"Sixty", 60, 0, 64},
    {"SixtySeven", 67, 0, 64},
    {"SixtyEight", 68, 0, 72},
    {"HundredSeven", 107, 0, 104},
    {"HundredEight", 108, 0, 104},
    {"HundredEleven", 111, 0, 104},
    {"HundredTwelve", 112, 0, 120},
    {"HundredThirteen", 113, 0, 120},
    {"HundredFourteen", 114, 0, 120},
    {"HundredTwentyFive", 125, 0, 120},
    {"HundredTwentySix", 126, 0, 132},
    {"HundredFortyNine", 149, 0, 144},
    {"HundredFiftyStays", 150, 0, 150},
    {"HundredSixtyStays", 160, 0, 160},
    {"TwoSegmentsRaiseToThirtyTwo", 20, 2, 32},
    {"ThreeSegmentsRaiseToThirtyTwo", 26, 3, 32},
    {"FourSegmentsRaiseToSixtyFour", 48, 4, 64},
    {"FourSegmentsKeepLarger", 80, 4, 80},
    {"SixSegmentsRaiseToHundredTwenty", 104, 6, 120},
    {"SixSegmentsKeepLarger", 144, 6, 144},
    {"OneSegmentNoBound", 20, 1, 20},
};

class SnapModuleCountTest : public ::testing::TestWithParam<SnapCase>
{
};

TEST_P(SnapModuleCountTest, SnapsToSquareSize)
{
    const SnapCase& c = GetParam();
    EXPECT_EQ(SnapModuleCount(c.average, c.segments), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SnapModuleCountTest, ::testing::ValuesIn(kSnapCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModuleCountTest, OtsuOfConstantProfileIs255)
{
    const std::vector<uint8_t> flat(40, 90);
    EXPECT_EQ(OtsuThreshold(flat.data(), static_cast<int32_t>(flat.size())), 255);
    EXPECT_EQ(OtsuThreshold(flat.data(), 0), 255);
}

TEST(ModuleCountTest, OtsuSeparatesTwoLevels)
{
    // Values <= t form the low class: every t from 20 to 199 separates equally well, and the
    // largest of them wins.
    std::vector<uint8_t> bars;
    for (int i = 0; i < 10; ++i) {
        bars.insert(bars.end(), 4, 20);
        bars.insert(bars.end(), 4, 200);
    }
    EXPECT_EQ(OtsuThreshold(bars.data(), static_cast<int32_t>(bars.size())), 199);
}

TEST(ModuleCountTest, OtsuSplitsThreeLevelsAtTheWiderGap)
{
    std::vector<uint8_t> levels;
    levels.insert(levels.end(), 10, 10);
    levels.insert(levels.end(), 10, 40);
    levels.insert(levels.end(), 20, 230);
    const uint8_t t = OtsuThreshold(levels.data(), static_cast<int32_t>(levels.size()));
    EXPECT_GE(t, 40);
    EXPECT_LT(t, 230);
}

TEST(ModuleCountTest, BinarizeFollowsDriftingLevels)
{
    // Bars of 3 samples whose levels drift: 60 / 140, then 80 / 160. Otsu splits the dark bars
    // from the light ones (the largest of the equally good thresholds, 139), and the window
    // means classify each bar against its neighbours.
    std::vector<uint8_t> profile;
    for (int i = 0; i < 6; ++i) {
        profile.insert(profile.end(), 3, 60);
        profile.insert(profile.end(), 3, 140);
    }
    for (int i = 0; i < 6; ++i) {
        profile.insert(profile.end(), 3, 80);
        profile.insert(profile.end(), 3, 160);
    }
    const int32_t n = static_cast<int32_t>(profile.size());
    const uint8_t t = OtsuThreshold(profile.data(), n);
    EXPECT_EQ(t, 139);
    std::vector<uint8_t> binary(profile.size(), 77);
    BinarizeProfile(profile.data(), binary.data(), n, kProfileWindow);
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(binary[i], 77) << i;
        EXPECT_EQ(binary[n - 1 - i], 77) << i;
    }
    for (int32_t i = 4; i < n - 4; ++i) {
        const bool high = profile[i] >= 140;
        EXPECT_EQ(binary[i], high ? 255 : 0) << i;
    }
}

TEST(ModuleCountTest, BinarizeWritesNothingWhenWindowCoversProfile)
{
    const uint8_t profile[8] = {0, 255, 0, 255, 0, 255, 0, 255};
    uint8_t binary[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    BinarizeProfile(profile, binary, 8, kProfileWindow);
    for (uint8_t b : binary) {
        EXPECT_EQ(b, 7);
    }
}

TEST(ModuleCountTest, BinarizeRefusesNegativeWindow)
{
    const uint8_t profile[4] = {0, 255, 0, 255};
    uint8_t binary[4] = {7, 7, 7, 7};
    BinarizeProfile(profile, binary, 4, -8);
    for (uint8_t b : binary) {
        EXPECT_EQ(b, 7);
    }
}

// A light picture with 21 dark/light bands of 2 rows along the column x = 5 (22 changes over
// y = 10..52) and 80 one-pixel columns along the row y = 5 (80 changes over x = 10..89).
class ModuleCountProfileTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        plane_.assign(kSide * kSide, 255);
        for (int y = 10; y < 52; ++y) {
            if ((y - 10) / 2 % 2 == 0) {
                plane_[y * kSide + 5] = 0;
            }
        }
        for (int x = 10; x < 90; x += 2) {
            plane_[5 * kSide + x] = 0;
        }
        context_ = CreateDecoderContext();
        ASSERT_NE(context_, nullptr);
        context_->image.width = kSide;
        context_->image.height = kSide;
        context_->image.scale = 1;
        context_->image.current = plane_.data();
        state_.scanLength = 100.0f;
        state_.columnScans = columns_;
        state_.rowScans = rows_;
        columns_[1].line = FittedLine{1, 0, 0.0f, 100.0f, {5.0f, 0.0f}, {0.0f, 1.0f}};
        rows_[0].line = FittedLine{1, 0, 0.0f, 100.0f, {0.0f, 5.0f}, {1.0f, 0.0f}};
        state_.maxColumnIndex = 1;
        state_.maxRowIndex = 0;
    }
    void TearDown() override
    {
        context_->image = GrayImage{};
        DestroyDecoderContext(&context_);
    }

    static constexpr int kSide = 120;
    std::vector<uint8_t> plane_;
    DecoderContext* context_ = nullptr;
    TransitionScan columns_[kMaxSegments] = {};
    TransitionScan rows_[kMaxSegments] = {};
    RegionScanState state_{};
};

TEST_F(ModuleCountProfileTest, CountsProfileChanges)
{
    CountModulesFromBorders(context_->image, state_, TransitionPair{20.0f, 24.0f});
    EXPECT_EQ(columns_[1].transitionCount, 22);
    EXPECT_FLOAT_EQ(columns_[1].transitions, 22.0f);
    EXPECT_EQ(rows_[0].transitionCount, 80);
}

TEST_F(ModuleCountProfileTest, AveragesOnlyProfilesBetweenTheMaxima)
{
    // (20 + 24 + 22) / 3 = 22; the row profile's 80 lies outside 20..24.
    EXPECT_EQ(CountModulesFromBorders(context_->image, state_, TransitionPair{20.0f, 24.0f}), 22);
    // Neither profile lies within 40..44: (40 + 44) / 2 = 42 snaps to 44.
    EXPECT_EQ(CountModulesFromBorders(context_->image, state_, TransitionPair{40.0f, 44.0f}), 44);
}

TEST_F(ModuleCountProfileTest, RescalesProfileCountToScanLength)
{
    state_.scanLength = 150.0f;
    CountModulesFromBorders(context_->image, state_, TransitionPair{20.0f, 24.0f});
    EXPECT_FLOAT_EQ(columns_[1].transitions, 33.0f);
}

TEST_F(ModuleCountProfileTest, SegmentsRaiseTheCount)
{
    state_.segmentCount = 4;
    EXPECT_EQ(CountModulesFromBorders(context_->image, state_, TransitionPair{40.0f, 44.0f}), 64);
}

TEST(ModuleCountTest, CountFailsWithoutUsableScans)
{
    DecoderContext* context = CreateDecoderContext();
    ASSERT_NE(context, nullptr);
    RegionScanState state{};
    EXPECT_EQ(CountModulesFromBorders(context->image, state, TransitionPair{40.0f, 44.0f}), 0);
    TransitionScan columns[kMaxSegments] = {};
    TransitionScan rows[kMaxSegments] = {};
    state.columnScans = columns;
    state.rowScans = rows;
    state.maxColumnIndex = kMaxSegments;
    EXPECT_EQ(CountModulesFromBorders(context->image, state, TransitionPair{40.0f, 44.0f}), 0);
    state.maxColumnIndex = 0; // scans of length 0: nothing to profile
    EXPECT_EQ(CountModulesFromBorders(context->image, state, TransitionPair{40.0f, 44.0f}), 0);
    DestroyDecoderContext(&context);
}

} // namespace
} // namespace norvale
