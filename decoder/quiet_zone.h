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
// True when a finder leg, even tilted a few degrees, runs along most of one side and comes within
// a few pixels of the edge, the opposite side not solid as well, and either a leg runs along an
// adjacent side too or ink runs inward from one end of the leg: a finder the picture's edge may
// cut.
bool PictureCutAtFinder(const GrayImage& image);
// Searches a copy of the picture with a light margin (tiny pictures also enlarged) when it is
// filled by a symbol or cut at its finder, or when a dark surround reaches every edge (then painted
// light in the copy, a module short of the finder legs that run into it). When that decodes
// nothing, the call reads any symbol and the picture is not mostly light, the negative of the
// picture is searched the same way, for a light symbol cut at the edge or on a light surround.
// The picture itself is left as it was. Returns the number of decoded symbols; on success the
// context's corners are in the picture's pixels. On failure the candidate lists are as they were
// before the call.
int32_t SearchWithAddedQuietZone(DecoderContext& context);

} // namespace norvale
