// GS1 element strings: application identifiers told apart by their first two digits, which fix
// how many digits the identifier has and, for the predefined kinds, how long its data is.
#include "decoder/codewords/gs1_element_string.h"

#include "decoder/codewords/data_encodation.h"

namespace norvale {

namespace {

struct IdentifierKind
{
    int digits;     // of the identifier itself; 0 for a prefix no identifier starts with
    int dataLength; // fixed data length, or 0 for data that runs to a separator or the end
};

bool IsDigit(uint8_t byte)
{
    return byte >= '0' && byte <= '9';
}

// The identifier kinds of the GS1 General Specifications, by their first two digits.
IdentifierKind KindOf(int prefix)
{
    switch (prefix) {
    case 0: // SSCC
        return {2, 18};
    case 1: // GTIN
    case 2:
    case 3:
        return {2, 14};
    case 4:
        return {2, 16};
    case 11: // dates
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 19:
        return {2, 6};
    case 20:
        return {2, 2};
    case 10:
    case 21:
    case 22:
    case 30:
    case 37:
        return {2, 0};
    case 23:
    case 24:
    case 25:
    case 40:
    case 42:
    case 71:
        return {3, 0};
    case 41: // global location numbers
        return {3, 13};
    case 31: // measures
    case 32:
    case 33:
    case 34:
    case 35:
    case 36:
        return {4, 6};
    case 39:
    case 43:
    case 70:
    case 72:
    case 80:
    case 81:
    case 82:
        return {4, 0};
    default:
        return prefix >= 90 ? IdentifierKind{2, 0} : IdentifierKind{0, 0};
    }
}

} // namespace

bool FormatGs1ElementString(const uint8_t* bytes, size_t length, std::string& out)
{
    out.clear();
    size_t at = 0;
    while (at < length) {
        if (at + 2 > length || !IsDigit(bytes[at]) || !IsDigit(bytes[at + 1])) {
            out.clear();
            return false;
        }
        const IdentifierKind kind = KindOf((bytes[at] - '0') * 10 + (bytes[at + 1] - '0'));
        const size_t dataStart = at + static_cast<size_t>(kind.digits);
        bool digits = kind.digits > 0 && dataStart <= length;
        for (size_t k = at; digits && k < dataStart; ++k) {
            digits = IsDigit(bytes[k]);
        }
        if (!digits) {
            out.clear();
            return false;
        }
        size_t dataEnd = dataStart;
        if (kind.dataLength > 0) {
            dataEnd += static_cast<size_t>(kind.dataLength);
            if (dataEnd > length) {
                out.clear();
                return false;
            }
        } else {
            while (dataEnd < length && bytes[dataEnd] != kGroupSeparator) {
                ++dataEnd;
            }
        }
        if (dataEnd == dataStart) {
            out.clear();
            return false;
        }
        out += '(';
        out.append(reinterpret_cast<const char*>(bytes + at), static_cast<size_t>(kind.digits));
        out += ')';
        out.append(reinterpret_cast<const char*>(bytes + dataStart), dataEnd - dataStart);
        at = dataEnd < length && bytes[dataEnd] == kGroupSeparator ? dataEnd + 1 : dataEnd;
    }
    return !out.empty();
}

} // namespace norvale
