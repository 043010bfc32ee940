/* NorvaleDataMatrix: reads square Data Matrix (ECC 200, 10x10 to 144x144) symbols from pictures.
 *
 * Ownership: the caller owns every buffer it passes in, and the library keeps no pointer to one
 * after the call returns. DecodeResult.data is allocated by the library and released by the
 * caller with free().
 *
 * Every entry runs on the caller's thread, builds its own working context and frees it before
 * returning. Calls on different threads do not interfere. Nothing is printed.
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
enum StartMode
{
    kStartModeAscii = 224,
    kStartModeC40 = 230,
    kStartModeBase256 = 231,
    kStartModeUpperShift = 235,
    kStartModeX12 = 238,
    kStartModeText = 239,
    kStartModeEdifact = 240
};

/* DecodeResult.errorCode values. */
enum DecodeError
{
    kDecodeOk = 0,
    kDecodeImageNotLoaded = 1,
    kDecodeNothingFound = 2
};

/* Request of DecodeBuffer: the bytes of a whole BMP file held by the caller. */
typedef struct ImageBuffer
{
    const uint8_t* bytes;
    uint32_t length;
} ImageBuffer;

/* Result of the memory path. The caller sets length to 0 before the call.
 * On success: data (heap copy of exactly length decoded bytes, no terminator; free() it),
 * length, startMode, side (modules per side), correctedCount (Reed-Solomon corrections) and
 * errorCode 0 are written. On failure only errorCode is written (1 image not loaded,
 * 2 nothing decoded). reserved is always 0. The corners are written in every case: corner 0 is
 * the finder vertex, 1 the far end of the frame's y leg, 2 the far end of its x leg and 3 the
 * opposite corner, in image pixels with row 0 at the bottom of the picture; when nothing was
 * decoded they are those of the last candidate that reached error correction, or all 0. */
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

/* Longest decoded text, in bytes, that a symbol can hold (144x144, Base 256 or digit pairs). */
#define NORVALE_MAX_DECODED_BYTES 3116

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
 * Returns 1 when a symbol was decoded, else 0. Not present in the handheld build. */
NORVALE_API int32_t DecodeBuffer(const ImageBuffer* request, DecodeResult* result);

/* The library's version, "MAJOR.MINOR.PATCH" (a static string: do not free it). It equals
 * NORVALE_VERSION_STRING of the headers the library was built with, so a program can check at
 * run time that it was compiled against the headers of the library it loaded. */
NORVALE_API const char* NorvaleVersion(void);

#ifdef __cplusplus
}
#endif

#endif
