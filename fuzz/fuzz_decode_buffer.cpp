// Fuzz target: the memory entry on arbitrary bytes (BMP reader and the whole search behind it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "norvale/datamatrix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char text[100];
    DecodeImage1(data, static_cast<uint32_t>(size), sizeof text, text);
    ImageBuffer request{data, static_cast<uint32_t>(size)};
    DecodeResult result{};
    DecodeBuffer(&request, &result);
    std::free(result.data);
    return 0;
}
