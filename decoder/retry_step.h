// Retry step: the last look at a picture whose search decoded nothing. Each candidate remembered
// for failing size selection gets its region magnified (and stretched at low contrast) in place,
// and the column and row through its middle are probed and decoded.
#pragma once

#include <cstdint>

namespace norvale {

struct DecoderContext;
struct GrayImage;

// Text driver: magnify by 2.5 (else 1.5), stretch at low contrast, probe; stops after the first
// candidate whose region could be changed.
void RetryForText(DecoderContext& context);
// Result driver: one magnification; at low contrast the stretched picture is probed first, and
// the step goes on to the magnified probe when that fails.
void RetryForResult(DecoderContext& context);

// Replaces the square of half-side r around (cx, cy) of the current plane with the bicubic
// magnification by `factor` of its middle. 0 and the picture untouched when the square or its
// magnified copy does not fit the picture, or memory is exhausted.
int MagnifyRegion(GrayImage& image, float factor, int32_t cx, int32_t cy, int32_t r);
// Piecewise-linear stretch of the square around (cx, cy): the band between b1 and b2 gets slope
// k, the ranges below and above it share what is left of 0..255. 0 when the band cannot take it.
int StretchContrast(GrayImage& image, float cx, float cy, int32_t half, float b1, float b2, float k);

} // namespace norvale
