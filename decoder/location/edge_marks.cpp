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

int32_t MarkedLines(int32_t count)
{
    return count < kMaxMarkedLines ? count : kMaxMarkedLines;
}

// The marks of one direction's lines: every `step` pixels across `lines` lines.
struct MarkedDirection
{
    int32_t step;
    int32_t lines;
    uint8_t* counts;
    float (*positions)[kMarksPerLine];
    uint8_t (*traces)[kMarksPerLine];
};

MarkedDirection Columns(EdgeMarks& marks)
{
    return MarkedDirection{marks.xStep, MarkedLines(marks.columnCount), marks.columnMarkCount,
                           marks.columnMarks, marks.columnTraces};
}

MarkedDirection Rows(EdgeMarks& marks)
{
    return MarkedDirection{marks.yStep, MarkedLines(marks.rowCount), marks.rowMarkCount, marks.rowMarks,
                           marks.rowTraces};
}

void AddMark(MarkedDirection& lines, int32_t i, float position, uint8_t traces)
{
    uint8_t& count = lines.counts[i];
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
// numbered `skipped` (the tracer's own) is left out.
void MarkAcross(MarkedDirection lines, const FittedLine& run, bool columns, int32_t skipped, uint8_t traces)
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
    for (int32_t i = firstLine > 0.0f ? static_cast<int32_t>(firstLine) : 0; i < lines.lines; ++i) {
        const float at = static_cast<float>((i + 1) * lines.step);
        if (at > high) {
            break;
        }
        if (at >= low && i != skipped) {
            AddMark(lines, i, other + across * ((at - from) / along), traces);
        }
    }
}

// The number of the grid line at `coord`, with lines every `step`, or -1.
int32_t LineIndex(int32_t coord, int32_t step, int32_t count)
{
    if (step <= 0 || coord < step || coord % step != 0) {
        return -1;
    }
    const int32_t i = coord / step - 1;
    return i < MarkedLines(count) ? i : -1;
}

} // namespace

void InitEdgeMarks(EdgeMarks& marks, int32_t xStep, int32_t yStep, int32_t columnCount, int32_t rowCount)
{
    marks.xStep = xStep;
    marks.yStep = yStep;
    marks.columnCount = columnCount;
    marks.rowCount = rowCount;
    for (int i = 0; i < kMaxMarkedLines; ++i) {
        marks.columnMarkCount[i] = 0;
        marks.rowMarkCount[i] = 0;
    }
}

int EarlierTraces(const EdgeMarks& marks, const EdgeWalker& walker)
{
    const bool vertical = IsVerticalScan(walker.direction);
    const int32_t i = vertical ? LineIndex(walker.lineCoord, marks.xStep, marks.columnCount)
                               : LineIndex(walker.lineCoord, marks.yStep, marks.rowCount);
    if (i < 0) {
        return 0;
    }
    const float position = static_cast<float>(walker.posA) + walker.fraction;
    const uint8_t count = vertical ? marks.columnMarkCount[i] : marks.rowMarkCount[i];
    const float* positions = vertical ? marks.columnMarks[i] : marks.rowMarks[i];
    const uint8_t* traces = vertical ? marks.columnTraces[i] : marks.rowTraces[i];
    int most = 0;
    for (uint8_t k = 0; k < count; ++k) {
        if (std::fabs(positions[k] - position) <= kMarkTolerance && traces[k] > most) {
            most = traces[k];
        }
    }
    return most;
}

void MarkTracedRuns(EdgeMarks& marks, const EdgeTracer& tracer, int startDirection, int startLine,
                    int earlier)
{
    const bool vertical = IsVerticalScan(startDirection);
    const int32_t column = vertical ? LineIndex(startLine, marks.xStep, marks.columnCount) : -1;
    const int32_t row = vertical ? -1 : LineIndex(startLine, marks.yStep, marks.rowCount);
    const uint8_t traces = static_cast<uint8_t>(earlier + 1);
    for (const FittedLine* run : {&tracer.firstLine, &tracer.secondLine}) {
        if (run->valid != 0) {
            MarkAcross(Columns(marks), *run, true, column, traces);
            MarkAcross(Rows(marks), *run, false, row, traces);
        }
    }
}

} // namespace norvale
