/* Prints the decoded text of the picture named on the command line (C API). */
#include <stdio.h>

#include <norvale/datamatrix.h>

int main(int argc, char** argv)
{
    char text[1000];
    if (argc != 2 || DecodeImage(argv[1], (int32_t)sizeof text, text) <= 0) {
        return 1;
    }
    printf("%s\n", text);
    return 0;
}
