// Direct PNG read: the chunks are checked and walked. A grey picture's image data are inflated
// whole by our own deflate decoder and unfiltered into the plane; where that decoder refuses them,
// and for an RGB picture, zlib inflates them a batch of rows at a time into a small buffer, and
// each row is unfiltered straight into the plane (an RGB row first into one of two row buffers,
// then to grey).
#include "image/png_direct.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/deflate_decoder.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

constexpr size_t kSignatureBytes = 8;
constexpr size_t kChunkOverhead = 12; // length, type and checksum
constexpr uint32_t kHeaderLength = 13;
constexpr uint32_t kMaxChunkLength = 0x7fffffffu;
// libpng's default limit on either side of a picture; larger pictures are left to it.
constexpr uint32_t kMaxSide = 1000000;
// Ancillary chunks (text, gamma, resolution, ...) up to this length are checked and skipped;
// longer ones are left to libpng and its own limits.
constexpr uint32_t kMaxSkippedChunk = 1u << 16;
// The inflated rows pass through a buffer of about this many bytes, and at least one row.
constexpr size_t kBatchBytes = size_t{1} << 16;

constexpr uint8_t kGreyType = 0;
constexpr uint8_t kRgbType = 2;
constexpr size_t kRgbChannels = 3;
// The five filter types of a row.
constexpr uint8_t kNoFilter = 0;
constexpr uint8_t kSubFilter = 1;
constexpr uint8_t kUpFilter = 2;
constexpr uint8_t kAverageFilter = 3;
constexpr uint8_t kPaethFilter = 4;

struct Chunk
{
    const uint8_t* type;
    const uint8_t* data;
    uint32_t length;
};

bool IsChunk(const Chunk& chunk, const char* type)
{
    return std::memcmp(chunk.type, type, 4) == 0;
}

bool IsLetter(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The chunk at `offset` when it lies wholly inside the file, its type is four letters and its
// checksum is right; `offset` then moves past it.
bool ReadChunk(const uint8_t* bytes, size_t length, size_t& offset, Chunk& chunk)
{
    if (length - offset < kChunkOverhead) {
        return false;
    }
    const uint32_t size = png_get_uint_32(bytes + offset);
    if (size > kMaxChunkLength || size > length - offset - kChunkOverhead) {
        return false;
    }
    const uint8_t* type = bytes + offset + 4;
    if (!IsLetter(type[0]) || !IsLetter(type[1]) || !IsLetter(type[2]) || !IsLetter(type[3])) {
        return false;
    }
    const uLong sum = crc32(crc32(0L, Z_NULL, 0), type, size + 4);
    if (sum != png_get_uint_32(type + 4 + size)) {
        return false;
    }
    chunk = Chunk{type, type + 4, size};
    offset += kChunkOverhead + size;
    return true;
}

// What the header promises, for the one layout read here.
struct Layout
{
    uint32_t width;
    uint32_t height;
    size_t channels;
    size_t samples;    // bytes of one unfiltered row
    size_t rowBytes;   // bytes of one filtered row: the filter type, then the samples
    size_t imageBytes; // bytes of all the filtered rows
};

bool ReadHeader(const Chunk& chunk, Layout& layout)
{
    if (!IsChunk(chunk, "IHDR") || chunk.length != kHeaderLength) {
        return false;
    }
    const uint8_t* d = chunk.data;
    layout.width = png_get_uint_32(d);
    layout.height = png_get_uint_32(d + 4);
    const uint8_t depth = d[8];
    const uint8_t colour = d[9];
    if (layout.width == 0 || layout.height == 0 || layout.width > kMaxSide || layout.height > kMaxSide ||
        uint64_t{layout.width} * layout.height > kMaxPicturePixels) {
        return false;
    }
    // 8-bit samples, grey or RGB, deflate, adaptive filters, no interlace.
    if (depth != 8 || (colour != kGreyType && colour != kRgbType) || d[10] != 0 || d[11] != 0 || d[12] != 0) {
        return false;
    }
    layout.channels = colour == kRgbType ? kRgbChannels : 1;
    layout.samples = size_t{layout.width} * layout.channels;
    layout.rowBytes = layout.samples + 1;
    layout.imageBytes = size_t{layout.height} * layout.rowBytes;
    return true;
}

int PaethPredictor(int left, int up, int upLeft)
{
    const int pa = std::abs(up - upLeft);
    const int pb = std::abs(left - upLeft);
    const int pc = std::abs(left + up - 2 * upLeft);
    // Both choices are made without a branch: which one wins depends on the picture.
    const int upOrUpLeft = pb <= pc ? up : upLeft;
    const int leftNearest = -static_cast<int>((pa <= pb) & (pa <= pc)); // all ones or zero
    return (left & leftNearest) | (upOrUpLeft & ~leftNearest);
}

// The filters that read the pixel to the left, for `kStep` bytes a pixel: the left and upper-left
// bytes of each channel travel in registers from one pixel to the next.
template <size_t kStep>
void UnfilterFromLeft(uint8_t type, const uint8_t* __restrict in, const uint8_t* __restrict up,
                      uint8_t* __restrict out, size_t n)
{
    int left[kStep] = {};
    int upLeft[kStep] = {};
    for (size_t i = 0; i + kStep <= n; i += kStep) {
        for (size_t c = 0; c < kStep; ++c) {
            const int above = up[i + c];
            int predicted = 0;
            if (type == kSubFilter) {
                predicted = left[c];
            } else if (type == kAverageFilter) {
                predicted = (left[c] + above) >> 1;
            } else {
                predicted = PaethPredictor(left[c], above, upLeft[c]);
            }
            left[c] = (in[i + c] + predicted) & 0xff;
            upLeft[c] = above;
            out[i + c] = static_cast<uint8_t>(left[c]);
        }
    }
}

// Reverses one row's filter into `out` from the unfiltered row above, `up` (zeros for the first
// row), with `step` (1 or 3) bytes a pixel; `n` is a whole number of pixels. False for a filter
// type beyond the five.
bool Unfilter(uint8_t type, const uint8_t* __restrict in, const uint8_t* __restrict up,
              uint8_t* __restrict out, size_t n, size_t step)
{
    switch (type) {
    case kNoFilter:
        std::memcpy(out, in, n);
        return true;
    case kUpFilter:
        for (size_t i = 0; i < n; ++i) {
            out[i] = static_cast<uint8_t>(in[i] + up[i]);
        }
        return true;
    case kSubFilter:
    case kAverageFilter:
    case kPaethFilter:
        if (step == 1) {
            UnfilterFromLeft<1>(type, in, up, out, n);
        } else {
            UnfilterFromLeft<kRgbChannels>(type, in, up, out, n);
        }
        return true;
    default:
        return false;
    }
}

// Two grey rows one after the other that both use the Paeth filter, the second one pixel behind
// the first: each pixel's chain (it needs the pixel to its left) then runs beside the other
// row's, and the second row's pixel above is the first row's pixel just done.
void UnfilterPaethPair(const uint8_t* __restrict in0, const uint8_t* __restrict in1,
                       const uint8_t* __restrict up, uint8_t* __restrict out0, uint8_t* __restrict out1,
                       size_t n)
{
    int left0 = (in0[0] + PaethPredictor(0, up[0], 0)) & 0xff;
    int upLeft0 = up[0];
    out0[0] = static_cast<uint8_t>(left0);
    int left1 = 0;
    int upLeft1 = 0;
    for (size_t i = 1; i < n; ++i) {
        const int above1 = left0;
        const int above0 = up[i];
        left0 = (in0[i] + PaethPredictor(left0, above0, upLeft0)) & 0xff;
        upLeft0 = above0;
        out0[i] = static_cast<uint8_t>(left0);
        left1 = (in1[i - 1] + PaethPredictor(left1, above1, upLeft1)) & 0xff;
        upLeft1 = above1;
        out1[i - 1] = static_cast<uint8_t>(left1);
    }
    out1[n - 1] = static_cast<uint8_t>((in1[n - 1] + PaethPredictor(left1, left0, upLeft1)) & 0xff);
}

constexpr uint32_t kAdlerBase = 65521;
// The most bytes whose sums fit 32 bits before they are reduced: 255 n (n + 1) / 2 + (n + 1)
// (kAdlerBase - 1) stays below 2^32.
constexpr size_t kAdlerBlock = 5552;

// The image data are a zlib stream: a two-byte header, the deflate data, and the big-endian
// Adler-32 of the inflated bytes. zlib inflates the deflate data raw; the header and the checksum
// are checked here, by zlib's rules, so that zlib need not sum the bytes one at a time.
enum class StreamPart : uint8_t { kHeader, kDeflate, kChecksum, kEnded };
constexpr size_t kZlibHeaderBytes = 2;
constexpr size_t kChecksumBytes = 4;
constexpr int kDeflateMethod = 8;
constexpr int kMaxWindowCode = 7; // 32 KiB
constexpr int kWindowCodeBias = 8;
constexpr uint8_t kPresetDictionaryFlag = 0x20;
constexpr unsigned kHeaderCheckDivisor = 31;

// The window's size in bits that the two-byte header gives; false for a header zlib refuses
// (another method, a window above 32 KiB, a failed check) or one that asks for a preset
// dictionary.
bool ReadZlibHeader(uint32_t header, int& windowBits)
{
    const uint32_t method = (header >> 8) & 0x0f;
    const int window = static_cast<int>(header >> 12);
    if (method != kDeflateMethod || window > kMaxWindowCode || (header & kPresetDictionaryFlag) != 0 ||
        header % kHeaderCheckDivisor != 0) {
        return false;
    }
    windowBits = window + kWindowCodeBias;
    return true;
}

// Opens the raw inflation with the window the two-byte header gives.
bool OpenRawInflation(z_stream& stream, uint32_t header)
{
    int windowBits = 0;
    return ReadZlibHeader(header, windowBits) && inflateInit2(&stream, -windowBits) == Z_OK;
}

// One direct read: the inflation, its row batch and where the rows go.
struct DirectRead
{
    Layout layout;
    z_stream stream; // open from kDeflate on
    StreamPart part;
    uint32_t gathered;    // the header's bytes, then the checksum's, big-endian, as they come
    size_t gatheredCount; // of the present part
    uint32_t checksum;    // Adler-32 of the inflated bytes so far
    uint8_t* plane;
    uint8_t* batch;   // inflated rows, filter bytes included
    uint8_t* zeros;   // the row above the first
    uint8_t* rgb[2];  // RGB rows, unfiltered: even and odd rows
    size_t batchRows; // rows a batch holds
    size_t filled;    // bytes of the present batch inflated so far
    uint32_t rowsDone;
};

bool OpenDirectRead(DirectRead& read)
{
    const Layout& layout = read.layout;
    read.batchRows = std::max<size_t>(1, kBatchBytes / layout.rowBytes);
    read.plane = static_cast<uint8_t*>(std::malloc(size_t{layout.width} * layout.height));
    read.batch = static_cast<uint8_t*>(std::malloc(read.batchRows * layout.rowBytes));
    read.zeros = static_cast<uint8_t*>(std::calloc(layout.samples, 1));
    if (layout.channels == kRgbChannels) {
        read.rgb[0] = static_cast<uint8_t*>(std::malloc(layout.samples));
        read.rgb[1] = static_cast<uint8_t*>(std::malloc(layout.samples));
        if (read.rgb[0] == nullptr || read.rgb[1] == nullptr) {
            return false;
        }
    }
    read.checksum = 1;
    return read.plane != nullptr && read.batch != nullptr && read.zeros != nullptr;
}

void CloseDirectRead(DirectRead& read)
{
    if (read.part != StreamPart::kHeader) {
        inflateEnd(&read.stream);
    }
    std::free(read.batch);
    std::free(read.zeros);
    std::free(read.rgb[0]);
    std::free(read.rgb[1]);
    std::free(read.plane);
}

// Unfilters the `rows` rows of the full batch; the picture's top row comes first in the file and
// is the plane's last.
bool UnfilterBatch(DirectRead& read, size_t rows)
{
    const Layout& layout = read.layout;
    const size_t width = layout.width;
    for (size_t k = 0; k < rows; ++k, ++read.rowsDone) {
        const uint8_t* row = read.batch + k * layout.rowBytes;
        const size_t y = read.rowsDone;
        uint8_t* grey = read.plane + (layout.height - 1 - y) * width;
        if (layout.channels == 1) {
            const uint8_t* up = y == 0 ? read.zeros : grey + width;
            const uint8_t* next = row + layout.rowBytes;
            if (row[0] == kPaethFilter && k + 1 < rows && next[0] == kPaethFilter) {
                UnfilterPaethPair(row + 1, next + 1, up, grey, grey - width, width);
                ++k;
                ++read.rowsDone;
                continue;
            }
            if (!Unfilter(row[0], row + 1, up, grey, width, 1)) {
                return false;
            }
            continue;
        }
        uint8_t* out = read.rgb[y & 1];
        const uint8_t* up = y == 0 ? read.zeros : read.rgb[(y - 1) & 1];
        if (!Unfilter(row[0], row + 1, up, out, layout.samples, kRgbChannels)) {
            return false;
        }
        GreyFromRgbRow(out, grey, width);
    }
    return true;
}

// Inflates the deflate data at the stream's input into the batch; the bytes after its end are
// left at the input. False for more rows than the picture has, or data zlib refuses.
bool InflateDeflateData(DirectRead& read)
{
    const Layout& layout = read.layout;
    z_stream& stream = read.stream;
    while (stream.avail_in > 0 && read.part == StreamPart::kDeflate) {
        const size_t rowsLeft = layout.height - read.rowsDone;
        const size_t target = std::min(read.batchRows, rowsLeft) * layout.rowBytes;
        // With every row read, the rest of the stream may only end it: one byte of room tells.
        uint8_t spare = 0;
        uint8_t* out = target > 0 ? read.batch + read.filled : &spare;
        stream.next_out = out;
        stream.avail_out = static_cast<uInt>(target > 0 ? target - read.filled : 1);
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            return false;
        }
        if (status == Z_STREAM_END) {
            read.part = StreamPart::kChecksum;
        }
        if (target == 0) {
            if (stream.avail_out == 0) {
                return false;
            }
            continue;
        }
        const size_t produced = static_cast<size_t>(stream.next_out - out);
        read.checksum = Adler32(read.checksum, out, produced);
        read.filled += produced;
        if (read.filled == target) {
            if (!UnfilterBatch(read, target / layout.rowBytes)) {
                return false;
            }
            read.filled = 0;
        }
    }
    return true;
}

// Reads one chunk of image data: the header, deflate data and the checksum in turn, across
// chunks as they fall. False for a header zlib refuses, data past the checksum, or anything that
// InflateDeflateData refuses.
bool InflateChunk(DirectRead& read, const Chunk& chunk)
{
    const uint8_t* data = chunk.data;
    size_t left = chunk.length;
    while (left > 0) {
        if (read.part == StreamPart::kEnded) {
            return false;
        }
        if (read.part == StreamPart::kDeflate) {
            read.stream.next_in = const_cast<Bytef*>(data);
            read.stream.avail_in = static_cast<uInt>(left);
            if (!InflateDeflateData(read)) {
                return false;
            }
            data += left - read.stream.avail_in;
            left = read.stream.avail_in;
            continue;
        }
        // The header or the checksum, a byte at a time.
        read.gathered = read.gathered << 8 | *data++;
        --left;
        read.gatheredCount += 1;
        if (read.part == StreamPart::kHeader && read.gatheredCount == kZlibHeaderBytes) {
            if (!OpenRawInflation(read.stream, read.gathered)) {
                return false;
            }
            read.part = StreamPart::kDeflate;
            read.gathered = 0;
            read.gatheredCount = 0;
        } else if (read.part == StreamPart::kChecksum && read.gatheredCount == kChecksumBytes) {
            read.part = StreamPart::kEnded;
        }
    }
    return true;
}

// Walks the chunks after the header: image data in one run, each of its chunks handed to
// `take` (false ends the walk), ancillary chunks skipped, the end chunk last. True when the end
// chunk came with image data before it.
template <typename Take>
bool WalkChunks(const uint8_t* bytes, size_t length, size_t offset, const Layout& layout, Take take)
{
    bool inData = false;
    bool dataDone = false;
    for (;;) {
        Chunk chunk{};
        if (!ReadChunk(bytes, length, offset, chunk)) {
            return false;
        }
        if (IsChunk(chunk, "IDAT")) {
            if (dataDone || chunk.length > layout.imageBytes || !take(chunk)) {
                return false;
            }
            inData = true;
            continue;
        }
        dataDone = inData;
        if (IsChunk(chunk, "IEND")) {
            return chunk.length == 0 && inData;
        }
        // Another critical chunk (a palette, say), or a long ancillary one: libpng's to read.
        if ((chunk.type[0] & 0x20) == 0 || chunk.length > kMaxSkippedChunk) {
            return false;
        }
    }
}

// The streaming read of the chunks: true when every row was read from a stream that ended
// exactly.
bool ReadChunks(DirectRead& read, const uint8_t* bytes, size_t length, size_t offset)
{
    return WalkChunks(bytes, length, offset, read.layout,
                      [&](const Chunk& chunk) { return InflateChunk(read, chunk); }) &&
           read.part == StreamPart::kEnded && read.rowsDone == read.layout.height &&
           read.checksum == read.gathered;
}

// The image data of a grey picture, gathered from its chunks: in place when they lie in one
// chunk, else copied into `gathered` (which the caller frees). False for a file whose chunks the
// streaming read refuses.
bool GatherImageData(const uint8_t* bytes, size_t length, size_t offset, const Layout& layout,
                     const uint8_t*& data, size_t& dataLength, uint8_t*& gathered)
{
    return WalkChunks(bytes, length, offset, layout, [&](const Chunk& chunk) {
        if (data == nullptr) {
            data = chunk.data;
            dataLength = chunk.length;
            return true;
        }
        // A second chunk: the data are copied into one buffer, which the file's size bounds.
        if (gathered == nullptr) {
            gathered = static_cast<uint8_t*>(std::malloc(length));
            if (gathered == nullptr) {
                return false;
            }
            std::memcpy(gathered, data, dataLength);
            data = gathered;
        }
        std::memcpy(gathered + dataLength, chunk.data, chunk.length);
        dataLength += chunk.length;
        return true;
    });
}

// A grey picture read whole: its image data inflated at once into all the filtered rows, which
// the decoder's matches copy from directly, then unfiltered into the plane. Null for anything it
// does not take, and the streaming read then decides, so a file reads here only as it reads
// there: the same chunks, header, codes, length and checksum.
uint8_t* ReadWholeGrey(const uint8_t* bytes, size_t length, size_t offset, const Layout& layout)
{
    const uint8_t* data = nullptr;
    size_t dataLength = 0;
    uint8_t* gathered = nullptr;
    DirectRead read{};
    read.layout = layout;
    int windowBits = 0;
    size_t consumed = 0;
    bool ok = GatherImageData(bytes, length, offset, layout, data, dataLength, gathered) &&
              dataLength >= kZlibHeaderBytes + kChecksumBytes &&
              ReadZlibHeader(uint32_t{data[0]} << 8 | data[1], windowBits);
    if (ok) {
        read.batch = static_cast<uint8_t*>(std::malloc(layout.imageBytes + kInflateSlack));
        read.plane = static_cast<uint8_t*>(std::malloc(size_t{layout.width} * layout.height));
        read.zeros = static_cast<uint8_t*>(std::calloc(layout.samples, 1));
        const uint8_t* deflate = data + kZlibHeaderBytes;
        const size_t deflateLength = dataLength - kZlibHeaderBytes;
        ok = read.batch != nullptr && read.plane != nullptr && read.zeros != nullptr &&
             InflateWhole(deflate, deflateLength, read.batch, layout.imageBytes, size_t{1} << windowBits,
                          consumed) &&
             consumed + kChecksumBytes == deflateLength &&
             png_get_uint_32(deflate + consumed) == Adler32(1, read.batch, layout.imageBytes) &&
             UnfilterBatch(read, layout.height);
    }
    std::free(gathered);
    uint8_t* plane = nullptr;
    if (ok) {
        plane = read.plane;
        read.plane = nullptr;
    }
    CloseDirectRead(read);
    return plane;
}

} // namespace

uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t length)
{
    uint32_t a = adler & 0xffff;
    uint32_t b = adler >> 16;
    while (length > 0) {
        const size_t block = std::min(length, kAdlerBlock);
        length -= block;
        size_t rest = block;
#if defined(__SSE2__)
        // Sixteen bytes at a time: a grows by their sum; b by 16 times the a before them and by
        // the bytes weighed 16, 15, ..., 1. Every lane stays far below 2^32 within a block.
        const size_t chunks = block / 16;
        if (chunks > 0) {
            const __m128i zero = _mm_setzero_si128();
            const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
            const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
            __m128i sums = zero;   // the bytes' sum so far, in lanes 0 and 2
            __m128i before = zero; // over the chunks, the sum of the bytes before each
            __m128i weighed = zero;
            for (size_t k = 0; k < chunks; ++k, data += 16) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
                before = _mm_add_epi32(before, sums);
                sums = _mm_add_epi32(sums, _mm_sad_epu8(bytes, zero));
                weighed =
                    _mm_add_epi32(weighed, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), firstWeights));
                weighed = _mm_add_epi32(weighed, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), lastWeights));
            }
            const auto laneSum = [](__m128i v) {
                v = _mm_add_epi32(v, _mm_srli_si128(v, 8));
                v = _mm_add_epi32(v, _mm_srli_si128(v, 4));
                return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
            };
            b += static_cast<uint32_t>(16 * chunks) * a + 16 * laneSum(before) + laneSum(weighed);
            a += laneSum(sums);
            rest -= 16 * chunks;
        }
#endif
        for (; rest > 0; --rest, ++data) {
            a += *data;
            b += a;
        }
        a %= kAdlerBase;
        b %= kAdlerBase;
    }
    return b << 16 | a;
}

uint8_t* DecodePngDirect(const uint8_t* bytes, size_t length, uint32_t& width, uint32_t& height)
{
    if (bytes == nullptr || length < kSignatureBytes || png_sig_cmp(bytes, 0, kSignatureBytes) != 0) {
        return nullptr;
    }
    size_t offset = kSignatureBytes;
    Chunk header{};
    DirectRead read{};
    if (!ReadChunk(bytes, length, offset, header) || !ReadHeader(header, read.layout)) {
        return nullptr;
    }
    uint8_t* plane = read.layout.channels == 1 ? ReadWholeGrey(bytes, length, offset, read.layout) : nullptr;
    if (plane == nullptr && OpenDirectRead(read) && ReadChunks(read, bytes, length, offset)) {
        plane = read.plane;
        read.plane = nullptr;
    }
    CloseDirectRead(read);
    if (plane != nullptr) {
        width = read.layout.width;
        height = read.layout.height;
    }
    return plane;
}

} // namespace norvale
