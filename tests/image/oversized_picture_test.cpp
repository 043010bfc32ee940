// Oversized pictures: a header that claims more pixels than the size limit, or more bytes than
// the input holds, is refused before any large buffer is allocated. Every reader and the grey
// buffer entry are fed tiny crafted inputs.
//
// The same file also builds alone as norvale_allocation_test (oversized_picture.cmake), with
// malloc wrapped so that the largest single request made during each call is checked too.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image/bmp_reader.h"
#include "image/gray_image.h"
#include "image/jpeg_reader.h"
#include "image/png_reader.h"
#include "norvale/datamatrix.h"
#include "norvale/datamatrix.hpp"
#include "test_support.h"

#ifdef NORVALE_COUNT_ALLOCATIONS
#include <atomic>

// Every heap request of the process goes through here (glibc lets a program replace malloc).
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<size_t> largestRequest{0};

void NoteRequest(size_t size)
{
    size_t seen = largestRequest.load();
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size)) {
    }
}
} // namespace

extern "C" {
void* malloc(size_t size)
{
    NoteRequest(size);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    NoteRequest(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size)
{
    NoteRequest(size);
    return __libc_realloc(block, size);
}
void free(void* block)
{
    __libc_free(block);
}
}

constexpr bool kCountsAllocations = true;
void ResetLargestRequest()
{
    largestRequest = 0;
}
size_t LargestRequest()
{
    return largestRequest.load();
}
#else
constexpr bool kCountsAllocations = false;
void ResetLargestRequest() {}
size_t LargestRequest()
{
    return 0;
}
#endif

namespace norvale {
namespace {

// Far below any plane a refused header claims; the readers' own small blocks fit easily.
constexpr size_t kLargestAllowedRequest = 1 << 20;
constexpr uint32_t kHugeSide = 60000;       // 3.6e9 pixels, far above the limit
constexpr uint32_t kWithinLimitSide = 8000; // 6.4e7 pixels: allowed, but the bytes are not there

void PutU16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}
void PutU16Big(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void PutU32Big(std::vector<uint8_t>& out, uint32_t v)
{
    PutU16Big(out, v >> 16);
    PutU16Big(out, v & 0xFFFF);
}

// A 24-bit BMP header for width x height followed by only 16 pixel bytes.
std::vector<uint8_t> CraftBmp(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> out = {'B', 'M'};
    PutU32(out, 70);
    PutU32(out, 0);
    PutU32(out, 54); // pixel-data offset
    PutU32(out, 40);
    PutU32(out, width);
    PutU32(out, height);
    PutU16(out, 1);
    PutU16(out, 24);
    PutU32(out, 0); // uncompressed
    PutU32(out, 0); // image size: computed
    out.resize(70, 0);
    return out;
}

void PutPngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body)
{
    PutU32Big(out, static_cast<uint32_t>(body.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    PutU32Big(out,
              static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// A well-formed PNG header (RGB, 8 bits) for width x height with one tiny IDAT chunk.
std::vector<uint8_t> CraftPng(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> header;
    PutU32Big(header, width);
    PutU32Big(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutPngChunk(out, "IHDR", header);
    PutPngChunk(out, "IDAT", {0x78, 0x9c, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01});
    PutPngChunk(out, "IEND", {});
    return out;
}

// A baseline JPEG header (three components) for width x height: SOI, SOF0 and SOS, no data.
std::vector<uint8_t> CraftJpeg(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xC0};
    PutU16Big(out, 17);
    out.push_back(8);
    PutU16Big(out, height);
    PutU16Big(out, width);
    out.insert(out.end(), {3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});
    out.insert(out.end(), {0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 63, 0});
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

using Loader = std::function<int(GrayImage&, const std::vector<uint8_t>&)>;

// Writes the bytes to a file for the path readers.
template <typename FileReader> Loader ThroughFile(FileReader reader, const char* name)
{
    return [reader, name](GrayImage& image, const std::vector<uint8_t>& bytes) {
        const std::string path = norvale::test::ScratchDir() + "oversized_" + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            return -1;
        }
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        const int loaded = reader(image, path.c_str());
        std::remove(path.c_str());
        return loaded;
    };
}

template <typename MemoryReader> Loader FromMemory(MemoryReader reader)
{
    return [reader](GrayImage& image, const std::vector<uint8_t>& bytes) {
        return reader(image, bytes.data(), bytes.size());
    };
}

struct OversizedCase
{
    const char* name;
    std::vector<uint8_t> (*craft)(uint32_t, uint32_t);
    uint32_t width;
    uint32_t height;
    Loader load;
};

const OversizedCase kOversizedCases[] = {
    {"HugeBmpFile", CraftBmp, kHugeSide, kHugeSide, ThroughFile(LoadBmpFromFile, "huge.bmp")},
    {"HugeBmpMemory", CraftBmp, kHugeSide, kHugeSide, FromMemory(LoadBmpFromMemory)},
    {"WideBmpMemory", CraftBmp, 0x7FFFFFFF, 1, FromMemory(LoadBmpFromMemory)},
    {"BmpBytesMissingFile", CraftBmp, kWithinLimitSide, kWithinLimitSide,
     ThroughFile(LoadBmpFromFile, "missing.bmp")},
    {"BmpBytesMissingMemory", CraftBmp, kWithinLimitSide, kWithinLimitSide, FromMemory(LoadBmpFromMemory)},
    {"HugePngFile", CraftPng, kHugeSide, kHugeSide, ThroughFile(LoadPngFromFile, "huge.png")},
    {"HugePngMemory", CraftPng, kHugeSide, kHugeSide, FromMemory(LoadPngFromMemory)},
    {"JustAboveLimitPngMemory", CraftPng, 1 << 13, (1 << 13) + 1, FromMemory(LoadPngFromMemory)},
    {"HugeJpegFile", CraftJpeg, kHugeSide, kHugeSide, ThroughFile(LoadJpegFromFile, "huge.jpg")},
    {"HugeJpegMemory", CraftJpeg, kHugeSide, kHugeSide, FromMemory(LoadJpegFromMemory)},
    {"JustAboveLimitJpegMemory", CraftJpeg, 1 << 13, (1 << 13) + 1, FromMemory(LoadJpegFromMemory)},
};

class OversizedPictureTest : public ::testing::TestWithParam<OversizedCase>
{
};

TEST_P(OversizedPictureTest, RefusedWithoutLargeAllocation)
{
    const OversizedCase& c = GetParam();
    const std::vector<uint8_t> bytes = c.craft(c.width, c.height);
    GrayImage image{};
    InitGrayImage(image);
    ResetLargestRequest();
    EXPECT_EQ(c.load(image, bytes), 0);
    const size_t largest = LargestRequest();
    EXPECT_EQ(image.source, nullptr);
    EXPECT_LE(largest, kLargestAllowedRequest);
    FreeGrayImage(image);
}

INSTANTIATE_TEST_SUITE_P(Headers, OversizedPictureTest, ::testing::ValuesIn(kOversizedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OversizedPictureEntryTest, MemoryEntryRefusesHugeBmp)
{
    const std::vector<uint8_t> bytes = CraftBmp(kHugeSide, kHugeSide);
    char out[16] = {'x'};
    ResetLargestRequest();
    EXPECT_EQ(DecodeImage1(bytes.data(), static_cast<uint32_t>(bytes.size()), sizeof out, out), 0);
    EXPECT_LE(LargestRequest(), kLargestAllowedRequest);
    EXPECT_EQ(out[0], 'x');
}

TEST(OversizedPictureEntryTest, GreyBufferAboveLimitIsNotRead)
{
    // 16 bytes behind a claim of 3.6e9 pixels: nothing may be read or allocated for it.
    const uint8_t pixels[16] = {};
    ResetLargestRequest();
    const Decoded decoded = DecodeGray(pixels, kHugeSide, kHugeSide, kHugeSide, RowOrder::kTopFirst);
    EXPECT_EQ(decoded.error, DecodeErrorKind::kImageNotLoaded);
    EXPECT_LE(LargestRequest(), kLargestAllowedRequest);
}

TEST(OversizedPictureEntryTest, MemoryEntriesRefuseEveryFormat)
{
    for (const std::vector<uint8_t>& bytes :
         {CraftBmp(kHugeSide, kHugeSide), CraftPng(kHugeSide, kHugeSide), CraftJpeg(kHugeSide, kHugeSide)}) {
        ResetLargestRequest();
        EXPECT_EQ(DecodeMemory(bytes.data(), bytes.size()).error, DecodeErrorKind::kImageNotLoaded);
        EXPECT_LE(LargestRequest(), kLargestAllowedRequest);
    }
}

// Shows that the wrapped build really watches the heap: a within-limit picture that loads
// allocates its plane.
TEST(OversizedPictureEntryTest, CountingSeesAPlane)
{
    if (!kCountsAllocations) {
        GTEST_SKIP() << "allocations are counted only in norvale_allocation_test";
    }
    constexpr uint32_t kSide = 1200;
    std::vector<uint8_t> pixels(size_t{kSide} * kSide, 200);
    ResetLargestRequest();
    DecodeGray(pixels.data(), kSide, kSide, kSide, RowOrder::kTopFirst);
    EXPECT_GE(LargestRequest(), size_t{kSide} * kSide);
}

} // namespace
} // namespace norvale
