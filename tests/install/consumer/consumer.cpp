// Prints the library's version, once it matches the headers', then the decoded text of the
// picture named on the command line (C++ API).
#include <cstdio>
#include <string>

#include <norvale/datamatrix.hpp>

int main(int argc, char** argv)
{
    const std::string headers = std::to_string(NORVALE_VERSION_MAJOR) + "." +
                                std::to_string(NORVALE_VERSION_MINOR) + "." +
                                std::to_string(NORVALE_VERSION_PATCH);
    if (headers != NorvaleVersion()) {
        std::fprintf(stderr, "library %s, headers %s\n", NorvaleVersion(), headers.c_str());
        return 2;
    }
    if (argc != 2) {
        return 1;
    }
    const norvale::Decoded decoded = norvale::DecodePath(argv[1]);
    if (!decoded.ok()) {
        return 1;
    }
    std::printf("%s\n%s\n", NorvaleVersion(), decoded.text().c_str());
    return 0;
}
