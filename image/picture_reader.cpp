// Picture readers: format choice by name or by content, and the load with the chosen reader.
#include "image/picture_reader.h"

#include <cstdio>
#include <cstring>

#include "image/bmp_reader.h"
#ifndef NORVALE_BMP_ONLY
#include "image/jpeg_reader.h"
#include "image/png_reader.h"
#endif

namespace norvale {

namespace {

constexpr size_t kEndingLength = 4;
constexpr size_t kMinimumPathLength = kEndingLength + 1;
constexpr size_t kSignatureBytes = 8;
constexpr uint8_t kPngSignature[kSignatureBytes] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

bool Ends(const char* ending, const char* lower, const char* upper)
{
    return std::strcmp(ending, lower) == 0 || std::strcmp(ending, upper) == 0;
}

} // namespace

PictureFormat FormatFromName(const char* path)
{
    if (path == nullptr) {
        return PictureFormat::kUnknown;
    }
    const size_t length = std::strlen(path);
    if (length < kMinimumPathLength) {
        return PictureFormat::kUnknown;
    }
    const char* ending = path + length - kEndingLength;
    if (Ends(ending, ".bmp", ".BMP")) {
        return PictureFormat::kBmp;
    }
    if (Ends(ending, ".png", ".PNG")) {
        return PictureFormat::kPng;
    }
    if (Ends(ending, ".jpg", ".JPG") || std::strcmp(ending, "jpeg") == 0) {
        return PictureFormat::kJpeg;
    }
    return PictureFormat::kUnknown;
}

PictureFormat FormatFromContent(const uint8_t* bytes, size_t length)
{
    if (bytes == nullptr) {
        return PictureFormat::kUnknown;
    }
    if (length >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        return PictureFormat::kBmp;
    }
    if (length >= kSignatureBytes && std::memcmp(bytes, kPngSignature, kSignatureBytes) == 0) {
        return PictureFormat::kPng;
    }
    if (length >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        return PictureFormat::kJpeg;
    }
    return PictureFormat::kUnknown;
}

PictureFormat FormatOfFile(const char* path)
{
    std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        return PictureFormat::kUnknown;
    }
    uint8_t head[kSignatureBytes] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return FormatFromContent(head, got);
}

int LoadPictureFile(GrayImage& image, const char* path, PictureFormat format)
{
    switch (format) {
    case PictureFormat::kBmp:
        return LoadBmpFromFile(image, path);
#ifndef NORVALE_BMP_ONLY
    case PictureFormat::kPng:
        return LoadPngFromFile(image, path);
    case PictureFormat::kJpeg:
        return LoadJpegFromFile(image, path);
#endif
    default:
        return 0;
    }
}

int LoadPictureMemory(GrayImage& image, const uint8_t* bytes, size_t length, PictureFormat format)
{
    switch (format) {
    case PictureFormat::kBmp:
        return LoadBmpFromMemory(image, bytes, length);
#ifndef NORVALE_BMP_ONLY
    case PictureFormat::kPng:
        return LoadPngFromMemory(image, bytes, length);
    case PictureFormat::kJpeg:
        return LoadJpegFromMemory(image, bytes, length);
#endif
    default:
        return 0;
    }
}

} // namespace norvale
