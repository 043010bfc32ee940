// PNG reader (libpng): any PNG colour type to the grey picture, bottom row first.
#pragma once

#include "image/gray_image.h"

namespace norvale {

int LoadPngFromFile(GrayImage& image, const char* path);

}  // namespace norvale
