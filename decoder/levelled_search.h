// Levelled search: a picture whose mark is too soft and faint for the scan lines (dot peening in
// soft focus) is searched once more on its levelled copy, where such areas stand at full contrast
// and everything else is flat.
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;

// Builds the levelled copy of the picture (from its median plane when there is one) and searches
// it, when the picture has soft areas at all; the picture itself is left as it was, and so are the
// retry and rejected lists of the search before. Returns the number of decoded symbols (their
// corners are in the picture's pixels: the copy has the picture's size), or kNoCopyToSearch when
// the picture has no soft areas.
int32_t SearchLevelledPicture(DecoderContext& context);

} // namespace norvale
