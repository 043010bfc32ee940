#include "image/deflate_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

namespace norvale {
namespace {

// Raw deflate data of `data` as zlib writes them at the given level and strategy.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, int level, int strategy, int windowBits = 15)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -windowBits, 8, strategy), Z_OK);
    std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// What zlib inflates from raw deflate data expected to give `length` bytes; false where zlib
// refuses them or they give another length.
bool ZlibInflates(const std::vector<uint8_t>& in, size_t length, std::vector<uint8_t>& out)
{
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
        return false;
    }
    out.assign(length + 1, 0);
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const size_t produced = stream.total_out;
    inflateEnd(&stream);
    out.resize(produced);
    return status == Z_STREAM_END && produced == length;
}

bool Inflates(const std::vector<uint8_t>& in, size_t length, std::vector<uint8_t>& out, size_t& consumed,
              size_t window = 32768)
{
    out.assign(length + kInflateSlack, 0xA5);
    const bool ok = InflateWhole(in.data(), in.size(), out.data(), length, window, consumed);
    out.resize(length);
    return ok;
}

// Rows of a drawn picture with runs and repeats, noise, text-like bytes and bytes of a skewed
// spread: the kinds of data that give matches of every distance class, literals, long runs and
// codes of every length.
std::vector<uint8_t> Sample(const std::string& kind, size_t n)
{
    std::vector<uint8_t> data(n);
    uint32_t state = 7;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        if (kind == "noise") {
            data[i] = static_cast<uint8_t>(state >> 24);
        } else if (kind == "skewed") {
            // Two common bytes and rare others: the rare ones get codes longer than the table.
            data[i] = (state >> 16) % 997 == 0 ? static_cast<uint8_t>(state >> 24) : "ab"[(state >> 13) & 1];
        } else if (kind == "rows") {
            data[i] = ((i % 301) / 7 + (i / 301) / 5) % 2 == 0 ? 0 : 255;
        } else {
            data[i] = static_cast<uint8_t>("the quick brown fox "[(i * 7 + (state >> 28)) % 20]);
        }
    }
    return data;
}

struct RoundTrip
{
    const char* name;
    const char* kind;
    size_t length;
    int level;
    int strategy;
};

const RoundTrip kRoundTrips[] = {
    {"StoredNoise", "noise", 70000, 0, Z_DEFAULT_STRATEGY},
    {"FixedText", "text", 5000, 6, Z_FIXED},
    {"DynamicRows", "rows", 200000, 9, Z_DEFAULT_STRATEGY},
    {"FastRows", "rows", 90000, 1, Z_DEFAULT_STRATEGY},
    {"RunLengthRows", "rows", 90000, 6, Z_RLE},
    {"HuffmanOnlyNoise", "noise", 40000, 6, Z_HUFFMAN_ONLY},
    {"LongCodes", "skewed", 300000, 6, Z_HUFFMAN_ONLY},
    {"DynamicText", "text", 120000, 9, Z_DEFAULT_STRATEGY},
    {"Empty", "noise", 0, 6, Z_DEFAULT_STRATEGY},
};

class DeflateRoundTripTest : public ::testing::TestWithParam<RoundTrip>
{
};

TEST_P(DeflateRoundTripTest, GivesWhatWasDeflated)
{
    const RoundTrip& c = GetParam();
    const std::vector<uint8_t> data = Sample(c.kind, c.length);
    std::vector<uint8_t> in = Deflate(data, c.level, c.strategy);
    const size_t streamLength = in.size();
    in.insert(in.end(), {1, 2, 3, 4}); // a checksum after the stream is left unread
    std::vector<uint8_t> out;
    size_t consumed = 0;
    ASSERT_TRUE(Inflates(in, data.size(), out, consumed));
    EXPECT_EQ(out, data);
    EXPECT_EQ(consumed, streamLength);
    // One byte more or less than the stream gives is refused, as is the stream cut short.
    EXPECT_FALSE(Inflates(in, data.size() + 1, out, consumed));
    if (!data.empty()) {
        EXPECT_FALSE(Inflates(in, data.size() - 1, out, consumed));
    }
    in.resize(streamLength - 1);
    EXPECT_FALSE(Inflates(in, data.size(), out, consumed));
}

INSTANTIATE_TEST_SUITE_P(Streams, DeflateRoundTripTest, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DeflateDecoderTest, SpoiltStreamsDecodeOnlyAsZlibDecodesThem)
{
    // Every single-bit change of a small dynamic stream and a small fixed one: where the decoder
    // takes the stream, zlib takes it too and gives the same bytes.
    for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        const std::vector<uint8_t> data = Sample("text", 600);
        const std::vector<uint8_t> clean = Deflate(data, 9, strategy);
        int taken = 0;
        for (size_t byte = 0; byte < clean.size(); ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                std::vector<uint8_t> in = clean;
                in[byte] ^= static_cast<uint8_t>(1 << bit);
                std::vector<uint8_t> out;
                std::vector<uint8_t> expected;
                size_t consumed = 0;
                if (Inflates(in, data.size(), out, consumed)) {
                    ++taken;
                    ASSERT_TRUE(ZlibInflates(in, data.size(), expected)) << byte << ":" << bit;
                    EXPECT_EQ(out, expected) << byte << ":" << bit;
                }
            }
        }
        EXPECT_LT(taken, static_cast<int>(clean.size()) * 8);
    }
}

TEST(DeflateDecoderTest, MatchBeyondTheWindowIsRefused)
{
    // Rows repeating 1000 bytes apart, deflated with a 32 KiB window: read with a window of 512
    // bytes, the matches reach too far back.
    std::vector<uint8_t> data(20000);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>((i % 1000) * 37 % 251);
    }
    const std::vector<uint8_t> in = Deflate(data, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out;
    size_t consumed = 0;
    EXPECT_TRUE(Inflates(in, data.size(), out, consumed, 32768));
    EXPECT_FALSE(Inflates(in, data.size(), out, consumed, 512));
}

} // namespace
} // namespace norvale
