// Fuzz target: the memory entries on arbitrary bytes (BMP reader and the whole search behind it).
// Inputs of even length go to DecodeImage1 with a small text buffer, odd ones to DecodeBuffer:
// one full search per input keeps the runs twice as many.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "norvale/datamatrix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size % 2 == 0) {
        char text[100];
        const int32_t n = DecodeImage1(data, static_cast<uint32_t>(size), sizeof text, text);
        if (n < 0 || n > static_cast<int32_t>(sizeof text)) {
            __builtin_trap(); // the return value is min(decoded length, capacity)
        }
        return 0;
    }
    ImageBuffer request{data, static_cast<uint32_t>(size)};
    DecodeResult result{};
    const int32_t ok = DecodeBuffer(&request, &result);
    if (ok == 1 &&
        (result.data == nullptr || result.length < 0 || result.length > NORVALE_MAX_DECODED_BYTES)) {
        __builtin_trap(); // a success always hands over a buffer of a possible length
    }
    if (ok != 1 && result.data != nullptr) {
        __builtin_trap(); // a failure allocates nothing for the caller
    }
    std::free(result.data);
    return 0;
}
