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
int FindRegionBorders(SymbolRecord&, DecoderContext&) { return 0; }

// --- codewords ---
// Temporary copy of the size table (side, region side, regions, blocks, data, ecc, max erasures)
// until the table file replaces it.
const SymbolSize kSymbolSizeTable[kSymbolSizeCount] = {
    {10, 8, 1, 1, 3, 5, 0},         {12, 10, 1, 1, 5, 7, 0},        {14, 12, 1, 1, 8, 10, 7},
    {16, 14, 1, 1, 12, 12, 9},      {18, 16, 1, 1, 18, 14, 11},     {20, 18, 1, 1, 22, 18, 15},
    {22, 20, 1, 1, 30, 20, 17},     {24, 22, 1, 1, 36, 24, 21},     {26, 24, 1, 1, 44, 28, 25},
    {32, 14, 4, 1, 62, 36, 33},     {36, 16, 4, 1, 86, 42, 39},     {40, 18, 4, 1, 114, 48, 45},
    {44, 20, 4, 1, 144, 56, 53},    {48, 22, 4, 1, 174, 68, 65},    {52, 24, 4, 2, 204, 84, 78},
    {64, 14, 16, 2, 280, 112, 106}, {72, 16, 16, 4, 368, 144, 132}, {80, 18, 16, 4, 456, 192, 180},
    {88, 20, 16, 4, 576, 224, 212}, {96, 22, 16, 4, 696, 272, 260}, {104, 24, 16, 6, 816, 336, 318},
    {120, 18, 36, 6, 1050, 408, 390}, {132, 20, 36, 8, 1304, 496, 472}, {144, 22, 36, 10, 1558, 620, 590},
};
int FindSymbolSizeIndex(int side)
{
    for (int i = 0; i < kSymbolSizeCount; ++i) {
        if (kSymbolSizeTable[i].side == side) {
            return i;
        }
    }
    return -1;
}
int32_t PlaceCodewords(SymbolRecord&) { return 0; }
int CorrectCodewords(SymbolRecord&) { return 0; }
void DecodeDataCodewords(SymbolRecord&) {}
uint8_t Unrandomize255(uint8_t codeword, int) { return codeword; }

}  // namespace norvale

namespace norvale {

int LoadPngFromMemory(GrayImage&, const uint8_t*, size_t) { return 0; }
int LoadJpegFromMemory(GrayImage&, const uint8_t*, size_t) { return 0; }

}  // namespace norvale
