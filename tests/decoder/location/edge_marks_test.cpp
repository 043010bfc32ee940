#include "decoder/location/edge_marks.h"

#include <gtest/gtest.h>

#include <memory>

namespace norvale {
namespace {

// A grid of columns and rows every 10 pixels, 9 each way.
std::unique_ptr<EdgeMarks> TenPixelGrid()
{
    auto marks = std::make_unique<EdgeMarks>();
    InitEdgeMarks(*marks, 10, 10, 9, 9);
    return marks;
}

EdgeTracer TracerWithRun(PointF origin, PointF direction, float length)
{
    EdgeTracer tracer{};
    tracer.firstLine.valid = 1;
    tracer.firstLine.origin = origin;
    tracer.firstLine.direction = direction;
    tracer.firstLine.tEnd = length;
    return tracer;
}

// A crossing of the given line at `position` along it.
EdgeWalker CrossingAt(int direction, int lineCoord, float position)
{
    EdgeWalker walker{};
    walker.direction = direction;
    walker.lineCoord = lineCoord;
    walker.posA = static_cast<int>(position);
    walker.fraction = position - static_cast<float>(walker.posA);
    return walker;
}

TEST(EdgeMarksTest, RunTracedFromARowMarksTheRowsItCrosses)
{
    auto marks = TenPixelGrid();
    // Traced from row y = 20, straight up from (33.5, 20) to (33.5, 65).
    MarkTracedRuns(*marks, TracerWithRun({33.5f, 20.0f}, {0.0f, 1.0f}, 45.0f), EdgeTracer{},
                   CrossingAt(kScanRight, 20, 33.5f), 0);
    struct Case
    {
        int direction;
        int line;
        float position;
        int earlier;
    } const cases[] = {
        {kScanRight, 40, 33.5f, 1}, // on the run
        {kScanRight, 60, 33.9f, 1}, // within half a pixel
        {kScanRight, 40, 34.5f, 0}, // a pixel beside it: another edge
        {kScanRight, 20, 33.5f, 0}, // the tracer's own row
        {kScanRight, 70, 33.5f, 0}, // past the run's end
        {kScanDown, 30, 33.5f, 0},  // a column the run runs along, not across
        {kScanRight, 45, 33.5f, 0}, // not a grid line
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EarlierTraces(*marks, CrossingAt(c.direction, c.line, c.position)), c.earlier)
            << "line " << c.line << " at " << c.position;
    }
}

TEST(EdgeMarksTest, TwinTracesRaiseTheCountUpToTheLimit)
{
    auto marks = TenPixelGrid();
    const EdgeWalker later = CrossingAt(kScanRight, 80, 50.0f);
    for (int line = 10; line <= 10 * kTracesPerEdge; line += 10) {
        const EdgeWalker crossing = CrossingAt(kScanRight, line, 50.0f);
        MarkTracedRuns(*marks, TracerWithRun({50.0f, static_cast<float>(line)}, {0.0f, 1.0f}, 85.0f),
                       EdgeTracer{}, crossing, EarlierTraces(*marks, crossing));
    }
    EXPECT_EQ(EarlierTraces(*marks, later), kTracesPerEdge);
}

TEST(EdgeMarksTest, ShallowRunMarksNothing)
{
    auto marks = TenPixelGrid();
    // 70 degrees from the rows' normal: it grazes the rows rather than crossing them.
    MarkTracedRuns(*marks, TracerWithRun({10.0f, 5.0f}, {0.9397f, 0.3420f}, 80.0f), EdgeTracer{},
                   CrossingAt(kScanDown, 10, 5.0f), 0);
    EXPECT_EQ(EarlierTraces(*marks, CrossingAt(kScanRight, 20, 51.2f)), 0);
}

} // namespace
} // namespace norvale
