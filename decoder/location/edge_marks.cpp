// Edge marks: a traced run is marked on each grid line it crosses; a crossing within half a pixel
// of a mark on its line sits on an edge already traced.
#include "decoder/location/edge_marks.h"

#include <cmath>
#include <initializer_list>

namespace norvale {

namespace {

// A run crosses a line usefully only when it runs within 60 degrees of the line's normal.
constexpr float kMinCrossingCosine = 0.5f;
// A crossing (or a new mark) this close to a mark lies on the marked edge.
constexpr float kMarkTolerance = 0.5f;

void InitLines(MarkedLines& lines, int32_t step, int32_t count)
{
    lines.step = step;
    lines.lineCount = count < kMaxMarkedLines ? count : kMaxMarkedLines;
    for (uint8_t& markCount : lines.markCount) {
        markCount = 0;
    }
}

// The number of the line at `coord`, or -1.
int32_t LineIndex(const MarkedLines& lines, int32_t coord)
{
    if (lines.step <= 0 || coord < lines.step || coord % lines.step != 0) {
        return -1;
    }
    const int32_t i = coord / lines.step - 1;
    return i < lines.lineCount ? i : -1;
}

void AddMark(MarkedLines& lines, int32_t i, float position, uint8_t traces)
{
    uint8_t& count = lines.markCount[i];
    for (uint8_t k = 0; k < count; ++k) {
        if (std::fabs(lines.positions[i][k] - position) <= kMarkTolerance) {
            if (lines.traces[i][k] < traces) {
                lines.traces[i][k] = traces;
            }
            return;
        }
    }
    if (count < kMarksPerLine) {
        lines.positions[i][count] = position;
        lines.traces[i][count] = traces;
        count += 1;
    }
}

// Marks the run on the lines it crosses; `columns` says which coordinate the lines fix. The line
// numbered `skipped` (the tracers' own) is left out.
void MarkAcross(MarkedLines& lines, const FittedLine& run, bool columns, int32_t skipped, uint8_t traces)
{
    const float along = columns ? run.direction.x : run.direction.y;
    if (lines.step <= 0 || !(std::fabs(along) >= kMinCrossingCosine)) {
        return;
    }
    const float from = columns ? run.origin.x : run.origin.y;
    const float other = columns ? run.origin.y : run.origin.x;
    const float across = columns ? run.direction.y : run.direction.x;
    const float a = from + along * run.tStart;
    const float b = from + along * run.tEnd;
    const float low = std::fmin(a, b);
    const float high = std::fmax(a, b);
    if (!(high >= static_cast<float>(lines.step))) {
        return;
    }
    // The first line at or past `low`; lines start one step in.
    const float firstLine = std::ceil(low / static_cast<float>(lines.step)) - 1.0f;
    for (int32_t i = firstLine > 0.0f ? static_cast<int32_t>(firstLine) : 0; i < lines.lineCount; ++i) {
        const float at = static_cast<float>((i + 1) * lines.step);
        if (at > high) {
            break;
        }
        if (at >= low && i != skipped) {
            AddMark(lines, i, other + across * ((at - from) / along), traces);
        }
    }
}

} // namespace

void InitEdgeMarks(EdgeMarks& marks, int32_t xStep, int32_t yStep, int32_t columnCount, int32_t rowCount)
{
    InitLines(marks.columns, xStep, columnCount);
    InitLines(marks.rows, yStep, rowCount);
}

int EarlierTraces(const EdgeMarks& marks, const EdgeWalker& walker)
{
    const MarkedLines& lines = IsVerticalScan(walker.direction) ? marks.columns : marks.rows;
    const int32_t i = LineIndex(lines, walker.lineCoord);
    if (i < 0) {
        return 0;
    }
    const float position = static_cast<float>(walker.posA) + walker.fraction;
    int most = 0;
    for (uint8_t k = 0; k < lines.markCount[i]; ++k) {
        if (std::fabs(lines.positions[i][k] - position) <= kMarkTolerance && lines.traces[i][k] > most) {
            most = lines.traces[i][k];
        }
    }
    return most;
}

void MarkTracedRuns(EdgeMarks& marks, const EdgeTracer& tracerA, const EdgeTracer& tracerB,
                    const EdgeWalker& walker, int earlier)
{
    const bool vertical = IsVerticalScan(walker.direction);
    const int32_t column = vertical ? LineIndex(marks.columns, walker.lineCoord) : -1;
    const int32_t row = vertical ? -1 : LineIndex(marks.rows, walker.lineCoord);
    const uint8_t traces = static_cast<uint8_t>(earlier + 1);
    for (const FittedLine* run :
         {&tracerA.firstLine, &tracerA.secondLine, &tracerB.firstLine, &tracerB.secondLine}) {
        if (run->valid != 0) {
            MarkAcross(marks.columns, *run, true, column, traces);
            MarkAcross(marks.rows, *run, false, row, traces);
        }
    }
}

} // namespace norvale
