// BMP reader: uncompressed bottom-up 1, 4, 8, 16 and 24-bit bitmaps, from a file or memory, to
// the grey picture.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/gray_image.h"

namespace norvale {

int LoadBmpFromFile(GrayImage& image, const char* path);
int LoadBmpFromMemory(GrayImage& image, const uint8_t* buffer, size_t length);

} // namespace norvale
