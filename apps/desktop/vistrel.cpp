// Vistrel, the desktop front end: the load button decodes an image file by path, the hidden
// button 1002 (--buffer) decodes the same file from memory.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "apps/console_dialog.h"
#include "norvale/datamatrix.h"

namespace {

using namespace norvale::app;

constexpr int32_t kPathBufferSize = 1000;
constexpr int32_t kMemoryBufferSize = 100;

const char* const kUsage =
    "usage: vistrel [--buffer] IMAGE\n"
    "Decodes the Data Matrix symbol in IMAGE (.bmp, .png, .jpg, .jpeg) and prints its text.\n"
    "  --buffer  read the whole file into memory and decode it from there (BMP only)\n";

// Load button: decode by path into a 1000-byte buffer.
int LoadImageFile(const char* path)
{
    if (!CanOpenForReading(path)) {
        return kExitOpenFailed;
    }
    char text[kPathBufferSize] = {};
    if (DecodeImage(path, kPathBufferSize, text) > 0) {
        ShowText(text);
        return kExitDecoded;
    }
    ShowMessage(kDecodeFailure);
    return kExitDecodeFailed;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// Hidden button 1002: the whole file from memory into a 100-byte buffer.
int TestMemoryBuffer(const char* path)
{
    if (!CanOpenForReading(path)) {
        return kExitOpenFailed;
    }
    std::vector<uint8_t> bytes;
    char text[kMemoryBufferSize] = {};
    if (ReadWholeFile(path, bytes) &&
        DecodeImage1(bytes.data(), static_cast<uint32_t>(bytes.size()), kMemoryBufferSize, text) > 0) {
        ShowText(text);
        return kExitDecoded;
    }
    ShowMessage(kDecodeFailure);
    return kExitDecodeFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return kExitDecoded;
    }
    if (argc == 2 && argv[1][0] != '-') {
        return LoadImageFile(argv[1]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--buffer") == 0) {
        return TestMemoryBuffer(argv[2]);
    }
    std::fputs(kUsage, stderr);
    return kExitOpenFailed;
}
