// Stages not built yet: each entry point fails until its own code replaces it here.
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
#include "decoder/location/line_probe.h"
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

// --- location ---
int32_t ProbeScanLine(DecoderContext&, int, int, int, int) { return 0; }
int32_t ProbeAndDecodeLine(DecoderContext& context, int, int) { return context.symbolCount; }

// --- grid ---
int WalkTopBorder(SymbolRecord&, DecoderContext&) { return 0; }
int WalkRightBorder(SymbolRecord&, DecoderContext&) { return 0; }
WalkStats LastTopWalkStats() { return WalkStats{}; }

// --- codewords ---
const SymbolSize kSymbolSizeTable[kSymbolSizeCount] = {};
int FindSymbolSizeIndex(int) { return -1; }
int EstimateSymbolSize(const SymbolRecord&, int) { return 0; }
int SelectSizeAndSample(SymbolRecord&, DecoderContext&) { return 0; }
int32_t PlaceCodewords(SymbolRecord&) { return 0; }
int CorrectCodewords(SymbolRecord&) { return 0; }
void DecodeDataCodewords(SymbolRecord&) {}
uint8_t Unrandomize255(uint8_t codeword, int) { return codeword; }

}  // namespace norvale
