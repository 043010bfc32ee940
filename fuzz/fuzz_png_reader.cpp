// Fuzz target: the PNG reader through a file.
#include "fuzz_file_readers.h"
#include "image/png_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzFileReader(data, size, ".png", norvale::LoadPngFromFile);
    return 0;
}
