// Data encodation: the corrected data codewords in, the bytes they encode appended to the
// record's data buffer out (ASCII, C40, Text, X12, EDIFACT and Base 256, with function codewords).
#include "decoder/codewords/data_encodation.h"

#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"

namespace norvale {
namespace {

enum class Mode {
    kAscii,
    kC40,
    kText,
    kX12,
    kEdifact,
    kBase256,
    kDone,
};

// ASCII codewords with a meaning of their own.
constexpr int kPad = 129;
constexpr int kFirstDigitPair = 130;
constexpr int kLastDigitPair = 229;
constexpr int kLatchC40 = 230;
constexpr int kLatchBase256 = 231;
constexpr int kFnc1 = 232;
constexpr int kStructuredAppend = 233;
constexpr int kReaderProgramming = 234;
constexpr int kUpperShift = 235;
constexpr int kMacro05 = 236;
constexpr int kMacro06 = 237;
constexpr int kLatchX12 = 238;
constexpr int kLatchText = 239;
constexpr int kLatchEdifact = 240;
constexpr int kEci = 241;
constexpr int kUnlatch = 254; // C40, Text and X12 back to ASCII, at a pair boundary

constexpr int kStructuredAppendParameters = 3;
constexpr int kEdifactUnlatch = 31;

// C40 / Text character sets; basic is the unshifted one.
enum Shift {
    kShiftBasic = 0,
    kShift1 = 1,
    kShift2 = 2,
    kShift3 = 3,
};

struct DataReader
{
    SymbolRecord& record;
    int dataCount; // D: the data codewords; nothing at or past this index is read
    int cursor;
    int shift;
    bool upperShift;   // C40 / Text: add 128 to the next character produced
    int fnc1SkipIndex; // the one position where FNC1 is a symbol flag, not a separator
    bool macroTrailer;
};

// Every write goes through here: a full buffer drops the byte, never writes past the end.
void Emit(DataReader& reader, int byte)
{
    SymbolRecord& record = reader.record;
    if (record.dataLength >= 0 && static_cast<uint32_t>(record.dataLength) < record.dataCapacity) {
        record.data[record.dataLength++] = static_cast<uint8_t>(byte);
    }
}

void EmitText(DataReader& reader, const char* text)
{
    for (; *text != '\0'; ++text) {
        Emit(reader, static_cast<unsigned char>(*text));
    }
}

int NextCodeword(DataReader& reader)
{
    return reader.record.codewords[reader.cursor++];
}

// Skips up to `count` codewords, stopping at the end of the data.
void SkipCodewords(DataReader& reader, int count)
{
    while (count-- > 0 && reader.cursor < reader.dataCount) {
        ++reader.cursor;
    }
}

// ECI designator: one codeword for ECI 0-126 (1..127), two for 127-16382 (128..191), three for
// 16383-999999 (192 and up).
int EciDesignatorLength(int first)
{
    if (first <= 127) {
        return 1;
    }
    return first <= 191 ? 2 : 3;
}

// The designator's value: one codeword c1 for 0-126, two for 127-16382, three for 16383-999999,
// each later codeword counting 1 to 254. A designator cut short by the end of the data is counted
// but not kept.
void NoteEci(DataReader& reader, int length)
{
    SymbolContent& content = reader.record.content;
    const uint8_t* c = reader.record.codewords + reader.cursor;
    const int index = content.eciCount++;
    if (index >= kMaxKeptEciDesignators || reader.cursor + length > reader.dataCount) {
        return;
    }
    uint32_t value = 0;
    if (length == 1) {
        value = c[0] - 1u;
    } else if (length == 2) {
        value = (c[0] - 128u) * 254u + (c[1] - 1u) + 127u;
    } else {
        value = (c[0] - 192u) * 64516u + (c[1] - 1u) * 254u + (c[2] - 1u) + 16383u;
    }
    content.eci[index] = value;
}

// A flagging FNC1 stands first (GS1) or second after a letter or a digit pair (AIM), counted from
// the end of a structured-append header. Any other FNC1 is a field separator.
void NoteFnc1(DataReader& reader, int index)
{
    SymbolContent& content = reader.record.content;
    if (content.fnc1 != Fnc1Flag::kNone) {
        return;
    }
    if (index == reader.fnc1SkipIndex) {
        content.fnc1 = Fnc1Flag::kGs1;
        return;
    }
    if (index == reader.fnc1SkipIndex + 1) {
        const int before = reader.record.codewords[index - 1];
        const bool letter =
            (before >= 'A' + 1 && before <= 'Z' + 1) || (before >= 'a' + 1 && before <= 'z' + 1);
        const bool digitPair = before >= kFirstDigitPair && before <= kLastDigitPair;
        if (letter || digitPair) {
            content.fnc1 = Fnc1Flag::kAim;
        }
    }
}

// Header of a structured-append symbol: the sequence indicator holds the position less one in its
// high four bits and 17 less the total in its low four; two codewords identify the file.
void NoteStructuredAppend(DataReader& reader)
{
    if (reader.cursor + kStructuredAppendParameters > reader.dataCount) {
        return;
    }
    const uint8_t* c = reader.record.codewords + reader.cursor;
    SymbolContent& content = reader.record.content;
    content.structuredAppend = true;
    content.appendPosition = static_cast<uint8_t>((c[0] >> 4) + 1);
    content.appendTotal = static_cast<uint8_t>(17 - (c[0] & 0x0F));
    content.appendFileId = static_cast<uint16_t>((c[1] << 8) | c[2]);
}

Mode DecodeAscii(DataReader& reader)
{
    const int index = reader.cursor;
    const int c = NextCodeword(reader);
    if (c <= 128) {
        Emit(reader, c - 1); // 0 wraps to 255
        return Mode::kAscii;
    }
    if (c == kPad) {
        return Mode::kDone;
    }
    if (c <= kLastDigitPair) {
        Emit(reader, '0' + (c - kFirstDigitPair) / 10);
        Emit(reader, '0' + (c - kFirstDigitPair) % 10);
        return Mode::kAscii;
    }
    switch (c) {
    case kLatchC40:
        return Mode::kC40;
    case kLatchBase256:
        return Mode::kBase256;
    case kLatchX12:
        return Mode::kX12;
    case kLatchText:
        return Mode::kText;
    case kLatchEdifact:
        return Mode::kEdifact;
    case kFnc1:
        NoteFnc1(reader, index);
        if (index != reader.fnc1SkipIndex) {
            Emit(reader, kGroupSeparator);
        }
        return Mode::kAscii;
    case kStructuredAppend:
        if (index == 0) {
            NoteStructuredAppend(reader);
        }
        SkipCodewords(reader, kStructuredAppendParameters);
        if (index == 0) {
            reader.fnc1SkipIndex = reader.cursor;
        }
        return Mode::kAscii;
    case kReaderProgramming:
        if (index == reader.fnc1SkipIndex) {
            reader.record.content.readerProgramming = true;
        }
        return Mode::kAscii;
    case kUpperShift:
        if (reader.cursor < reader.dataCount) {
            Emit(reader, (NextCodeword(reader) + 127) & 0xFF);
        }
        return Mode::kAscii;
    case kMacro05:
    case kMacro06:
        if (index == 0) {
            EmitText(reader, kMacroHeaderStart);
            EmitText(reader, c == kMacro05 ? kMacro05Format : kMacro06Format);
            reader.macroTrailer = true;
        }
        return Mode::kAscii;
    case kEci:
        if (reader.cursor < reader.dataCount) {
            const int length = EciDesignatorLength(reader.record.codewords[reader.cursor]);
            NoteEci(reader, length);
            SkipCodewords(reader, length);
        }
        return Mode::kAscii;
    default: // codewords without a meaning here: no output
        return Mode::kAscii;
    }
}

// Upper shift (shift 2, value 30) applies to the next character produced, whatever its set.
void EmitShifted(DataReader& reader, int byte)
{
    Emit(reader, reader.upperShift ? byte + 128 : byte);
    reader.upperShift = false;
}

void DecodeC40TextValue(DataReader& reader, int v, bool text)
{
    const int shift = reader.shift;
    reader.shift = kShiftBasic;
    switch (shift) {
    case kShiftBasic:
        if (v <= 2) {
            reader.shift = v + 1;
        } else if (v == 3) {
            EmitShifted(reader, ' ');
        } else if (v <= 13) {
            EmitShifted(reader, v + 44);
        } else {
            EmitShifted(reader, v + (text ? 83 : 51));
        }
        return;
    case kShift1:
        if (v <= 31) {
            EmitShifted(reader, v);
        }
        return;
    case kShift2:
        if (v <= 14) {
            EmitShifted(reader, v + 33);
        } else if (v <= 21) {
            EmitShifted(reader, v + 43);
        } else if (v <= 26) {
            EmitShifted(reader, v + 69);
        } else if (v == 27) {
            EmitShifted(reader, kGroupSeparator); // FNC1
        } else if (v == 30) {
            reader.upperShift = true;
        }
        return;
    default:
        // Shift 3: C40 0-31 are 0x60-0x7f; Text keeps 0 and 27-31 there and moves 1-26 to 'A'-'Z'.
        if (v > 31) {
            return;
        }
        EmitShifted(reader, text && v >= 1 && v <= 26 ? v + 64 : v + 96);
        return;
    }
}

// Reads the next pair of a C40, Text or X12 segment into three values; instead returns the
// mode to go on in when the segment ends here: 254 unlatches, and a single codeword left at
// the end of the data is ASCII.
bool ReadTriplet(DataReader& reader, int values[3], Mode& next)
{
    if (reader.record.codewords[reader.cursor] == kUnlatch) {
        ++reader.cursor;
        next = Mode::kAscii;
        return false;
    }
    if (reader.cursor + 1 >= reader.dataCount) {
        next = Mode::kAscii;
        return false;
    }
    const int c1 = NextCodeword(reader);
    const int c2 = NextCodeword(reader);
    const int v = 256 * c1 + c2 - 1;
    if (v < 0) {
        values[0] = values[1] = values[2] = -1;
        return true;
    }
    values[0] = v / 1600;
    values[1] = (v / 40) % 40;
    values[2] = v % 40;
    return true;
}

Mode DecodeC40Text(DataReader& reader, bool text)
{
    int values[3];
    Mode next = Mode::kAscii;
    if (!ReadTriplet(reader, values, next)) {
        return next;
    }
    for (int v : values) {
        if (v >= 0) {
            DecodeC40TextValue(reader, v, text);
        }
    }
    return text ? Mode::kText : Mode::kC40;
}

Mode DecodeX12(DataReader& reader)
{
    static constexpr char kX12Specials[] = {'\r', '*', '>', ' '};
    int values[3];
    Mode next = Mode::kAscii;
    if (!ReadTriplet(reader, values, next)) {
        return next;
    }
    for (int v : values) {
        if (v < 0) {
            continue;
        }
        if (v <= 3) {
            Emit(reader, kX12Specials[v]);
        } else {
            Emit(reader, v + (v <= 13 ? 44 : 51));
        }
    }
    return Mode::kX12;
}

// Three codewords carry four 6-bit values. Value 31 unlatches to ASCII; the rest of the
// codeword holding its last bit is dropped. Fewer than three codewords left are ASCII.
Mode DecodeEdifact(DataReader& reader)
{
    if (reader.dataCount - reader.cursor < 3) {
        return Mode::kAscii;
    }
    const int start = reader.cursor;
    const uint8_t* c = reader.record.codewords + start;
    const int bits = (c[0] << 16) | (c[1] << 8) | c[2];
    // Codewords used up when value i is the last one read: 1, 2, 3, 3.
    static constexpr int kCodewordsThrough[4] = {1, 2, 3, 3};
    for (int i = 0; i < 4; ++i) {
        const int v = (bits >> (18 - 6 * i)) & 0x3F;
        if (v == kEdifactUnlatch) {
            reader.cursor = start + kCodewordsThrough[i];
            return Mode::kAscii;
        }
        Emit(reader, v < 32 ? v + 64 : v);
    }
    reader.cursor = start + 3;
    return Mode::kEdifact;
}

// Base 256 field: a one- or two-byte length (0: to the end of the data), then the bytes, all
// un-randomised in place.
Mode DecodeBase256(DataReader& reader)
{
    uint8_t* codewords = reader.record.codewords;
    auto take = [&]() {
        const int position = reader.cursor;
        codewords[position] = Unrandomize255(codewords[position], position + 1);
        ++reader.cursor;
        return static_cast<int>(codewords[position]);
    };
    constexpr int kLastShortLength = 249;
    int length = take();
    if (length > kLastShortLength) {
        if (reader.cursor >= reader.dataCount) {
            return Mode::kDone;
        }
        length = 250 * (length - kLastShortLength) + take();
    }
    if (length == 0) {
        length = reader.dataCount - reader.cursor;
    }
    for (; length > 0 && reader.cursor < reader.dataCount; --length) {
        Emit(reader, take());
    }
    return Mode::kAscii;
}

} // namespace

const char* SymbologyIdentifierOf(const SymbolContent& content)
{
    // Modifier 1 plain, 2 GS1, 3 AIM; three more with ECI designators.
    static constexpr const char* kIdentifiers[2][3] = {{"]d1", "]d2", "]d3"}, {"]d4", "]d5", "]d6"}};
    const int flag = content.fnc1 == Fnc1Flag::kGs1 ? 1 : content.fnc1 == Fnc1Flag::kAim ? 2 : 0;
    return kIdentifiers[content.eciCount > 0 ? 1 : 0][flag];
}

uint8_t Unrandomize255(uint8_t codeword, int position)
{
    const int t = codeword - (149 * position) % 255;
    return static_cast<uint8_t>(t > 0 ? t - 1 : t + 255);
}

void DecodeDataCodewords(SymbolRecord& record)
{
    if (record.sizeIndex < 0 || record.sizeIndex >= kSymbolSizeCount || record.codewords == nullptr ||
        record.data == nullptr) {
        return;
    }
    int dataCount = kSymbolSizeTable[record.sizeIndex].dataCodewords;
    if (dataCount > record.totalCodewords) {
        dataCount = record.totalCodewords;
    }
    record.content = SymbolContent{};
    DataReader reader{record, dataCount, 0, kShiftBasic, false, 0, false};
    Mode mode = Mode::kAscii;
    // Every step consumes at least one codeword or falls back to ASCII, which always does.
    while (mode != Mode::kDone && reader.cursor < reader.dataCount) {
        const Mode previous = mode;
        switch (mode) {
        case Mode::kAscii:
            mode = DecodeAscii(reader);
            break;
        case Mode::kC40:
            mode = DecodeC40Text(reader, false);
            break;
        case Mode::kText:
            mode = DecodeC40Text(reader, true);
            break;
        case Mode::kX12:
            mode = DecodeX12(reader);
            break;
        case Mode::kEdifact:
            mode = DecodeEdifact(reader);
            break;
        case Mode::kBase256:
            mode = DecodeBase256(reader);
            break;
        case Mode::kDone:
            break;
        }
        if (mode != previous) {
            reader.shift = kShiftBasic;
            reader.upperShift = false;
        }
    }
    if (reader.macroTrailer) {
        EmitText(reader, kMacroTrailer);
    }
}

} // namespace norvale
