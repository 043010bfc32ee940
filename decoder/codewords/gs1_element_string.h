// GS1 element strings: the decoded bytes of a GS1 symbol in their human-readable form, each
// application identifier in parentheses before its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace norvale {

// Writes "(01)09501101530003(17)250101(10)AB12" for the bytes "01095011015300031725010110AB12"
// (the flagging FNC1 already dropped, later FNC1s read as GS separators). Returns false, leaving
// `out` empty, when the bytes are not a well-formed element string: an identifier that is not
// all digits or not a known kind, or a fixed-length field cut short. May throw std::bad_alloc.
bool FormatGs1ElementString(const uint8_t* bytes, size_t length, std::string& out);

} // namespace norvale
