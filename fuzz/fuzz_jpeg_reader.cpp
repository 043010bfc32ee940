// Fuzz target: the JPEG reader through a file.
#include "fuzz_file_readers.h"
#include "image/jpeg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzFileReader(data, size, ".jpg", norvale::LoadJpegFromFile);
    return 0;
}
