// Quiet-zone search: the last resort for a symbol drawn to the picture's edge. The finder cannot
// be traced along the edge, so the picture is given a light margin (and tiny pictures a larger
// scale) and searched once more.
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;
struct GrayImage;

// True when the picture looks like a symbol cut out tightly: its finder legs along two adjacent
// sides of the picture and its clock borders along the other two, within a few pixels of the edge.
bool PictureFilledBySymbol(const GrayImage& image);
// True when ink runs along most of two adjacent sides within a few pixels of the edge, the other
// two sides not both solid: a finder the picture's edge may cut, whatever lies opposite.
bool PictureCutAtFinder(const GrayImage& image);
// Searches a copy of the picture with a light margin (tiny pictures also enlarged) when it is
// filled by a symbol or cut at its finder; the picture itself is left as it was. Returns the number of
// decoded symbols; on success the context's corners are in the picture's pixels. On failure the candidate
// lists are left empty.
int32_t SearchWithAddedQuietZone(DecoderContext& context);

} // namespace norvale
