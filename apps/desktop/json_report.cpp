// JSON report of vistrel --json: escaping, the decoded bytes as text and hex, one line per file.
#include "apps/desktop/json_report.h"

#include <cstdio>

namespace norvale::app {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at i, or 0 (overlong forms, surrogates and code
// points past U+10FFFF are invalid).
size_t Utf8SequenceLength(const std::string& s, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > s.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool IsValidUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const size_t length = Utf8SequenceLength(s, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// ISO 8859-1 maps each byte to the code point of the same value.
std::string Latin1ToUtf8(const std::string& s)
{
    std::string utf8;
    for (const char c : s) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        hex += kHexDigits[b >> 4];
        hex += kHexDigits[b & 0x0F];
    }
    return hex;
}

const char* StartModeName(uint32_t mode)
{
    switch (mode) {
    case kStartModeC40:
        return "c40";
    case kStartModeBase256:
        return "base256";
    case kStartModeUpperShift:
        return "upper-shift";
    case kStartModeX12:
        return "x12";
    case kStartModeText:
        return "text";
    case kStartModeEdifact:
        return "edifact";
    default:
        return "ascii";
    }
}

} // namespace

std::string JsonString(const std::string& utf8)
{
    std::string out = "\"";
    for (size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const size_t length = Utf8SequenceLength(utf8, i);
        if (length == 0) {
            out += kReplacementCharacter;
            ++i;
            continue;
        }
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0x0F];
        } else {
            out.append(utf8, i, length);
        }
        i += length;
    }
    return out + "\"";
}

namespace {

// The fields of one decoded symbol, without braces.
std::string SymbolFields(const Decoded& d)
{
    const std::string text = d.text();
    std::string fields = "\"text\":" + JsonString(IsValidUtf8(text) ? text : Latin1ToUtf8(text));
    fields += ",\"hex\":\"" + Hex(d.bytes) + "\"";
    fields += ",\"side\":" + std::to_string(d.side);
    fields += ",\"startMode\":\"" + std::string(StartModeName(d.startMode)) + "\"";
    fields += ",\"corrected\":" + std::to_string(d.correctedCount);
    fields += ",\"corners\":[";
    const auto corners = d.cornersFromTop();
    for (size_t k = 0; k < corners.size(); ++k) {
        fields += k == 0 ? "[" : ",[";
        fields += std::to_string(corners[k].x);
        fields += ',';
        fields += std::to_string(corners[k].y);
        fields += ']';
    }
    fields += "]";
    fields += ",\"symbologyIdentifier\":" + JsonString(d.symbologyIdentifier);
    fields += ",\"gs1\":" + (d.gs1.empty() ? std::string("null") : JsonString(d.gs1));
    fields += ",\"eci\":[";
    for (size_t k = 0; k < d.eci.size(); ++k) {
        fields += k == 0 ? "" : ",";
        fields += std::to_string(d.eci[k]);
    }
    fields += "]";
    if (d.structuredAppend.total == 0) {
        fields += ",\"structuredAppend\":null";
    } else {
        fields += ",\"structuredAppend\":{\"position\":" + std::to_string(d.structuredAppend.position) +
                  ",\"total\":" + std::to_string(d.structuredAppend.total) +
                  ",\"fileId\":" + std::to_string(d.structuredAppend.fileId) + "}";
    }
    fields += std::string(",\"readerProgramming\":") + (d.readerProgramming ? "true" : "false");
    return fields;
}

std::string Milliseconds(const JsonTiming& timing)
{
    char milliseconds[32];
    std::snprintf(milliseconds, sizeof milliseconds, "%.3f", timing.milliseconds);
    return timing.opened ? milliseconds : "0";
}

const char* ErrorName(bool opened, DecodeErrorKind error)
{
    if (!opened) {
        return "open-failed";
    }
    switch (error) {
    case DecodeErrorKind::kNothingFound:
        return "nothing-found";
    case DecodeErrorKind::kOutOfMemory:
        return "out-of-memory";
    case DecodeErrorKind::kTimedOut:
        return "timed-out";
    default:
        return "image-not-loaded";
    }
}

std::string Tail(bool ok, const JsonTiming& timing, DecodeErrorKind error)
{
    return ",\"milliseconds\":" + Milliseconds(timing) + ",\"error\":" +
           (ok ? std::string("null") : "\"" + std::string(ErrorName(timing.opened, error)) + "\"") + "}\n";
}

} // namespace

std::string FormatJsonLine(const std::string& file, const JsonOutcome& outcome)
{
    const Decoded& d = outcome.decoded;
    const bool ok = outcome.opened && d.ok();
    std::string line = "{\"file\":" + JsonString(file) + ",\"ok\":" + (ok ? "true" : "false") + ",";
    if (ok) {
        line += SymbolFields(d);
    } else {
        line +=
            "\"text\":null,\"hex\":null,\"side\":null,\"startMode\":null,\"corrected\":null,\"corners\":null,"
            "\"symbologyIdentifier\":null,\"gs1\":null,\"eci\":null,\"structuredAppend\":null,"
            "\"readerProgramming\":null";
    }
    return line + Tail(ok, outcome, d.error);
}

std::string FormatJsonAllLine(const std::string& file, const JsonAllOutcome& outcome)
{
    const bool ok = outcome.opened && outcome.decoded.ok();
    std::string line =
        "{\"file\":" + JsonString(file) + ",\"ok\":" + (ok ? "true" : "false") + ",\"symbols\":[";
    for (size_t i = 0; outcome.opened && i < outcome.decoded.symbols.size(); ++i) {
        line += i == 0 ? "{" : ",{";
        line += SymbolFields(outcome.decoded.symbols[i]);
        line += '}';
    }
    return line + "]" + Tail(ok, outcome, outcome.decoded.error);
}

} // namespace norvale::app
