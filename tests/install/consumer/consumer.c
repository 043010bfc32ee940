/* Prints the library's version, once it matches the headers', then the decoded text of the
 * picture named on the command line (C API). */
#include <stdio.h>
#include <string.h>

#include <norvale/datamatrix.h>

int main(int argc, char** argv)
{
    char headers[32];
    char text[1000];
    snprintf(headers, sizeof headers, "%d.%d.%d", NORVALE_VERSION_MAJOR, NORVALE_VERSION_MINOR,
             NORVALE_VERSION_PATCH);
    if (strcmp(NorvaleVersion(), headers) != 0) {
        fprintf(stderr, "library %s, headers %s\n", NorvaleVersion(), headers);
        return 2;
    }
    if (argc != 2 || DecodeImage(argv[1], (int32_t)sizeof text, text) <= 0) {
        return 1;
    }
    printf("%s\n%s\n", NorvaleVersion(), text);
    return 0;
}
