// Helpers shared by the tests: where the fixture pictures live, and a PNG loader that does not
// depend on the library's own readers (so each stage can be tested on real pictures alone).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder_context.h"
#include "image/gray_image.h"

namespace norvale::test {

// Absolute path of a file under tests/data.
std::string TestDataPath(const std::string& relative);

// The whole content of a file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// Prefix for scratch files of this test process (temporary directory, process id): test
// programs running side by side never share a scratch file.
std::string ScratchDir();

// Loads a PNG into `image` the way the readers store pictures: bottom row first, grey by the
// library's luma weights. The planes are malloc'd; release them with FreeTestPicture.
bool LoadTestPicture(GrayImage& image, const std::string& path);
void FreeTestPicture(GrayImage& image);

// A picture whose source plane holds a copy of `pixels` (row 0 first); FreeGrayImage releases it.
GrayImage MakeImage(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels);
// The bytes of one of the picture's planes.
std::vector<uint8_t> Plane(const GrayImage& image, const uint8_t* plane);
// A width x height plane of varied greys, no two neighbours alike.
std::vector<uint8_t> Pattern(uint32_t width, uint32_t height);

// The box round the source plane's dark pixels (grey below 128), both ends inclusive, in the
// plane's own rows (row 0 is the bottom of the picture). With nothing dark, max < min.
struct DarkBox
{
    int32_t minX = 0, minY = 0, maxX = -1, maxY = -1;
};
DarkBox FindDarkBox(const GrayImage& image);

// A decoder context as the entries prepare it (stop at the first symbol, image empty, reset);
// destroying it frees its picture too.
struct ContextDeleter
{
    void operator()(DecoderContext* context) const;
};
using ContextPtr = std::unique_ptr<DecoderContext, ContextDeleter>;
ContextPtr MakeTestContext();

} // namespace norvale::test
