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

namespace norvale {

struct GrayImage;
struct SymbolRecord;

// Counts the modules of both clock tracks of the record's frame (fitted by the outline walks) and,
// when both show the same valid side, lays one grid line through every module row and column:
// the record then holds rowLines, columnLines and gridLineCount, and moduleCountHint is the side.
// 1 on success; 0 otherwise, with the record's grid lines and hint left as they were. The record
// must hold no grid lines yet.
int LayClockTrackGrid(SymbolRecord& record, const GrayImage& image);

} // namespace norvale
