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

namespace norvale {

// --- location ---
int32_t ProbeScanLine(DecoderContext&, int, int, int, int) { return 0; }
int32_t ProbeAndDecodeLine(DecoderContext& context, int, int) { return context.symbolCount; }

// --- grid ---
int WalkTopBorder(SymbolRecord&, DecoderContext&) { return 0; }
int WalkRightBorder(SymbolRecord&, DecoderContext&) { return 0; }
WalkStats LastTopWalkStats() { return WalkStats{}; }
int FindRegionBorders(SymbolRecord&, DecoderContext&) { return 0; }

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
