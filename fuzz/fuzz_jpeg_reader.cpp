// Fuzz target: the JPEG reader, through a file and from memory.
#include "fuzz_file_readers.h"
#include "image/jpeg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzReaders(data, size, ".jpg", norvale::LoadJpegFromFile, norvale::LoadJpegFromMemory);
    return 0;
}
