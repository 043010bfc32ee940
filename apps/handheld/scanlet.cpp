// Scanlet, the handheld front end: decodes a BMP file by path with the BMP-only library build.
#include <cstdio>
#include <cstring>

#include "apps/console_dialog.h"
#include "norvale/datamatrix.h"

namespace {

using namespace norvale::app;

constexpr int32_t kTextBufferSize = 100;

const char* const kUsage =
    "usage: scanlet FILE.bmp\n"
    "Decodes the Data Matrix symbol in a BMP file and prints its text (at most 99 bytes).\n";

int LoadImageFile(const char* path)
{
    if (!CanOpenForReading(path)) {
        return kExitOpenFailed;
    }
    char text[kTextBufferSize] = {};
    if (DecodeImage(path, kTextBufferSize, text) > 0) {
        ShowText(text);
        return kExitDecoded;
    }
    ShowMessage(kDecodeFailure);
    return kExitDecodeFailed;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return kExitDecoded;
    }
    if (argc == 2 && argv[1][0] != '-') {
        return LoadImageFile(argv[1]);
    }
    std::fputs(kUsage, stderr);
    return kExitOpenFailed;
}
