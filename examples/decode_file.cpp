// Smallest C++ use of the library: decode a picture, print the text, the size and the corners.
#include <cstdio>

#include "norvale/datamatrix.hpp"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IMAGE\n", argv[0]);
        return 2;
    }
    const norvale::Decoded result = norvale::DecodePath(argv[1]);
    if (!result.ok()) {
        std::fprintf(stderr, "%s: %s\n", argv[1],
                     result.error == norvale::DecodeErrorKind::kNothingFound ? "no symbol" : "not loaded");
        return 1;
    }
    std::printf("%s\n%ux%u modules, corners (top-down):", result.text().c_str(), result.side, result.side);
    for (const norvale::SymbolPoint& corner : result.cornersFromTop()) {
        std::printf(" (%d, %d)", corner.x, corner.y);
    }
    std::printf("\n");
    return 0;
}
