// Shared by the file-reader fuzz targets: the input goes to a private temporary file first.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdint>
#include <string>

#include "image/gray_image.h"

template <typename Reader>
void FuzzFileReader(const uint8_t* data, size_t size, const char* suffix, Reader reader)
{
    std::string path = "/tmp/norvale-fuzz-" + std::to_string(getpid()) + suffix;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    norvale::GrayImage image{};
    norvale::InitGrayImage(image);
    if (reader(image, path.c_str()) == 1) {
        // Touch every pixel so that a plane shorter than claimed shows up.
        unsigned sum = 0;
        for (size_t i = 0; i < size_t{image.width} * image.height; ++i) {
            sum += image.source[i];
        }
        (void)sum;
    }
    norvale::FreeGrayImage(image);
    std::remove(path.c_str());
}
