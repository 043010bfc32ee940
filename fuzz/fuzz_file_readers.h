// Shared by the PNG and JPEG fuzz targets: each input is read twice, from a private temporary
// file by the path reader and from memory by the buffer reader.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/gray_image.h"

namespace fuzz {

// Touches every pixel of a loaded picture, so that a plane shorter than claimed shows up.
inline void CheckLoaded(int loaded, norvale::GrayImage& image)
{
    if (loaded != 1) {
        if (image.source != nullptr) {
            __builtin_trap(); // a failed read left a plane behind
        }
        return;
    }
    unsigned sum = 0;
    for (size_t i = 0; i < size_t{image.width} * image.height; ++i) {
        sum += image.source[i];
    }
    static volatile unsigned sink;
    sink = sum;
    norvale::FreeGrayImage(image);
}

template <typename FileReader, typename MemoryReader>
void FuzzReaders(const uint8_t* data, size_t size, const char* suffix, FileReader fileReader,
                 MemoryReader memoryReader)
{
    static const std::string path = "/tmp/norvale-fuzz-" + std::to_string(getpid()) + suffix;
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
        norvale::GrayImage image{};
        norvale::InitGrayImage(image);
        CheckLoaded(fileReader(image, path.c_str()), image);
        std::remove(path.c_str());
    }
    norvale::GrayImage image{};
    norvale::InitGrayImage(image);
    CheckLoaded(memoryReader(image, data, size), image);
}

} // namespace fuzz
