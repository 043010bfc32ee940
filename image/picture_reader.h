// Picture readers: which reader takes a picture, chosen by its file name (the C entries) or by
// its first bytes (the C++ API), and the load with that reader. The one place that chooses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/gray_image.h"

namespace norvale {

enum class PictureFormat {
    kUnknown,
    kBmp,
    kPng,
    kJpeg,
};

// By the last four characters of the path, compared case-sensitively: ".bmp" or ".BMP", ".png"
// or ".PNG", ".jpg", ".JPG" or "jpeg". Paths shorter than five characters are kUnknown.
PictureFormat FormatFromName(const char* path);
// By the first bytes: "BM", the PNG signature, or a JPEG start of image and marker.
PictureFormat FormatFromContent(const uint8_t* bytes, size_t length);
// The format of the file at path by its first bytes; kUnknown when it cannot be read.
PictureFormat FormatOfFile(const char* path);

// Loads the picture with the reader of `format`. 0 for kUnknown and for the PNG and JPEG readers
// in the BMP-only build, and whenever the reader refuses the picture.
int LoadPictureFile(GrayImage& image, const char* path, PictureFormat format);
int LoadPictureMemory(GrayImage& image, const uint8_t* bytes, size_t length, PictureFormat format);

} // namespace norvale
