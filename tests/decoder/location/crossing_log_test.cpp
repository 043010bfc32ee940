#include "decoder/location/crossing_log.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "decoder/location/line_crossings.h"
#include "tests/decoder/location/location_pictures.h"

namespace norvale {
namespace {

struct Visited
{
    FittedLine runs[4];
};

// The runs of every crossing of a column through the picture, traced or taken from `log`.
std::vector<Visited> CrossingsOfColumn(const GrayImage& image, int x, CrossingLog* log)
{
    std::vector<Visited> visited;
    ForEachCrossing(
        image, LineSpan{kScanDown, x, 0, static_cast<int>(image.height)},
        [&](const EdgeWalker&, const EdgeTracer& a, const EdgeTracer& b) {
            visited.push_back(Visited{{a.firstLine, a.secondLine, b.firstLine, b.secondLine}});
            return true;
        },
        nullptr, log);
    return visited;
}

bool SameLine(const FittedLine& a, const FittedLine& b)
{
    return a.valid == b.valid && a.refined == b.refined && a.tStart == b.tStart && a.tEnd == b.tEnd &&
           a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.direction.x == b.direction.x &&
           a.direction.y == b.direction.y;
}

bool SameRuns(const std::vector<Visited>& a, const std::vector<Visited>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        for (int k = 0; k < 4; ++k) {
            if (!SameLine(a[i].runs[k], b[i].runs[k])) {
                return false;
            }
        }
    }
    return true;
}

TEST(CrossingLogTest, ReplayedCrossingsGiveTheTracedRunsAndOthersAreTraced)
{
    test::PictureContext picture(120, 120, 230);
    test::DrawSymbolLike(picture, test::DrawnFrame{20.0, 25.0, 12.0}, 14, 5.0);
    const GrayImage& image = picture.image();
    const std::vector<Visited> traced = CrossingsOfColumn(image, 50, nullptr);
    const std::vector<Visited> other = CrossingsOfColumn(image, 70, nullptr);
    ASSERT_GT(traced.size(), 4u);
    int runs = 0;
    for (const Visited& v : traced) {
        runs += v.runs[0].valid + v.runs[1].valid + v.runs[2].valid + v.runs[3].valid;
    }
    ASSERT_GT(runs, 4); // the finder's legs and more

    auto log = std::make_unique<CrossingLog>();
    InitCrossingLog(*log);
    EXPECT_TRUE(SameRuns(CrossingsOfColumn(image, 50, log.get()), traced));
    EXPECT_EQ(log->count, static_cast<int32_t>(traced.size()));

    log->mode = CrossingLogMode::kReplay;
    EXPECT_TRUE(SameRuns(CrossingsOfColumn(image, 50, log.get()), traced));
    EXPECT_EQ(log->replayed, log->count);
    // A column the log never saw is traced as without it.
    EXPECT_TRUE(SameRuns(CrossingsOfColumn(image, 70, log.get()), other));
    EXPECT_EQ(log->replayed, log->count);
}

} // namespace
} // namespace norvale
