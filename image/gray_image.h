// Grey picture: the one raster type of the decoder. A reader fills the source plane; the search
// reads either it or a lazily built median-filtered copy through `current`.
#pragma once

#include <cstddef>
#include <cstdint>

namespace norvale {

// Largest picture any reader accepts; checked before a plane is allocated.
constexpr uint64_t kMaxPicturePixels = uint64_t{1} << 26;

// Row 0 is the picture's bottom row: y grows upward, and pixel (x, y) is byte y * width + x of
// the current plane (0 black, 255 white). The image owns `source` and `median`; `current` is
// one of them and never owns.
struct GrayImage
{
    uint32_t scale; // step factor the edge tracer weighs its run lengths by
    uint32_t width;
    uint32_t height;
    uint8_t* current;
    uint8_t* source;
    uint8_t* median;
};

void InitGrayImage(GrayImage& image);
void FreeGrayImage(GrayImage& image);
int UseSourcePlane(GrayImage& image);
int UseFilteredPlane(GrayImage& image);
int BuildMedianPlane(GrayImage& image);

// Grey of an 8-bit colour pixel. The luma weights are scaled by 2^15 and sum to 32768, so >> 15
// divides them out and equal R, G, B come back unchanged.
constexpr uint32_t kRedWeight = 9798;
constexpr uint32_t kGreenWeight = 19235;
constexpr uint32_t kBlueWeight = 3735;
constexpr int kWeightShift = 15;
static_assert(kRedWeight + kGreenWeight + kBlueWeight == 1u << kWeightShift, "the weights sum to one");

constexpr uint8_t GrayFromRgb(uint32_t red, uint32_t green, uint32_t blue)
{
    return static_cast<uint8_t>((red * kRedWeight + green * kGreenWeight + blue * kBlueWeight) >>
                                kWeightShift);
}

// Grey values of `width` RGB pixels (three bytes each, red first).
void GreyFromRgbRow(const uint8_t* rgb, uint8_t* out, size_t width);

// Hands a freshly read plane to the image: source = current = plane, scale 1. Takes ownership.
void AdoptSourcePlane(GrayImage& image, uint8_t* plane, uint32_t width, uint32_t height);

// Outcome of LoadGrayPixels.
enum class GrayLoad {
    kLoaded,
    kRefused,     // null pixels, zero width or height, stride below width, too many pixels
    kOutOfMemory, // the plane could not be allocated
};

// Copies a caller's 8-bit grey pixels (rows `stride` bytes apart, top row first unless
// bottomFirst) into a new source plane, bottom row first.
GrayLoad LoadGrayPixels(GrayImage& image, const uint8_t* pixels, uint32_t width, uint32_t height,
                        size_t stride, bool bottomFirst);

} // namespace norvale
