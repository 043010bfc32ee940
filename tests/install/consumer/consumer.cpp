// Prints the decoded text of the picture named on the command line (C++ API).
#include <cstdio>

#include <norvale/datamatrix.hpp>

int main(int argc, char** argv)
{
    if (argc != 2) {
        return 1;
    }
    const norvale::Decoded decoded = norvale::DecodePath(argv[1]);
    if (!decoded.ok()) {
        return 1;
    }
    std::printf("%s\n", decoded.text().c_str());
    return 0;
}
