// C++ API: loads the picture by content or from a caller's grey buffer, then runs the same
// search, retry and extraction as the C memory entry.
#include "norvale/datamatrix.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "decoder/decoder_context.h"
#include "decoder/entries.h"
#include "image/gray_image.h"
#include "image/picture_reader.h"

namespace norvale {

namespace {

// Runs a loader on a fresh context and decodes what it loaded.
template <typename Loader> Decoded DecodeWith(Loader load) noexcept
{
    Decoded decoded;
    DecoderContext* context = CreateDecoderContext();
    if (context == nullptr) {
        return decoded;
    }
    context->flags = kFlagStopAtFirst;
    InitGrayImage(context->image);
    ResetDecoderContext(*context);
    if (load(context->image) != 1) {
        DestroyDecoderContext(&context);
        return decoded;
    }
    decoded.pictureHeight = context->image.height;
    DecodeResult result{};
    const int32_t ok = DecodeToResult(*context, result);
    FreeGrayImage(context->image);
    DestroyDecoderContext(&context);

    decoded.error = ok == 1 ? DecodeErrorKind::kNone : DecodeErrorKind::kNothingFound;
    for (int k = 0; k < 4; ++k) {
        decoded.corners[k] = SymbolPoint{result.cornerX[k], result.cornerY[k]};
    }
    if (ok == 1) {
        try {
            decoded.bytes.assign(result.data, result.data + result.length);
        } catch (const std::bad_alloc&) {
            decoded.error = DecodeErrorKind::kNothingFound;
        }
        decoded.side = result.side;
        decoded.startMode = result.startMode;
        decoded.correctedCount = result.correctedCount;
    }
    std::free(result.data);
    return decoded;
}

} // namespace

Decoded DecodeMemory(const uint8_t* bytes, size_t length) noexcept
{
    const PictureFormat format = FormatFromContent(bytes, length);
    if (format == PictureFormat::kUnknown) {
        return Decoded{};
    }
    return DecodeWith([&](GrayImage& image) { return LoadPictureMemory(image, bytes, length, format); });
}

Decoded DecodePath(const std::string& path) noexcept
{
    const PictureFormat format = FormatOfFile(path.c_str());
    if (format == PictureFormat::kUnknown) {
        return Decoded{};
    }
    return DecodeWith([&](GrayImage& image) { return LoadPictureFile(image, path.c_str(), format); });
}

Decoded DecodeGray(const uint8_t* pixels, uint32_t width, uint32_t height, size_t stride,
                   RowOrder order) noexcept
{
    if (pixels == nullptr || width == 0 || height == 0 || stride < width ||
        uint64_t{width} * height > kMaxPicturePixels) {
        return Decoded{};
    }
    return DecodeWith([&](GrayImage& image) {
        auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
        if (plane == nullptr) {
            return 0;
        }
        // The decoder stores the picture's bottom row first.
        for (uint32_t row = 0; row < height; ++row) {
            const uint32_t sourceRow = order == RowOrder::kBottomFirst ? row : height - 1 - row;
            std::memcpy(plane + size_t{row} * width, pixels + sourceRow * stride, width);
        }
        AdoptSourcePlane(image, plane, width, height);
        return 1;
    });
}

} // namespace norvale
