// Public entries and their drivers: one context per call, load, search, retry, copy out.
#include "decoder/entries.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decoder/base/line_geometry.h"
#include "decoder/decoder_context.h"
#include "decoder/levelled_search.h"
#include "decoder/line_probes.h"
#include "decoder/location/scan_line_edges.h"
#include "decoder/quiet_zone.h"
#include "decoder/retry_step.h"
#include "decoder/search_driver.h"
#include "decoder/stage_clock.h"
#include "image/bmp_reader.h"
#include "image/gray_image.h"
#include "image/picture_reader.h"

namespace norvale {

namespace {

constexpr int kScanDivisions = 20;
// A context ready for loading: flags set, image emptied, reset. Null when memory is exhausted.
DecoderContext* PrepareContext()
{
    DecoderContext* context = CreateDecoderContext();
    if (context == nullptr) {
        return nullptr;
    }
    context->flags = kFlagStopAtFirst;
    InitGrayImage(context->image);
    ResetDecoderContext(*context);
    return context;
}

#ifndef NORVALE_BMP_ONLY

// Nearest: add 0.5, then truncate toward zero. Floors are never used here.
int32_t Nearest(double v)
{
    return static_cast<int32_t>(v + 0.5);
}

void WriteCorners(const DecoderContext& context, DecodeResult& result)
{
    for (int k = 0; k < 4; ++k) {
        result.cornerX[k] = Nearest(context.corners[k].x);
        result.cornerY[k] = Nearest(context.corners[k].y);
    }
}

// Mode of the first data codeword as the result reports it.
uint32_t StartModeOf(const SymbolRecord& symbol)
{
    if (symbol.codewords == nullptr || symbol.totalCodewords < 1) {
        return kStartModeAscii;
    }
    switch (symbol.codewords[0]) {
    case kStartModeC40:
    case kStartModeBase256:
    case kStartModeUpperShift:
    case kStartModeX12:
    case kStartModeText:
    case kStartModeEdifact:
        return symbol.codewords[0];
    default:
        return kStartModeAscii;
    }
}

#endif

// A picture filled by a symbol is searched with a margin first, the way it can decode; only when
// that fails do the search and the retry step run on the picture itself. Otherwise the margin is
// the last resort. Either way a failed call reports the corners of the margined search when it
// reached error correction, as when it runs last.
template <typename Retry> void SearchPicture(DecoderContext& context, Retry retry)
{
    const bool filled = PictureFilledBySymbol(context.image);
    PointF marginCorners[4];
    bool marginPublished = false;
    if (filled) {
        StageScope stage(context.clock, Stage::kFallbacks);
        PointF before[4];
        std::memcpy(before, context.corners, sizeof before);
        if (SearchWithAddedQuietZone(context) > 0) {
            return;
        }
        marginPublished = std::memcmp(before, context.corners, sizeof before) != 0;
        std::memcpy(marginCorners, context.corners, sizeof marginCorners);
    }
    if (SearchSymbols(context, kScanDivisions, kScanDivisions) <= 0) {
        StageScope stage(context.clock, Stage::kFallbacks);
        // The levelled search comes before the retry step, which changes the picture in place.
        if (SearchLevelledPicture(context) <= 0) {
            retry(context);
        }
    }
    if (GetSymbolCount(context) > 0) {
        return;
    }
    if (!filled) {
        StageScope stage(context.clock, Stage::kFallbacks);
        SearchWithAddedQuietZone(context);
    } else if (marginPublished) {
        std::memcpy(context.corners, marginCorners, sizeof marginCorners);
    }
}

void SearchTextDriver(DecoderContext& context)
{
    SearchPicture(context, RetryForText);
}

#ifndef NORVALE_BMP_ONLY
void SearchResultDriver(DecoderContext& context)
{
    SearchPicture(context, RetryForResult);
}
#endif

} // namespace

int32_t DecodeToText(DecoderContext& context, uint8_t** text)
{
    SearchTextDriver(context);
    if (GetSymbolCount(context) <= 0) {
        return 0;
    }
    SymbolRecord& symbol = context.symbols[0];
    const int32_t length = symbol.dataLength;
    auto* copy = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(length) + 1, 1));
    if (copy == nullptr) {
        ClearSymbolRecord(symbol);
        return 0;
    }
    if (length > 0) {
        std::memcpy(copy, symbol.data, static_cast<size_t>(length));
    }
    ClearSymbolRecord(symbol);
    if (length <= 0) {
        std::free(copy);
        return 0;
    }
    *text = copy;
    return length;
}

#ifndef NORVALE_BMP_ONLY

int32_t DecodeToResult(DecoderContext& context, DecodeResult& result)
{
    SearchResultDriver(context);
    result.reserved = 0;
    int32_t decoded = 0;
    if (GetSymbolCount(context) <= 0) {
        result.errorCode = context.errorCode;
    } else {
        SymbolRecord& symbol = context.symbols[0];
        const int32_t length = symbol.dataLength;
        auto* copy = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(length > 0 ? length : 0) + 1, 1));
        if (copy == nullptr) {
            result.errorCode = kErrorNothingDecoded;
        } else {
            if (length > 0) {
                std::memcpy(copy, symbol.data, static_cast<size_t>(length));
            }
            result.startMode = StartModeOf(symbol);
            result.data = copy;
            result.length = length;
            result.correctedCount = symbol.correctedCount;
            result.side = GetSymbolSide(&symbol);
            result.errorCode = kDecodeOk;
            decoded = 1;
        }
        ClearSymbolRecord(symbol);
    }
    WriteCorners(context, result);
    return decoded;
}

#endif

int32_t DecodeFile(const char* path, uint8_t** text)
{
    if (path == nullptr || text == nullptr) {
        return 0;
    }
    const PictureFormat format = FormatFromName(path);
    if (format == PictureFormat::kUnknown) {
        return 0;
    }
    DecoderContext* context = PrepareContext();
    if (context == nullptr) {
        return 0;
    }
    int32_t n = 0;
    if (LoadPictureFile(context->image, path, format) == 1) {
        n = DecodeToText(*context, text);
        FreeGrayImage(context->image);
    }
    DestroyDecoderContext(&context);
    return n;
}

} // namespace norvale

using norvale::DecodeFile;

extern "C" int32_t DecodeImage(const char* path, int32_t capacity, char* out)
{
    if (capacity < 1 || out == nullptr) {
        return 0;
    }
    uint8_t* text = nullptr;
    const int32_t n = DecodeFile(path, &text);
    if (n <= 0) {
        return 0;
    }
    const int32_t k = n < capacity - 1 ? n : capacity - 1;
    std::memcpy(out, text, static_cast<size_t>(k));
    out[k] = '\0';
    std::free(text);
    return n < capacity ? n : capacity;
}

#ifndef NORVALE_BMP_ONLY

extern "C" int32_t DecodeBuffer(const ImageBuffer* request, DecodeResult* result)
{
    if (request == nullptr || result == nullptr) {
        return 0;
    }
    norvale::DecoderContext* context = norvale::PrepareContext();
    if (context == nullptr) {
        result->errorCode = norvale::kErrorNothingDecoded;
        return 0;
    }
    int32_t r = 0;
    if (request->bytes != nullptr &&
        norvale::LoadBmpFromMemory(context->image, request->bytes, request->length) == 1) {
        r = norvale::DecodeToResult(*context, *result);
        norvale::FreeGrayImage(context->image);
    } else {
        result->errorCode = norvale::kErrorImageNotLoaded;
    }
    norvale::DestroyDecoderContext(&context);
    return r;
}

extern "C" int32_t DecodeImage1(const uint8_t* buffer, uint32_t length, int32_t capacity, char* out)
{
    if (capacity < 1 || out == nullptr) {
        return 0;
    }
    const ImageBuffer request{buffer, length};
    DecodeResult result{};
    result.length = 0;
    DecodeBuffer(&request, &result);
    const int32_t n = result.length;
    if (n > 0) {
        const int32_t k = n < capacity - 1 ? n : capacity - 1;
        std::memcpy(out, result.data, static_cast<size_t>(k));
        out[k] = '\0';
    }
    std::free(result.data);
    return n > 0 ? (n < capacity ? n : capacity) : 0;
}

#endif
