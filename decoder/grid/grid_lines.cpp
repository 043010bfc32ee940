// Module grid lines: one line per module row and column, spaced evenly between the verified
// region borders, and the frame tapers refitted from the outer borders.
#include "decoder/grid/grid_lines.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decoder/base/symbol_frame.h"
#include "decoder/base/symbol_record.h"
#include "decoder/grid/border_verification.h"

namespace norvale {

namespace {

void FreeGridLines(SymbolRecord& record)
{
    std::free(record.rowLines);
    std::free(record.columnLines);
    record.rowLines = nullptr;
    record.columnLines = nullptr;
    record.gridLineCount = 0;
}

// The line from the point at `nearDistance` on `nearLine` towards the point at `farDistance` on
// `farLine`; 0 when the two points coincide.
int LineBetween(FittedLine& out, const FittedLine& nearLine, float nearDistance, const FittedLine& farLine,
                float farDistance)
{
    PointF from{};
    PointF to{};
    PointOnLine(from, nearLine, nearDistance);
    PointOnLine(to, farLine, farDistance);
    out = FittedLine{};
    return AimLine(out, from, to);
}

// Lays the module lines of every segment; 1 when all borders snapped and every line pair held.
int LayGridLines(SymbolRecord& record, const RegionScanState& state, const FittedLine& farColumn,
                 const FittedLine& farRow)
{
    const int32_t capacity = record.moduleCountHint + 1;
    float b0 = 0.0f, u0 = 0.0f, w0 = 0.0f, a0 = 0.0f, c0 = 0.0f;
    for (int32_t k = 0; k < state.segmentCount; ++k) {
        const FittedLine& columnLine = state.columnScans[state.segmentColumn[k]].line;
        const FittedLine& rowLine = state.rowScans[state.segmentRow[k]].line;
        float fraction = 0.0f;
        if (SnapBorderFraction(LineProjection(state.xLegLine, columnLine.origin), state.scanLength,
                               fraction) == 0) {
            return 0;
        }
        const float b = static_cast<float>(record.moduleCountHint) * fraction;
        const float span = b - b0;
        if (!(span > 0.0f)) {
            return 0;
        }
        float u = 0.0f, w = 0.0f, a = 0.0f, c = 0.0f;
        if (DistanceOfCrossing(u, rowLine, state.yLegLine) == 0 ||
            DistanceOfCrossing(w, rowLine, farColumn) == 0 ||
            DistanceOfCrossing(a, columnLine, state.xLegLine) == 0 ||
            DistanceOfCrossing(c, columnLine, farRow) == 0) {
            return 0;
        }
        const float pu = (u - u0) / span;
        const float pw = (w - w0) / span;
        const float pa = (a - a0) / span;
        const float pc = (c - c0) / span;
        const int32_t lines = static_cast<int32_t>(span + 0.5f);
        for (int32_t j = 0; j < lines; ++j) {
            // Spans that are not whole module counts can add up to more lines than modules.
            if (record.gridLineCount >= capacity) {
                return 0;
            }
            const float s = static_cast<float>(j) + 0.5f;
            FittedLine& rowOut = record.rowLines[record.gridLineCount];
            FittedLine& columnOut = record.columnLines[record.gridLineCount];
            if (LineBetween(rowOut, state.yLegLine, u0 + s * pu, farColumn, w0 + s * pw) == 0 ||
                LineBetween(columnOut, state.xLegLine, a0 + s * pa, farRow, c0 + s * pc) == 0) {
                return 0;
            }
            const double dot = double{rowOut.direction.x} * columnOut.direction.x +
                               double{rowOut.direction.y} * columnOut.direction.y;
            if (std::fabs(dot) > kMaxGridLineCosine) {
                return 0;
            }
            record.gridLineCount += 1;
        }
        b0 = b;
        u0 = u;
        w0 = w;
        a0 = a;
        c0 = c;
    }
    return 1;
}

// Frame tapers from where the outer borders meet the legs and each other. Left as they were when
// two of the lines do not cross or a length comes out non-positive.
void RefitTapers(SymbolRecord& record, const RegionScanState& state, const FittedLine& farColumn,
                 const FittedLine& farRow)
{
    PointF farCorner{};
    PointF columnFoot{};
    PointF rowFoot{};
    if (IntersectLines(farCorner, farColumn, farRow) == 0 ||
        IntersectLines(columnFoot, farColumn, state.xLegLine) == 0 ||
        IntersectLines(rowFoot, farRow, state.yLegLine) == 0) {
        return;
    }
    TransformApplyInPlace(farCorner, record.imageToFrame);
    TransformApplyInPlace(columnFoot, record.imageToFrame);
    TransformApplyInPlace(rowFoot, record.imageToFrame);
    const float lengths[4] = {rowFoot.y, farCorner.y, columnFoot.x, farCorner.x};
    for (float length : lengths) {
        if (!(length > 0.0f) || !std::isfinite(length)) {
            return;
        }
    }
    record.frame.heightAtX0 = rowFoot.y;
    record.frame.heightAtX100 = farCorner.y;
    record.frame.widthAtY0 = columnFoot.x;
    record.frame.widthAtY100 = farCorner.x;
    BuildFrameTransforms(record);
}

bool SegmentsUsable(const RegionScanState& state)
{
    if (state.segmentCount < 1 || state.segmentCount > kMaxSegments || state.columnScans == nullptr ||
        state.rowScans == nullptr) {
        return false;
    }
    for (int32_t k = 0; k < state.segmentCount; ++k) {
        if (state.segmentColumn[k] < 0 || state.segmentColumn[k] >= kMaxSegments || state.segmentRow[k] < 0 ||
            state.segmentRow[k] >= kMaxSegments) {
            return false;
        }
    }
    return true;
}

} // namespace

int BuildGridLines(SymbolRecord& record, const RegionScanState& state)
{
    FreeGridLines(record);
    const int32_t hint = record.moduleCountHint;
    if (hint < 1 || hint >= kMaxScanSamples || !SegmentsUsable(state)) {
        record.moduleCountHint = 0;
        return 0;
    }
    const size_t bytes = (static_cast<size_t>(hint) + 1) * sizeof(FittedLine);
    record.rowLines = static_cast<FittedLine*>(std::malloc(bytes));
    record.columnLines = static_cast<FittedLine*>(std::malloc(bytes));
    if (record.rowLines == nullptr || record.columnLines == nullptr) {
        FreeGridLines(record);
        record.moduleCountHint = 0;
        return 0;
    }
    std::memset(record.rowLines, 0, bytes);
    std::memset(record.columnLines, 0, bytes);

    const FittedLine& farColumn = state.columnScans[state.segmentColumn[state.segmentCount - 1]].line;
    const FittedLine& farRow = state.rowScans[state.segmentRow[state.segmentCount - 1]].line;
    const int result = LayGridLines(record, state, farColumn, farRow);
    RefitTapers(record, state, farColumn, farRow);
    if (result == 0) {
        FreeGridLines(record);
        record.moduleCountHint = 0;
    }
    return result;
}

} // namespace norvale
