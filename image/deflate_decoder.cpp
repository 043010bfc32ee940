// Deflate decoder: a 64-bit bit buffer refilled eight bytes at a time, one table lookup for
// every code up to 11 (lengths) or 10 (distances) bits and a canonical walk for the rare longer
// ones. The checks on the code sets are zlib's, so that a stream decodes here only when zlib
// would decode it too.
#include "image/deflate_decoder.h"

#include <cstdlib>
#include <cstring>

namespace norvale {

namespace {

constexpr int kMaxCodeBits = 15;
constexpr int kLitLenSymbols = 288; // 286 in use; the fixed code also has 286 and 287
constexpr int kDistSymbols = 32;    // 30 in use; the fixed code also has 30 and 31
constexpr int kCodeLengthSymbols = 19;
constexpr int kMaxLitLenCodes = 286;
constexpr int kMaxDistCodes = 30;
constexpr int kEndOfBlock = 256;
constexpr int kFirstLength = 257;

constexpr int kLitLenTableBits = 11;
constexpr int kDistTableBits = 10;
constexpr int kCodeLengthTableBits = 7; // the longest code-length code

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block lists the lengths of the code-length code.
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

// A table entry: bits 0..3 the code's length (0: no code this short, walk the code), bits 4..7
// the extra bits that follow it, bits 8..9 what it means, bits 16..31 its value (the literal, the
// base length or distance, or the code-length symbol).
enum Meaning : uint32_t {
    kLiteral = 0,
    kBase = 1,
    kEnd = 2,
    kInvalid = 3, // a symbol no stream may use
};

constexpr uint32_t Entry(Meaning meaning, uint32_t value, uint32_t extra)
{
    return value << 16 | uint32_t{meaning} << 8 | extra << 4;
}
constexpr uint32_t CodeLengthOf(uint32_t entry)
{
    return entry & 0xf;
}
constexpr uint32_t ExtraOf(uint32_t entry)
{
    return (entry >> 4) & 0xf;
}
constexpr Meaning MeaningOf(uint32_t entry)
{
    return static_cast<Meaning>((entry >> 8) & 3);
}
constexpr uint32_t ValueOf(uint32_t entry)
{
    return entry >> 16;
}

uint32_t LitLenEntry(int symbol)
{
    if (symbol < kEndOfBlock) {
        return Entry(kLiteral, static_cast<uint32_t>(symbol), 0);
    }
    if (symbol == kEndOfBlock) {
        return Entry(kEnd, 0, 0);
    }
    const int k = symbol - kFirstLength;
    if (k >= kMaxLitLenCodes - kFirstLength) {
        return Entry(kInvalid, 0, 0);
    }
    return Entry(kBase, kLengthBase[k], kLengthExtra[k]);
}

uint32_t DistEntry(int symbol)
{
    if (symbol >= kMaxDistCodes) {
        return Entry(kInvalid, 0, 0);
    }
    return Entry(kBase, kDistBase[symbol], kDistExtra[symbol]);
}

uint32_t PlainEntry(int symbol)
{
    return Entry(kLiteral, static_cast<uint32_t>(symbol), 0);
}

// A canonical code: the lookup table for its short codes, and the counts and symbols in code
// order that the walk of a longer code needs.
template <int kTableBits, int kSymbols> struct HuffmanCode
{
    uint32_t table[1u << kTableBits];
    uint16_t count[kMaxCodeBits + 1];
    uint16_t symbols[kSymbols];
    uint32_t (*entryOf)(int symbol);
};

uint32_t ReverseBits(uint32_t code, int length)
{
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) {
        reversed = reversed << 1 | (code & 1);
        code >>= 1;
    }
    return reversed;
}

// Builds the code from the symbols' lengths by zlib's rules: false for an over-subscribed set,
// and for an incomplete one unless it is a length or distance code whose longest code has one
// bit. A set of no codes at all is taken; any code read with it is then invalid.
template <int kTableBits, int kSymbols>
bool BuildCode(HuffmanCode<kTableBits, kSymbols>& code, const uint8_t* lengths, int n, bool codeLengthCode)
{
    std::memset(code.count, 0, sizeof code.count);
    for (int s = 0; s < n; ++s) {
        code.count[lengths[s]] += 1;
    }
    code.count[0] = 0;
    std::memset(code.table, 0, sizeof code.table);
    int longest = kMaxCodeBits;
    while (longest > 0 && code.count[longest] == 0) {
        --longest;
    }
    if (longest == 0) {
        return true;
    }
    int left = 1;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        left = (left << 1) - code.count[len];
        if (left < 0) {
            return false;
        }
    }
    if (left > 0 && (codeLengthCode || longest != 1)) {
        return false;
    }
    uint16_t offsets[kMaxCodeBits + 2];
    offsets[1] = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
        offsets[len + 1] = static_cast<uint16_t>(offsets[len] + code.count[len]);
    }
    for (int s = 0; s < n; ++s) {
        if (lengths[s] != 0) {
            code.symbols[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
        }
    }
    uint32_t next = 0;
    int index = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len, next <<= 1) {
        for (int k = 0; k < code.count[len]; ++k, ++next, ++index) {
            if (len > kTableBits) {
                continue;
            }
            const uint32_t entry = code.entryOf(code.symbols[index]) | static_cast<uint32_t>(len);
            for (uint32_t i = ReverseBits(next, len); i < (1u << kTableBits); i += 1u << len) {
                code.table[i] = entry;
            }
        }
    }
    return true;
}

// The input as bits, least significant first. Past the end it reads zeros, which it counts, so
// that a stream that needed them is refused at the end.
struct BitReader
{
    const uint8_t* start;
    const uint8_t* next;
    const uint8_t* end;
    uint64_t bits;
    uint32_t count;   // valid bits in `bits`
    size_t overshoot; // zero bytes read past the end

    // At least 56 valid bits. Eight bytes are loaded at once where eight remain; the bits above
    // `count` then hold the next byte's low bits, which the next load writes again unchanged.
    void Refill()
    {
        if (end - next >= 8) {
            uint64_t word = 0;
            std::memcpy(&word, next, sizeof word);
            bits |= word << count;
            next += (63 - count) >> 3;
            count |= 56;
            return;
        }
        while (count <= 56) {
            if (next < end) {
                bits |= uint64_t{*next++} << count;
            } else {
                ++overshoot;
            }
            count += 8;
        }
    }

    uint32_t Peek(uint32_t n) const { return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1)); }

    void Drop(uint32_t n)
    {
        bits >>= n;
        count -= n;
    }

    uint32_t Take(uint32_t n)
    {
        const uint32_t value = Peek(n);
        Drop(n);
        return value;
    }

    // Bits taken so far, the zeros past the end included.
    uint64_t BitsTaken() const { return (uint64_t(next - start) + overshoot) * 8 - count; }

    bool Overran() const { return BitsTaken() > uint64_t(end - start) * 8; }

    // Drops the bits up to the next byte boundary and starts reading bytes there; false when
    // that lies past the end.
    bool AlignToByte()
    {
        const uint64_t position = (BitsTaken() + 7) / 8;
        if (position > uint64_t(end - start)) {
            return false;
        }
        next = start + position;
        bits = 0;
        count = 0;
        overshoot = 0;
        return true;
    }
};

// The walk of a code longer than the table, bit by bit through the canonical order, over the
// next bits of the input (at least kMaxCodeBits of them): the entry of its symbol with the
// code's length, or an invalid entry for bits that are no code.
template <int kTableBits, int kSymbols>
uint32_t WalkCode(const HuffmanCode<kTableBits, kSymbols>& code, uint64_t bits)
{
    int value = 0;
    int first = 0;
    int index = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len, bits >>= 1) {
        value |= static_cast<int>(bits & 1);
        const int count = code.count[len];
        if (value - count < first) {
            return code.entryOf(code.symbols[index + (value - first)]) | static_cast<uint32_t>(len);
        }
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return Entry(kInvalid, 0, 0);
}

// The next code's entry, its bits dropped; an invalid entry for bits that are no code.
template <int kTableBits, int kSymbols>
uint32_t DecodeEntry(const HuffmanCode<kTableBits, kSymbols>& code, BitReader& reader)
{
    uint32_t entry = code.table[reader.Peek(kTableBits)];
    if (__builtin_expect(CodeLengthOf(entry) == 0, 0)) {
        entry = WalkCode(code, reader.bits);
    }
    reader.Drop(CodeLengthOf(entry));
    return entry;
}

using LitLenCode = HuffmanCode<kLitLenTableBits, kLitLenSymbols>;
using DistCode = HuffmanCode<kDistTableBits, kDistSymbols>;
using CodeLengthCode = HuffmanCode<kCodeLengthTableBits, kCodeLengthSymbols>;

struct Decoder
{
    BitReader reader;
    uint8_t* outStart;
    uint8_t* out;
    uint8_t* outEnd;
    size_t window;
    LitLenCode litLen;
    DistCode dist;
    CodeLengthCode codeLengths;
};

bool BuildFixedCodes(Decoder& d)
{
    uint8_t lengths[kLitLenSymbols + kDistSymbols];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 256 - 144);
    std::memset(lengths + 256, 7, 280 - 256);
    std::memset(lengths + 280, 8, kLitLenSymbols - 280);
    std::memset(lengths + kLitLenSymbols, 5, kDistSymbols);
    return BuildCode(d.litLen, lengths, kLitLenSymbols, false) &&
           BuildCode(d.dist, lengths + kLitLenSymbols, kDistSymbols, false);
}

// The code lengths of a dynamic block's header, and its two codes from them.
bool ReadDynamicCodes(Decoder& d)
{
    BitReader& r = d.reader;
    r.Refill();
    const int litLenCount = static_cast<int>(r.Take(5)) + kFirstLength;
    const int distCount = static_cast<int>(r.Take(5)) + 1;
    const int codeLengthCount = static_cast<int>(r.Take(4)) + 4;
    if (litLenCount > kMaxLitLenCodes || distCount > kMaxDistCodes) {
        return false;
    }
    uint8_t lengths[kMaxLitLenCodes + kMaxDistCodes] = {};
    uint8_t codeLengthLengths[kCodeLengthSymbols] = {};
    for (int i = 0; i < codeLengthCount; ++i) {
        r.Refill();
        codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(r.Take(3));
    }
    if (!BuildCode(d.codeLengths, codeLengthLengths, kCodeLengthSymbols, true)) {
        return false;
    }
    const int total = litLenCount + distCount;
    for (int n = 0; n < total;) {
        r.Refill();
        const uint32_t entry = DecodeEntry(d.codeLengths, r);
        if (MeaningOf(entry) == kInvalid) {
            return false;
        }
        const int symbol = static_cast<int>(ValueOf(entry));
        if (symbol < 16) {
            lengths[n++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t repeated = 0;
        int times = 0;
        if (symbol == 16) {
            if (n == 0) {
                return false;
            }
            repeated = lengths[n - 1];
            times = 3 + static_cast<int>(r.Take(2));
        } else if (symbol == 17) {
            times = 3 + static_cast<int>(r.Take(3));
        } else {
            times = 11 + static_cast<int>(r.Take(7));
        }
        if (times > total - n) {
            return false;
        }
        std::memset(lengths + n, repeated, static_cast<size_t>(times));
        n += times;
    }
    if (lengths[kEndOfBlock] == 0) {
        return false;
    }
    return BuildCode(d.litLen, lengths, litLenCount, false) &&
           BuildCode(d.dist, lengths + litLenCount, distCount, false);
}

bool CopyStoredBlock(Decoder& d)
{
    BitReader& r = d.reader;
    if (!r.AlignToByte() || r.end - r.next < 4) {
        return false;
    }
    const uint32_t length = uint32_t{r.next[0]} | uint32_t{r.next[1]} << 8;
    const uint32_t check = uint32_t{r.next[2]} | uint32_t{r.next[3]} << 8;
    r.next += 4;
    if ((length ^ 0xffffu) != check || length > size_t(r.end - r.next) || length > size_t(d.outEnd - d.out)) {
        return false;
    }
    std::memcpy(d.out, r.next, length);
    d.out += length;
    r.next += length;
    return true;
}

// Copies `length` bytes from `distance` back; the bytes may overlap the ones being written. Wide
// copies write up to 15 bytes past the end, into the slack.
void CopyMatch(uint8_t* out, size_t distance, size_t length)
{
    const uint8_t* from = out - distance;
    uint8_t* const end = out + length;
    if (distance >= 16) {
        do {
            std::memcpy(out, from, 16);
            out += 16;
            from += 16;
        } while (out < end);
    } else if (distance >= 8) {
        do {
            std::memcpy(out, from, 8);
            out += 8;
            from += 8;
        } while (out < end);
    } else if (distance == 1) {
        std::memset(out, *from, length);
    } else {
        do {
            *out++ = *from++;
        } while (out < end);
    }
}

// The symbols of one block with codes, up to its end code. The reader is a local copy: the
// bytes written could alias it, and it would be read back from memory after every one.
bool DecodeBlockWith(Decoder& d, BitReader& r)
{
    uint8_t* out = d.out;
    for (;;) {
        // One refill covers a length code with its extra bits and a distance code with its own:
        // at most 15 + 5 + 15 + 13 bits.
        r.Refill();
        const uint32_t entry = DecodeEntry(d.litLen, r);
        const Meaning meaning = MeaningOf(entry);
        if (meaning == kLiteral) {
            if (out == d.outEnd) {
                return false;
            }
            *out++ = static_cast<uint8_t>(ValueOf(entry));
            // The refill left room for a second code: a literal in the table is taken at once.
            const uint32_t next = d.litLen.table[r.Peek(kLitLenTableBits)];
            if (MeaningOf(next) == kLiteral && CodeLengthOf(next) != 0 && out != d.outEnd) {
                r.Drop(CodeLengthOf(next));
                *out++ = static_cast<uint8_t>(ValueOf(next));
            }
            continue;
        }
        if (meaning != kBase) {
            d.out = out;
            return meaning == kEnd;
        }
        const size_t length = ValueOf(entry) + r.Take(ExtraOf(entry));
        const uint32_t distEntry = DecodeEntry(d.dist, r);
        if (MeaningOf(distEntry) != kBase) {
            return false;
        }
        const size_t distance = ValueOf(distEntry) + r.Take(ExtraOf(distEntry));
        if (distance > size_t(out - d.outStart) || distance > d.window || length > size_t(d.outEnd - out)) {
            return false;
        }
        CopyMatch(out, distance, length);
        out += length;
    }
}

bool DecodeBlock(Decoder& d)
{
    BitReader r = d.reader;
    const bool ok = DecodeBlockWith(d, r);
    d.reader = r;
    return ok;
}

} // namespace

bool InflateWhole(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength, size_t window,
                  size_t& consumed)
{
    if (in == nullptr || out == nullptr) {
        return false;
    }
    // The codes' tables are some 12 KiB: on the heap, not on the caller's stack.
    auto* d = static_cast<Decoder*>(std::calloc(1, sizeof(Decoder)));
    if (d == nullptr) {
        return false;
    }
    d->reader = BitReader{in, in, in + inLength, 0, 0, 0};
    d->outStart = out;
    d->out = out;
    d->outEnd = out + outLength;
    d->window = window;
    d->litLen.entryOf = LitLenEntry;
    d->dist.entryOf = DistEntry;
    d->codeLengths.entryOf = PlainEntry;
    bool ok = true;
    bool final = false;
    while (ok && !final) {
        BitReader& r = d->reader;
        r.Refill();
        if (r.Overran()) {
            ok = false;
            break;
        }
        final = r.Take(1) != 0;
        const uint32_t type = r.Take(2);
        if (type == 0) {
            ok = CopyStoredBlock(*d);
        } else if (type == 1) {
            ok = BuildFixedCodes(*d) && DecodeBlock(*d);
        } else if (type == 2) {
            ok = ReadDynamicCodes(*d) && DecodeBlock(*d);
        } else {
            ok = false;
        }
    }
    ok = ok && !d->reader.Overran() && d->out == d->outEnd;
    if (ok) {
        consumed = static_cast<size_t>((d->reader.BitsTaken() + 7) / 8);
    }
    std::free(d);
    return ok;
}

} // namespace norvale
