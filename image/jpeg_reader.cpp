// JPEG reader (libjpeg-turbo): three-component JPEG files to the grey picture, bottom row first.
// libjpeg-turbo decodes a batch of rows at a time to RGB padded to four bytes a pixel, which is
// converted straight into the plane. Its fatal errors jump back to a recovery point here instead
// of ending the process.
#include "image/jpeg_reader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifndef JCS_EXTENSIONS
#error "the JPEG reader needs libjpeg-turbo's extended colour spaces (JCS_EXT_RGBX)"
#endif

namespace norvale {

namespace {

constexpr int kRgbxComponents = 4;
constexpr JDIMENSION kBatchRows = 16; // one iMCU row of a picture with chroma halved vertically
// libjpeg-turbo's SIMD colour conversion writes rows that start on a vector boundary with
// non-temporal stores, past the cache, and the grey conversion after it then waits on memory at
// every load; rows that start one pixel past the boundary are written through the cache. About a
// tenth of a large picture's reading time.
constexpr size_t kRowSkew = kRgbxComponents;

// The standard error manager with the recovery point right after it, so that error_exit can
// find the jump buffer from the error manager pointer alone.
struct JumpingErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf recovery;
};

[[noreturn]] void JumpOnError(j_common_ptr info)
{
    auto* manager = reinterpret_cast<JumpingErrorManager*>(info->err);
    std::longjmp(manager->recovery, 1);
}

// The library prints nothing: warnings and trace messages are dropped.
void IgnoreMessage(j_common_ptr) {}

// Everything one read holds, kept outside the function with the recovery point so that its
// fields survive the long jump.
struct JpegRead
{
    std::FILE* file;
    jpeg_decompress_struct decompressor;
    JumpingErrorManager errors;
    uint8_t* plane;
    int32_t width;
    int32_t height;
    // Memory source, used instead of `file` when the JPEG is held by the caller.
    const uint8_t* memory;
    size_t memoryLength;
};

#if defined(__SSE2__)
// The weighted sums of four RGBX pixels (16 bytes) as 32-bit lanes: each pixel's red and green
// weighed and added in one lane, its blue (and the ignored fourth byte, weight 0) in the next,
// then the pairs added. Products and sums stay far inside 16-bit inputs and 32-bit lanes.
__m128i WeighFourPixels(__m128i rgbx)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i weights =
        _mm_setr_epi16(kRedWeight, kGreenWeight, kBlueWeight, 0, kRedWeight, kGreenWeight, kBlueWeight, 0);
    const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi8(rgbx, zero), weights);  // p0 rg, p0 b, p1 rg, p1 b
    const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi8(rgbx, zero), weights); // p2 rg, p2 b, p3 rg, p3 b
    const __m128i lowSums = _mm_add_epi32(low, _mm_shuffle_epi32(low, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128i highSums = _mm_add_epi32(high, _mm_shuffle_epi32(high, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128 sums =
        _mm_shuffle_ps(_mm_castsi128_ps(lowSums), _mm_castsi128_ps(highSums), _MM_SHUFFLE(2, 0, 2, 0));
    return _mm_srli_epi32(_mm_castps_si128(sums), kWeightShift);
}
#endif

int DecodeJpeg(JpegRead& read)
{
    jpeg_decompress_struct& cinfo = read.decompressor;
    if (setjmp(read.errors.recovery) != 0) {
        return 0;
    }
    if (read.file != nullptr) {
        jpeg_stdio_src(&cinfo, read.file);
    } else {
        jpeg_mem_src(&cinfo, read.memory, static_cast<unsigned long>(read.memoryLength));
    }
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        return 0;
    }
    // Checked before libjpeg sizes its own buffers for the picture.
    if (uint64_t{cinfo.image_width} * cinfo.image_height > kMaxPicturePixels) {
        return 0;
    }
    // Only three-component (YCbCr or RGB) files, whose default output is RGB, are read: grey,
    // CMYK and other files are refused. The RGB comes padded to a fourth byte.
    if (cinfo.out_color_space != JCS_RGB) {
        return 0;
    }
    cinfo.out_color_space = JCS_EXT_RGBX;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != kRgbxComponents ||
        uint64_t{cinfo.output_width} * cinfo.output_height > kMaxPicturePixels) {
        return 0;
    }
    const uint32_t width = cinfo.output_width;
    const uint32_t height = cinfo.output_height;
    const size_t planeBytes = size_t{width} * height;
    read.plane = static_cast<uint8_t*>(std::malloc(planeBytes > 0 ? planeBytes : 1));
    if (read.plane == nullptr) {
        return 0;
    }
    // The batch rows start kRowSkew bytes past the boundary the memory manager aligns them to.
    JSAMPARRAY aligned = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                    width * kRgbxComponents + kRowSkew, kBatchRows);
    JSAMPROW batch[kBatchRows];
    for (JDIMENSION r = 0; r < kBatchRows; ++r) {
        batch[r] = aligned[r] + kRowSkew;
    }
    // The picture's top row comes first from the decoder and is written last: row 0 is the bottom.
    uint8_t* out = read.plane + planeBytes;
    while (cinfo.output_scanline < height) {
        const JDIMENSION rows = jpeg_read_scanlines(&cinfo, batch, kBatchRows);
        if (rows == 0) {
            return 0;
        }
        for (JDIMENSION r = 0; r < rows; ++r) {
            out -= width;
            GreyFromRgbxRow(batch[r], out, width);
        }
    }
    jpeg_finish_decompress(&cinfo);
    read.width = static_cast<int32_t>(width);
    read.height = static_cast<int32_t>(height);
    return 1;
}

// Runs one read whose source is set up (file or memory); returns the grey plane or null and
// writes width and height into size on success. `read` is heap-held so that the long jump never
// lands in a frame whose locals changed after setjmp; it is freed here.
uint8_t* FinishJpegRead(JpegRead* read, int32_t size[2])
{
    read->decompressor.err = jpeg_std_error(&read->errors.base);
    read->errors.base.error_exit = JumpOnError;
    read->errors.base.output_message = IgnoreMessage;
    volatile int decoded = 0;
    if (setjmp(read->errors.recovery) == 0) {
        jpeg_create_decompress(&read->decompressor);
        decoded = DecodeJpeg(*read);
    }
    jpeg_destroy_decompress(&read->decompressor);
    if (read->file != nullptr) {
        std::fclose(read->file);
    }
    uint8_t* plane = read->plane;
    if (decoded != 0) {
        size[0] = read->width;
        size[1] = read->height;
    } else {
        std::free(plane);
        plane = nullptr;
    }
    std::free(read);
    return plane;
}

// Grey plane of the file at path, or null; writes width and height into size on success.
uint8_t* ReadJpegFile(const char* path, int32_t size[2])
{
    auto* read = static_cast<JpegRead*>(std::calloc(1, sizeof(JpegRead)));
    if (read == nullptr) {
        return nullptr;
    }
    read->file = std::fopen(path, "rb");
    if (read->file == nullptr) {
        std::free(read);
        return nullptr;
    }
    return FinishJpegRead(read, size);
}

int AdoptPlane(GrayImage& image, uint8_t* plane, const int32_t size[2])
{
    if (plane == nullptr) {
        return 0;
    }
    AdoptSourcePlane(image, plane, static_cast<uint32_t>(size[0]), static_cast<uint32_t>(size[1]));
    return 1;
}

} // namespace

// Sixteen pixels at a time in SSE2 lanes, the rest one by one; both give GrayFromRgb's grey.
void GreyFromRgbxRow(const uint8_t* rgbx, uint8_t* out, size_t width)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= width; i += 16) {
        const auto* in = reinterpret_cast<const __m128i*>(rgbx + 4 * i);
        const __m128i first =
            _mm_packs_epi32(WeighFourPixels(_mm_loadu_si128(in)), WeighFourPixels(_mm_loadu_si128(in + 1)));
        const __m128i second = _mm_packs_epi32(WeighFourPixels(_mm_loadu_si128(in + 2)),
                                               WeighFourPixels(_mm_loadu_si128(in + 3)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(first, second));
    }
#endif
    for (; i < width; ++i) {
        out[i] = GrayFromRgb(rgbx[4 * i], rgbx[4 * i + 1], rgbx[4 * i + 2]);
    }
}

int LoadJpegFromFile(GrayImage& image, const char* path)
{
    if (path == nullptr) {
        return 0;
    }
    int32_t size[2] = {0, 0};
    return AdoptPlane(image, ReadJpegFile(path, size), size);
}

int LoadJpegFromMemory(GrayImage& image, const uint8_t* bytes, size_t length)
{
    if (bytes == nullptr || length == 0) {
        return 0;
    }
    auto* read = static_cast<JpegRead*>(std::calloc(1, sizeof(JpegRead)));
    if (read == nullptr) {
        return 0;
    }
    read->memory = bytes;
    read->memoryLength = length;
    int32_t size[2] = {0, 0};
    return AdoptPlane(image, FinishJpegRead(read, size), size);
}

} // namespace norvale
