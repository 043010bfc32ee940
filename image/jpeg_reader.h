// JPEG reader (libjpeg): three-component JPEG files to the grey picture, bottom row first.
#pragma once

#include "image/gray_image.h"

namespace norvale {

int LoadJpegFromFile(GrayImage& image, const char* path);

}  // namespace norvale
