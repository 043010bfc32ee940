// Annotated copy of a picture for vistrel --annotate: the picture in grey with the symbol's
// outline drawn over it, written as an RGB PNG for a person to look at.
#pragma once

#include "norvale/datamatrix.hpp"

namespace norvale::app {

// Outline colours: a decoded symbol, and the last candidate that reached error correction
// when nothing decoded. The grey picture never shows either (its pixels have r = g = b).
inline constexpr unsigned char kDecodedOutline[3] = {0, 255, 0};
inline constexpr unsigned char kCandidateOutline[3] = {255, 0, 0};

// Half the outline's thickness in pixels (the line is 2 * kOutlineHalfWidth + 1 wide); the
// corners get a square of side 2 * kCornerHalfWidth + 1.
inline constexpr int kOutlineHalfWidth = 1;
inline constexpr int kCornerHalfWidth = 3;

// Reads the picture at picturePath with the library's readers (BMP, PNG or JPEG, recognised by
// content), draws the outline through decoded's corners (0-1-3-2-0) in the colour for its
// outcome, nothing when there is no corner, and writes the result to outPath. Returns false when
// the picture cannot be read or the PNG cannot be written (no file is left behind then).
bool WriteAnnotatedPicture(const char* picturePath, const Decoded& decoded, const char* outPath);

} // namespace norvale::app
