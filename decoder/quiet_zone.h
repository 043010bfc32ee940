// Quiet-zone search: the last resort for a symbol drawn to the picture's edge. The finder cannot
// be traced along the edge, so the picture is given a light margin (and tiny pictures a larger
// scale) and searched once more.
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;

// Runs when the search and the retry step decoded nothing. Returns the number of decoded
// symbols; on success the context's corners are in the original picture's pixels.
int32_t SearchWithAddedQuietZone(DecoderContext& context);

} // namespace norvale
