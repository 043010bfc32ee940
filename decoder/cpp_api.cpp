// C++ API: loads the picture by content or from a caller's grey buffer, then runs the same
// searches as the C entries and lifts each symbol with its content flags into value types.
#include "norvale/datamatrix.hpp"

#include <cstdlib>

#include "decoder/base/line_geometry.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/codewords/gs1_element_string.h"
#include "decoder/decoder_context.h"
#include "decoder/entries.h"
#include "decoder/picture_search.h"
#include "image/gray_image.h"
#include "image/picture_reader.h"

namespace norvale {

namespace {

std::array<SymbolPoint, 4> PointsOf(const PointF corners[4])
{
    std::array<SymbolPoint, 4> points{};
    for (size_t k = 0; k < points.size(); ++k) {
        points[k] = SymbolPoint{Nearest(corners[k].x), Nearest(corners[k].y)};
    }
    return points;
}

// The symbol's value type; may throw std::bad_alloc.
Decoded LiftSymbol(const FoundSymbol& symbol, uint32_t pictureHeight)
{
    Decoded decoded;
    decoded.error = DecodeErrorKind::kNone;
    decoded.bytes.assign(symbol.data, symbol.data + symbol.length);
    decoded.side = symbol.side;
    decoded.startMode = symbol.startMode;
    decoded.correctedCount = symbol.correctedCount;
    decoded.corners = PointsOf(symbol.corners);
    decoded.pictureHeight = pictureHeight;
    const SymbolContent& content = symbol.content;
    decoded.symbologyIdentifier = SymbologyIdentifierOf(content);
    if (content.fnc1 == Fnc1Flag::kGs1) {
        FormatGs1ElementString(symbol.data, static_cast<size_t>(symbol.length), decoded.gs1);
    }
    const int32_t kept =
        content.eciCount < kMaxKeptEciDesignators ? content.eciCount : kMaxKeptEciDesignators;
    decoded.eci.assign(content.eci, content.eci + kept);
    if (content.structuredAppend) {
        decoded.structuredAppend =
            StructuredAppend{content.appendPosition, content.appendTotal, content.appendFileId};
    }
    decoded.readerProgramming = content.readerProgramming;
    return decoded;
}

DecodeErrorKind KindOf(SweepEnd end)
{
    switch (end) {
    case SweepEnd::kFound:
        return DecodeErrorKind::kNone;
    case SweepEnd::kOutOfMemory:
        return DecodeErrorKind::kOutOfMemory;
    case SweepEnd::kTimedOut:
        return DecodeErrorKind::kTimedOut;
    default:
        return DecodeErrorKind::kNothingFound;
    }
}

DecodeOptions CallOptions(const Options& options)
{
    DecodeOptions call{};
    call.timeBudgetMs = options.timeBudgetMs;
    call.darkOnLightOnly = options.inverted ? 0 : 1;
    return call;
}

// Runs a loader on a fresh context and sweeps the picture for up to maxSymbols symbols (0: as
// many as a sweep takes). `failure`, when given, gets the loaded picture's height and, when nothing
// decoded, the corners of the last candidate that reached error correction.
template <typename Loader>
DecodedAll SweepWith(Loader load, const Options& options, uint32_t maxSymbols, Decoded* failure)
{
    DecodedAll all;
    const DecodeOptions call = CallOptions(options);
    DecoderContext* context = PrepareContext(&call);
    if (context == nullptr) {
        all.error = DecodeErrorKind::kOutOfMemory;
        return all;
    }
    const GrayLoad loaded = load(context->image);
    if (loaded != GrayLoad::kLoaded) {
        all.error = loaded == GrayLoad::kOutOfMemory ? DecodeErrorKind::kOutOfMemory
                                                     : DecodeErrorKind::kImageNotLoaded;
        DestroyDecoderContext(&context);
        return all;
    }
    const uint32_t height = context->image.height;
    FoundSymbols found{};
    all.error = KindOf(SweepSymbols(*context, maxSymbols, found));
    if (failure != nullptr) {
        failure->pictureHeight = height;
        if (found.count == 0) {
            failure->corners = PointsOf(context->corners);
        }
    }
    FreeGrayImage(context->image);
    DestroyDecoderContext(&context);
    try {
        all.symbols.reserve(static_cast<size_t>(found.count));
        for (int32_t i = 0; i < found.count; ++i) {
            all.symbols.push_back(LiftSymbol(found.items[i], height));
        }
    } catch (...) {
        all.symbols.clear();
        all.error = DecodeErrorKind::kOutOfMemory;
    }
    FreeFoundSymbols(found);
    return all;
}

template <typename Loader> Decoded DecodeFirstWith(Loader load, const Options& options) noexcept
{
    Decoded failed;
    DecodedAll all = SweepWith(load, options, 1, &failed);
    if (!all.symbols.empty()) {
        return std::move(all.symbols.front());
    }
    failed.error = all.error;
    return failed;
}

template <typename Loader> DecodedAll DecodeAllWith(Loader load, const Options& options) noexcept
{
    return SweepWith(load, options, options.maxSymbols, nullptr);
}

GrayLoad AsGrayLoad(int loaded)
{
    return loaded == 1 ? GrayLoad::kLoaded : GrayLoad::kRefused;
}

auto MemoryLoader(const uint8_t* bytes, size_t length)
{
    const PictureFormat format = FormatFromContent(bytes, length);
    return [=](GrayImage& image) {
        return format == PictureFormat::kUnknown
                   ? GrayLoad::kRefused
                   : AsGrayLoad(LoadPictureMemory(image, bytes, length, format));
    };
}

auto PathLoader(const std::string& path)
{
    const PictureFormat format = FormatOfFile(path.c_str());
    return [=, &path](GrayImage& image) {
        return format == PictureFormat::kUnknown ? GrayLoad::kRefused
                                                 : AsGrayLoad(LoadPictureFile(image, path.c_str(), format));
    };
}

auto GrayLoader(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride, RowOrder order)
{
    return [=](GrayImage& image) {
        return LoadGrayPixels(image, pixels, width, height, stride, order == RowOrder::kBottomFirst);
    };
}

} // namespace

Decoded DecodeMemory(const uint8_t* bytes, size_t length, const Options& options) noexcept
{
    return DecodeFirstWith(MemoryLoader(bytes, length), options);
}

Decoded DecodePath(const std::string& path, const Options& options) noexcept
{
    return DecodeFirstWith(PathLoader(path), options);
}

Decoded DecodeGray(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride, RowOrder order,
                   const Options& options) noexcept
{
    return DecodeFirstWith(GrayLoader(pixels, width, height, stride, order), options);
}

DecodedAll DecodeAllMemory(const uint8_t* bytes, size_t length, const Options& options) noexcept
{
    return DecodeAllWith(MemoryLoader(bytes, length), options);
}

DecodedAll DecodeAllPath(const std::string& path, const Options& options) noexcept
{
    return DecodeAllWith(PathLoader(path), options);
}

DecodedAll DecodeAllGray(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                         RowOrder order, const Options& options) noexcept
{
    return DecodeAllWith(GrayLoader(pixels, width, height, stride, order), options);
}

} // namespace norvale
