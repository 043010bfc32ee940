// Module grid lines: the last step of the region-border path. From the verified segment borders
// fits one line through the centres of every module row and column, modules spaced evenly within
// each data region, and refits the frame's two tapers from the outermost borders.
#pragma once

#include "decoder/grid/region_border_scan.h"

namespace norvale {

struct SymbolRecord;

// Row and column lines need at least this angle between them: |cos| above it fails the grid.
constexpr float kMaxGridLineCosine = 0.9f;

// 1 and record.rowLines / columnLines (moduleCountHint + 1 entries each, owned by the record)
// holding gridLineCount lines; row line i runs through module row i counted from the x leg,
// column line j through module column j counted from the y leg; only origin and direction are
// set. On 0 both arrays are freed and nulled and moduleCountHint and gridLineCount are 0. Fails
// on an allocation failure, a border that does not snap to a fraction, nearly parallel row and
// column lines, or more lines than the arrays hold. Unless allocation failed, the tapers are
// refitted from the outer borders and the frame matrices rebuilt.
int BuildGridLines(SymbolRecord& record, const RegionScanState& state);

} // namespace norvale
