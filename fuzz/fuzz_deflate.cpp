// Fuzz target: the deflate decoder against zlib. The input, read as raw deflate data, must
// decode here exactly when zlib decodes it, to the same bytes and with the same input used; and
// the input deflated by zlib (level and strategy from its first byte) must come back whole.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/deflate_decoder.h"

namespace {

constexpr size_t kMaxOutput = size_t{1} << 18;

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// zlib's raw inflation of `in` into at most kMaxOutput bytes: true when the stream ended.
bool ZlibInflate(const uint8_t* in, size_t length, std::vector<uint8_t>& out, size_t& consumed)
{
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
        return false;
    }
    out.resize(kMaxOutput);
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    consumed = stream.total_in;
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

bool OwnInflate(const uint8_t* in, size_t length, size_t outLength, std::vector<uint8_t>& out,
                size_t& consumed)
{
    out.resize(outLength + norvale::kInflateSlack);
    const bool ok = norvale::InflateWhole(in, length, out.data(), outLength, 32768, consumed);
    out.resize(outLength);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Kept from one input to the next: the fuzzer runs one input at a time.
    static std::vector<uint8_t> expected;
    static std::vector<uint8_t> out;
    size_t zlibConsumed = 0;
    size_t consumed = 0;
    const bool zlibTakes = ZlibInflate(data, size, expected, zlibConsumed);
    if (expected.size() < kMaxOutput) {
        const bool takes = OwnInflate(data, size, expected.size(), out, consumed);
        Check(takes == zlibTakes);
        Check(!takes || (out == expected && consumed == zlibConsumed));
    }

    if (size == 0) {
        return 0;
    }
    const int level = data[0] % 10;
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    const int strategy = strategies[(data[0] / 10) % 5];
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) {
        return 0;
    }
    std::vector<uint8_t> packed(deflateBound(&stream, static_cast<uLong>(size)));
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    Check(deflate(&stream, Z_FINISH) == Z_STREAM_END);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    Check(OwnInflate(packed.data(), packed.size(), size, out, consumed));
    Check(consumed == packed.size() && std::memcmp(out.data(), data, size) == 0);
    return 0;
}
