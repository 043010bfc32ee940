// Fuzz target: the PNG reader, through a file and from memory.
#include "fuzz_file_readers.h"
#include "image/png_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzReaders(data, size, ".png", norvale::LoadPngFromFile, norvale::LoadPngFromMemory);
    return 0;
}
