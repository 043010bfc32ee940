// Edge marks: where the straight runs traced so far cross the other lines of a scan grid, so that
// a later line does not trace the same edge yet again from its own crossing.
#pragma once

#include <cstdint>

#include "decoder/location/edge_tracer.h"
#include "decoder/location/scan_line_edges.h"

namespace norvale {

// Grid lines marked per direction, and marks kept per line; lines and runs beyond them are not
// marked, so their crossings are always traced.
constexpr int kMaxMarkedLines = 32;
constexpr int kMarksPerLine = 255;
// Lines that trace one edge from their own crossings before the lines after them pass it over:
// the measurements after the first are the twins that a hard symbol may need.
constexpr int kTracesPerEdge = 3;

// The lines of one direction, at (i + 1) step for i < lineCount. Each keeps, per mark, the
// position along it where a traced run crossed it and how many lines before had traced that edge
// when the run was traced.
struct MarkedLines
{
    int32_t step;
    int32_t lineCount; // at most kMaxMarkedLines
    uint8_t markCount[kMaxMarkedLines];
    float positions[kMaxMarkedLines][kMarksPerLine];
    uint8_t traces[kMaxMarkedLines][kMarksPerLine];
};

// Columns (x fixed, positions are y) and rows (y fixed, positions are x).
struct EdgeMarks
{
    MarkedLines columns;
    MarkedLines rows;
};

// A grid without marks.
void InitEdgeMarks(EdgeMarks& marks, int32_t xStep, int32_t yStep, int32_t columnCount, int32_t rowCount);
// How many lines before this one traced the edge under the walker's last crossing: 0 for an edge
// not marked on this line.
int EarlierTraces(const EdgeMarks& marks, const EdgeWalker& walker);
// Marks where the straight runs of both tracers of a crossing cross the grid's other lines at a
// steep enough angle. `earlier` is what EarlierTraces said of the crossing; a mark already there
// keeps the larger count.
void MarkTracedRuns(EdgeMarks& marks, const EdgeTracer& tracerA, const EdgeTracer& tracerB,
                    const EdgeWalker& walker, int earlier);

} // namespace norvale
