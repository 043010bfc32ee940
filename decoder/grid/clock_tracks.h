// Clock tracks: the modules of the two clocked borders of a fitted frame, read one by one, and the
// module grid lines laid through them.
//
// One projective frame places every module of a flat symbol. On a curved surface (a label on a
// vial or bottle) or under uneven printing the modules differ in width across the symbol, and the
// frame puts the outer ones off their centres. The clock tracks show where each module column
// (along the top border) and each module row (along the right border) really lies; a column line
// joins the measured centre of its clock module to the finder row at the same frame x, a row line
// joins the finder column to its measured clock module.
#pragma once

#include <cstdint>

namespace norvale {

struct GrayImage;
struct SymbolRecord;

// Samples taken along one track: the track is read at up to three samples per pixel, and a longer
// track at this many over its length (still more than ten per module of the largest symbol).
constexpr int32_t kMaxTrackSamples = 2048;

// Module count and centres measured along one clock track of the record's frame: the top border
// (frame y = 100, towards increasing x) or the right border (frame x = 100, towards increasing
// y), read `depthFrame` frame units inside the border. `expected` is the side whose module width
// sets the local threshold's reach. Returns the modules counted (the finder's outer edge and every
// change after it, up to the far end), 0 when the track cannot be read; the first `capacity`
// centres are written to `centres` in frame units along the track.
int32_t MeasureClockTrack(const SymbolRecord& record, const GrayImage& image, bool topTrack, float depthFrame,
                          int32_t expected, float* centres, int32_t capacity);

// Counts the modules of both clock tracks of the record's frame (fitted by the outline walks) and,
// when both show the same valid side, lays one grid line through every module row and column:
// the record then holds rowLines, columnLines and gridLineCount, and moduleCountHint is the side.
// 1 on success; 0 otherwise, with the record's grid lines and hint left as they were. The record
// must hold no grid lines yet.
int LayClockTrackGrid(SymbolRecord& record, const GrayImage& image);

} // namespace norvale
