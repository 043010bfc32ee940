// Line probes: one scan line turned into finder candidates for the symbol table (the search) or
// run straight through the evaluation chain into decoded symbols (the retry step).
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;
struct EdgeMarks;
struct CrossingLog;

// Scans positions start .. start + length - 1 of a column (direction 1, x = lineCoord) or a row
// (direction 8, y = lineCoord) on the current plane and appends new candidates to the symbol
// table. Returns how many were appended.
// With `marks`, edges traced from earlier lines of the grid are not traced again; with `log`, the
// crossings' runs are logged for, or replayed from, a pass over a plane with the same pixels.
int32_t ProbeScanLine(DecoderContext& context, int direction, int lineCoord, int start, int length,
                      EdgeMarks* marks = nullptr, CrossingLog* log = nullptr);
// Scans the whole line and runs each corner found through the rest of the decoder. Returns the
// context's symbolCount.
int32_t ProbeAndDecodeLine(DecoderContext& context, int direction, int lineCoord);

} // namespace norvale
