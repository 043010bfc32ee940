// Levelled search: the levelled copy of the picture searched in its place, the candidate lists of
// the search before kept for the retry step.
#include "decoder/levelled_search.h"

#include <cstring>

#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/search_driver.h"
#include "image/gray_image.h"
#include "image/levelled_plane.h"

namespace norvale {

namespace {

constexpr int kScanDivisions = 20;

// The retry step works from the candidates of the picture's own search.
struct RememberedLists
{
    RetryCandidate retry[kMaxRetryCandidates];
    int32_t retryCount;
    SymbolRecord rejected[kMaxRejectedSymbols];
    int32_t rejectedCount;
};

} // namespace

int32_t SearchLevelledPicture(DecoderContext& context)
{
    GrayImage& image = context.image;
    const uint8_t* base = image.median != nullptr ? image.median : image.source;
    uint8_t* plane = BuildLevelledPlane(base, image.width, image.height);
    if (plane == nullptr) {
        return 0;
    }
    RememberedLists lists;
    std::memcpy(lists.retry, context.retryCandidates, sizeof lists.retry);
    lists.retryCount = context.retryCount;
    // The rejected copies own no buffers, so copying them moves nothing.
    std::memcpy(static_cast<void*>(lists.rejected), static_cast<const void*>(context.rejectedSymbols),
                sizeof lists.rejected);
    lists.rejectedCount = context.rejectedCount;

    const GrayImage original = image;
    InitGrayImage(image);
    AdoptSourcePlane(image, plane, original.width, original.height);
    ForgetCandidates(context);
    const TracedSearch traced = context.trace != nullptr ? context.trace->search : TracedSearch::kPicture;
    if (context.trace != nullptr) {
        context.trace->search = TracedSearch::kLevelled;
    }
    const int32_t decoded = SearchSymbols(context, kScanDivisions, kScanDivisions);
    if (context.trace != nullptr) {
        context.trace->search = traced;
    }
    FreeGrayImage(image);
    image = original;
    if (decoded <= 0) {
        ForgetCandidates(context);
        std::memcpy(context.retryCandidates, lists.retry, sizeof lists.retry);
        context.retryCount = lists.retryCount;
        std::memcpy(static_cast<void*>(context.rejectedSymbols), static_cast<const void*>(lists.rejected),
                    sizeof lists.rejected);
        context.rejectedCount = lists.rejectedCount;
    }
    return decoded;
}

} // namespace norvale
