/* Smallest C use of the library: decode the symbol in one picture and print its text. */
#include <stdio.h>

#include "norvale/datamatrix.h"

int main(int argc, char** argv)
{
    char text[1000];
    if (argc != 2) {
        fprintf(stderr, "usage: %s IMAGE (.bmp, .png, .jpg)\n", argv[0]);
        return 2;
    }
    /* n > 0: text holds min(n, 999) bytes and a NUL. */
    int32_t n = DecodeImage(argv[1], (int32_t)sizeof text, text);
    if (n <= 0) {
        fprintf(stderr, "%s: no symbol decoded\n", argv[1]);
        return 1;
    }
    printf("%s\n", text);
    return 0;
}
