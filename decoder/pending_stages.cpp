// Stages not built yet: each entry point fails until its own code replaces it here.
#include <cmath>

#include "decoder/codewords/codeword_placement.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/codewords/module_sampling.h"
#include "decoder/codewords/reed_solomon.h"
#include "decoder/codewords/symbol_sizes.h"
#include "decoder/decoder_context.h"
#include "decoder/grid/border_walk.h"
#include "decoder/grid/region_border_scan.h"
#include "decoder/grid/symbol_frame.h"
#include "decoder/grid/transform2d.h"
#include "decoder/location/image_sampling.h"
#include "decoder/location/line_geometry.h"
#include "decoder/search_driver.h"
#include "image/bmp_reader.h"
#include "image/gray_image.h"
#include "image/jpeg_reader.h"
#include "image/png_reader.h"

namespace norvale {

// --- image (gray_image, bmp_reader; png/jpeg readers live in their own files) ---
void InitGrayImage(GrayImage& image) { image.width = image.height = 0; image.current = nullptr; image.scale = 1; }
void FreeGrayImage(GrayImage&) {}
int UseSourcePlane(GrayImage&) { return 0; }
int UseFilteredPlane(GrayImage&) { return 0; }
int BuildMedianPlane(GrayImage&) { return 0; }
int MagnifyRegion(GrayImage&, float, int32_t, int32_t, int32_t) { return 0; }
int StretchContrast(GrayImage&, float, float, int32_t, float, float, float) { return 0; }
void AdoptSourcePlane(GrayImage&, uint8_t*, uint32_t, uint32_t) {}
int LoadBmpFromFile(GrayImage&, const char*) { return 0; }
int LoadBmpFromMemory(GrayImage&, const uint8_t*, size_t) { return 0; }


// --- grid ---
int FindRegionBorders(SymbolRecord&, DecoderContext&) { return 0; }

// --- codewords ---

}  // namespace norvale

namespace norvale {

int LoadPngFromMemory(GrayImage&, const uint8_t*, size_t) { return 0; }
int LoadJpegFromMemory(GrayImage&, const uint8_t*, size_t) { return 0; }

}  // namespace norvale
