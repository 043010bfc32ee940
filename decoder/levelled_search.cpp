// Levelled search: the levelled copy of the picture searched in its place, the candidate lists of
// the search before kept for the retry step.
#include "decoder/levelled_search.h"

#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/search_driver.h"
#include "image/gray_image.h"
#include "image/levelled_plane.h"

namespace norvale {

int32_t SearchLevelledPicture(DecoderContext& context)
{
    GrayImage& image = context.image;
    const uint8_t* base = image.median != nullptr ? image.median : image.source;
    uint8_t* plane = BuildLevelledPlane(base, image.width, image.height);
    if (plane == nullptr) {
        return kNoCopyToSearch;
    }
    // The retry step works from the candidates of the picture's own search, which are kept.
    return SearchPictureCopy(context, plane, image.width, image.height, TracedSearch::kLevelled);
}

} // namespace norvale
