#include "test_support.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace norvale::test {

std::string TestDataPath(const std::string& relative)
{
    return std::string(NORVALE_TEST_DATA_DIR) + "/" + relative;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ScratchDir()
{
    return ::testing::TempDir() + "norvale-" + std::to_string(getpid()) + "-";
}

bool LoadTestPicture(GrayImage& image, const std::string& path)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    const uint32_t width = png.width;
    const uint32_t height = png.height;
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
    if (plane == nullptr) {
        return false;
    }
    for (uint32_t row = 0; row < height; ++row) {
        const png_byte* src = rgb.data() + size_t{height - 1 - row} * width * 3;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
            plane[size_t{row} * width + x] = GrayFromRgb(r, g, b);
        }
    }
    image = GrayImage{};
    image.scale = 1;
    image.width = width;
    image.height = height;
    image.source = plane;
    image.current = plane;
    return true;
}

void FreeTestPicture(GrayImage& image)
{
    std::free(image.source);
    std::free(image.median);
    image = GrayImage{};
}

void ContextDeleter::operator()(DecoderContext* context) const
{
    FreeGrayImage(context->image);
    DestroyDecoderContext(&context);
}

ContextPtr MakeTestContext()
{
    DecoderContext* context = CreateDecoderContext();
    if (context != nullptr) {
        context->flags = kFlagStopAtFirst;
        InitGrayImage(context->image);
        ResetDecoderContext(*context);
    }
    return ContextPtr(context);
}

GrayImage MakeImage(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels)
{
    GrayImage image{};
    InitGrayImage(image);
    auto* plane = static_cast<uint8_t*>(std::malloc(std::max<size_t>(pixels.size(), 1)));
    if (!pixels.empty()) {
        std::memcpy(plane, pixels.data(), pixels.size());
    }
    AdoptSourcePlane(image, plane, width, height);
    return image;
}

std::vector<uint8_t> Plane(const GrayImage& image, const uint8_t* plane)
{
    return std::vector<uint8_t>(plane, plane + size_t{image.width} * image.height);
}

std::vector<uint8_t> Pattern(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> pixels(size_t{width} * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>((i * 73 + (i / width) * 29) % 256);
    }
    return pixels;
}

DarkBox FindDarkBox(const GrayImage& image)
{
    DarkBox box{static_cast<int32_t>(image.width), static_cast<int32_t>(image.height), -1, -1};
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            if (image.source[size_t{y} * image.width + x] < 128) {
                box.minX = std::min(box.minX, static_cast<int32_t>(x));
                box.maxX = std::max(box.maxX, static_cast<int32_t>(x));
                box.minY = std::min(box.minY, static_cast<int32_t>(y));
                box.maxY = std::max(box.maxY, static_cast<int32_t>(y));
            }
        }
    }
    return box;
}

} // namespace norvale::test
