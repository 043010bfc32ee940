// Public C entries and their drivers: one context per call, load, search, copy out.
#include "decoder/entries.h"

#include <cstdlib>
#include <cstring>

#include "decoder/base/line_geometry.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/decoder_context.h"
#include "decoder/picture_search.h"
#include "image/bmp_reader.h"
#include "image/gray_image.h"
#include "image/picture_reader.h"

namespace norvale {

static_assert(NORVALE_MAX_DECODED_BYTES == kMostDecodedBytes, "the header's longest text is the decoder's");

DecoderContext* PrepareContext(const DecodeOptions* options)
{
    DecoderContext* context = CreateDecoderContext();
    if (context == nullptr) {
        return nullptr;
    }
    context->flags = kFlagStopAtFirst;
    if (options != nullptr && options->darkOnLightOnly != 0) {
        context->flags |= kFlagDarkOnLightOnly;
    }
    if (options != nullptr && options->timeBudgetMs != 0) {
        context->deadline = SteadyNanoseconds() + int64_t{options->timeBudgetMs} * 1000000;
    }
    InitGrayImage(context->image);
    ResetDecoderContext(*context);
    return context;
}

int32_t DecodeToText(DecoderContext& context, uint8_t** text)
{
    SearchForText(context);
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

int32_t DecodeFile(const char* path, uint8_t** text)
{
    if (path == nullptr || text == nullptr) {
        return 0;
    }
    const PictureFormat format = FormatFromName(path);
    if (format == PictureFormat::kUnknown) {
        return 0;
    }
    DecoderContext* context = PrepareContext(nullptr);
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

#ifndef NORVALE_BMP_ONLY

namespace {

void WriteFailure(DecodeResult& result, int32_t errorCode, const PointF corners[4])
{
    result = DecodeResult{};
    result.errorCode = errorCode;
    if (corners != nullptr) {
        for (int k = 0; k < 4; ++k) {
            result.cornerX[k] = Nearest(corners[k].x);
            result.cornerY[k] = Nearest(corners[k].y);
        }
    }
}

// Hands the symbol's bytes over to the result.
void WriteSymbol(FoundSymbol& symbol, DecodeResult& result)
{
    WriteFailure(result, kDecodeOk, symbol.corners);
    result.data = symbol.data;
    result.length = symbol.length;
    result.startMode = symbol.startMode;
    result.side = symbol.side;
    result.correctedCount = symbol.correctedCount;
    symbol.data = nullptr;
}

// Loads with `load` on a fresh context, sweeps and writes up to `capacity` results.
template <typename Loader>
int32_t DecodeInto(Loader load, const DecodeOptions* options, uint32_t maxSymbols, DecodeResult* results,
                   int32_t capacity)
{
    if (results == nullptr || capacity < 1) {
        return 0;
    }
    DecoderContext* context = PrepareContext(options);
    if (context == nullptr) {
        WriteFailure(results[0], kDecodeOutOfMemory, nullptr);
        return 0;
    }
    const int32_t loaded = load(context->image);
    if (loaded != kDecodeOk) {
        WriteFailure(results[0], loaded, nullptr);
        DestroyDecoderContext(&context);
        return 0;
    }
    const uint32_t most =
        maxSymbols < static_cast<uint32_t>(capacity) ? maxSymbols : static_cast<uint32_t>(capacity);
    FoundSymbols found{};
    const SweepEnd end = SweepSymbols(*context, most, found);
    int32_t written = 0;
    if (found.count == 0) {
        WriteFailure(results[0], static_cast<int32_t>(end), context->corners);
    }
    for (; written < found.count && written < capacity; ++written) {
        WriteSymbol(found.items[written], results[written]);
    }
    FreeFoundSymbols(found);
    FreeGrayImage(context->image);
    DestroyDecoderContext(&context);
    return written;
}

int32_t LoadBmpRequest(GrayImage& image, const ImageBuffer* request)
{
    if (request == nullptr || request->bytes == nullptr ||
        LoadBmpFromMemory(image, request->bytes, request->length) != 1) {
        return kDecodeImageNotLoaded;
    }
    return kDecodeOk;
}

int32_t LoadGrayRequest(GrayImage& image, const GrayPixels* request)
{
    if (request == nullptr ||
        (request->rowOrder != kGrayTopRowFirst && request->rowOrder != kGrayBottomRowFirst)) {
        return kDecodeImageNotLoaded;
    }
    switch (LoadGrayPixels(image, request->pixels, request->width, request->height, request->stride,
                           request->rowOrder == kGrayBottomRowFirst)) {
    case GrayLoad::kLoaded:
        return kDecodeOk;
    case GrayLoad::kOutOfMemory:
        return kDecodeOutOfMemory;
    default:
        return kDecodeImageNotLoaded;
    }
}

uint32_t MaxSymbolsOf(const DecodeOptions* options)
{
    return options == nullptr || options->maxSymbols == 0 ? kMaxSweptSymbols : options->maxSymbols;
}

} // namespace

int32_t DecodeToResult(DecoderContext& context, DecodeResult& result)
{
    FoundSymbols found{};
    const SweepEnd end = SweepSymbols(context, 1, found);
    const int32_t decoded = found.count > 0 ? 1 : 0;
    if (decoded == 1) {
        WriteSymbol(found.items[0], result);
    } else {
        WriteFailure(result, static_cast<int32_t>(end), context.corners);
    }
    FreeFoundSymbols(found);
    return decoded;
}

#endif

} // namespace norvale

extern "C" int32_t DecodeImage(const char* path, int32_t capacity, char* out)
{
    if (capacity < 1 || out == nullptr) {
        return 0;
    }
    uint8_t* text = nullptr;
    const int32_t n = norvale::DecodeFile(path, &text);
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
    return norvale::DecodeInto(
        [&](norvale::GrayImage& image) { return norvale::LoadBmpRequest(image, request); }, nullptr, 1,
        result, 1);
}

extern "C" int32_t DecodeGrayPixels(const GrayPixels* request, DecodeResult* result)
{
    return norvale::DecodeInto(
        [&](norvale::GrayImage& image) { return norvale::LoadGrayRequest(image, request); }, nullptr, 1,
        result, 1);
}

extern "C" int32_t DecodeBufferAll(const ImageBuffer* request, const DecodeOptions* options,
                                   DecodeResult* results, int32_t capacity)
{
    return norvale::DecodeInto(
        [&](norvale::GrayImage& image) { return norvale::LoadBmpRequest(image, request); }, options,
        norvale::MaxSymbolsOf(options), results, capacity);
}

extern "C" int32_t DecodeGrayPixelsAll(const GrayPixels* request, const DecodeOptions* options,
                                       DecodeResult* results, int32_t capacity)
{
    return norvale::DecodeInto(
        [&](norvale::GrayImage& image) { return norvale::LoadGrayRequest(image, request); }, options,
        norvale::MaxSymbolsOf(options), results, capacity);
}

extern "C" int32_t DecodeImage1(const uint8_t* buffer, uint32_t length, int32_t capacity, char* out)
{
    if (capacity < 1 || out == nullptr) {
        return 0;
    }
    const ImageBuffer request{buffer, length};
    DecodeResult result{};
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
