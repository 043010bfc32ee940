/* NorvaleDataMatrix: reads square Data Matrix (ECC 200, 10x10 to 144x144) symbols from pictures.
 *
 * Ownership: the caller owns every buffer it passes in, and the library keeps no pointer to one
 * after the call returns. DecodeResult.data is allocated by the library and released by the
 * caller with free().
 *
 * Every entry runs on the caller's thread, builds its own working context and frees it before
 * returning: a call's result depends only on its arguments, never on earlier calls, and calls on
 * different threads do not interfere. Nothing is printed.
 *
 * Pictures the readers take:
 * - at most 2^26 (67,108,864) pixels, whatever the format; larger ones are refused unread;
 * - BMP: the 40-byte info header (or a longer one read as that), uncompressed, 1, 4 or 8 bits
 *   per pixel with a palette, or 16 (5-5-5) or 24 bits; rows stored bottom first (a negative
 *   height, meaning top first, is refused), as are compressed and 32-bit files;
 * - PNG: every colour type and bit depth, interlaced or not; transparency is ignored;
 * - JPEG: baseline and progressive three-component (YCbCr or RGB) files; grey (one-component),
 *   CMYK and YCCK files are refused;
 * - grey pixels of the caller (DecodeGrayPixels): any width and height with width x height
 *   within the limit above, any stride of at least the width, either row order.
 * Colour is read as grey with the weights 0.299 R + 0.587 G + 0.114 B.
 */
#ifndef NORVALE_DATAMATRIX_H
#define NORVALE_DATAMATRIX_H

#include <stdint.h>

#include "norvale/export.h"
#include "norvale/version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Mode of the first data codeword, reported in DecodeResult.startMode. Any first codeword that
 * is not one of the latches or the upper shift below reports kStartModeAscii. */
enum StartMode {
    kStartModeAscii = 224,
    kStartModeC40 = 230,
    kStartModeBase256 = 231,
    kStartModeUpperShift = 235,
    kStartModeX12 = 238,
    kStartModeText = 239,
    kStartModeEdifact = 240
};

/* DecodeResult.errorCode values. */
enum DecodeError {
    kDecodeOk = 0,
    kDecodeImageNotLoaded = 1, /* unreadable picture, unknown format, bad request */
    kDecodeNothingFound = 2,   /* the picture loaded, but no symbol decoded */
    kDecodeOutOfMemory = 3,    /* an allocation failed */
    kDecodeTimedOut = 4        /* the time budget ran out before a symbol decoded */
};

/* Request of DecodeBuffer: the bytes of a whole BMP file held by the caller. */
typedef struct ImageBuffer
{
    const uint8_t* bytes;
    uint32_t length;
} ImageBuffer;

/* Result of the buffer and grey entries. Every field is written by every call that is given a
 * result, whatever happens:
 * - data: a heap copy of exactly length decoded bytes followed by one NUL (free() it), or null;
 * - length: the number of decoded bytes, 0 on failure;
 * - startMode, side (modules per side), correctedCount (Reed-Solomon corrections): 0 on failure;
 * - errorCode: a DecodeError; reserved: 0;
 * - the corners: corner 0 is the finder vertex, 1 the far end of the frame's y leg, 2 the far end
 *   of its x leg and 3 the opposite corner, in image pixels with row 0 at the bottom of the
 *   picture; when nothing was decoded they are those of the last candidate that reached error
 *   correction, or all 0. */
typedef struct DecodeResult
{
    uint8_t* data;
    int32_t length;
    int32_t reserved;
    uint32_t startMode;
    uint32_t side;
    int32_t correctedCount;
    int32_t errorCode;
    int32_t cornerX[4];
    int32_t cornerY[4];
} DecodeResult;

/* Row order of a caller's grey pixels. */
enum GrayRowOrder { kGrayTopRowFirst = 0, kGrayBottomRowFirst = 1 };

/* Request of DecodeGrayPixels: 8-bit grey pixels (0 black, 255 white) held by the caller. stride
 * is the distance in bytes between the starts of two rows, at least width; the buffer holds
 * (height - 1) * stride + width bytes. rowOrder is a GrayRowOrder. */
typedef struct GrayPixels
{
    const uint8_t* pixels;
    uint32_t width;
    uint32_t height;
    uint32_t stride;
    int32_t rowOrder;
} GrayPixels;

/* Options of the ...All entries. A zero-filled DecodeOptions (or a null pointer) gives the
 * defaults: as many symbols as the results hold, no time budget, light-on-dark symbols looked for
 * as well as dark-on-light ones. */
typedef struct DecodeOptions
{
    uint32_t maxSymbols;     /* most symbols to return; 0: as many as the results hold */
    uint32_t timeBudgetMs;   /* the call returns what it has after about this long; 0: no budget */
    int32_t darkOnLightOnly; /* nonzero: light-on-dark symbols are not looked for */
} DecodeOptions;

/* Longest decoded text, in bytes, that a symbol can hold: a 144x144 symbol whose first codeword
 * is a macro (7 header and 2 trailer bytes) and whose 1557 other data codewords are digit pairs. */
#define NORVALE_MAX_DECODED_BYTES 3123

/* Decodes the first symbol found in the image file at path (a NUL-terminated name ending in
 * ".bmp", ".BMP", ".png", ".PNG", ".jpg", ".JPG" or "jpeg"; endings are case-sensitive).
 * Copies min(n, capacity - 1) decoded bytes into out followed by a NUL, where n is the decoded
 * length, and returns min(n, capacity). Returns 0 and leaves out untouched when nothing was
 * decoded, the file could not be read, or capacity is below 1. */
NORVALE_API int32_t DecodeImage(const char* path, int32_t capacity, char* out);

/* The same for a BMP file held in memory (buffer, length bytes). The buffer is only read.
 * Not present in the BMP-only handheld build. */
NORVALE_API int32_t DecodeImage1(const uint8_t* buffer, uint32_t length, int32_t capacity, char* out);

/* Decodes the BMP file image of request into result (see DecodeResult for what is written).
 * Returns 1 when a symbol was decoded, else 0; a null request reads as a picture that is not
 * loaded, and a null result makes the call do nothing. Not present in the handheld build. */
NORVALE_API int32_t DecodeBuffer(const ImageBuffer* request, DecodeResult* result);

/* The library's version, "MAJOR.MINOR.PATCH" (a static string: do not free it). It equals
 * NORVALE_VERSION_STRING of the headers the library was built with, so a program can check at
 * run time that it was compiled against the headers of the library it loaded. */
NORVALE_API const char* NorvaleVersion(void);

/* The same for a caller's grey pixels. Refused as not loaded: null pixels, a zero width or
 * height, a stride below the width, an unknown row order, more pixels than the limit. */
NORVALE_API int32_t DecodeGrayPixels(const GrayPixels* request, DecodeResult* result);

/* Every distinct symbol in the picture: writes up to min(capacity, options->maxSymbols) results,
 * one per symbol in the order found, and returns how many. When it returns 0 and capacity is at
 * least 1, results[0] says why (errorCode, and the corners as DecodeBuffer reports them). Every
 * result written must have its data freed. A null options pointer gives the defaults. */
NORVALE_API int32_t DecodeBufferAll(const ImageBuffer* request, const DecodeOptions* options,
                                    DecodeResult* results, int32_t capacity);
NORVALE_API int32_t DecodeGrayPixelsAll(const GrayPixels* request, const DecodeOptions* options,
                                        DecodeResult* results, int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif
