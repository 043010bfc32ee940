// JSON report of vistrel --json: one object per file on one line, for scripts.
#pragma once

#include <string>

#include "norvale/datamatrix.hpp"

namespace norvale::app {

// Whether the file could be opened, and the wall time of the decode call.
struct JsonTiming
{
    bool opened = false;
    double milliseconds = 0.0;
};

// What one file came to: it could not be opened (decoded is then unused), or the decoder's result.
struct JsonOutcome : JsonTiming
{
    Decoded decoded;
};

// The same for every symbol of the file (--all).
struct JsonAllOutcome : JsonTiming
{
    DecodedAll decoded;
};

// One line, newline included:
//   {"file":..., "ok":true|false, "text":..., "hex":..., "side":..., "startMode":...,
//    "corrected":..., "corners":[[x,y] x4], "symbologyIdentifier":..., "gs1":..., "eci":[...],
//    "structuredAppend":{"position":..,"total":..,"fileId":..}|null, "readerProgramming":...,
//    "milliseconds":..., "error":...}
// Without a decoded symbol every symbol field is null; error is null on success, else
// "open-failed", "image-not-loaded", "nothing-found", "out-of-memory" or "timed-out". text holds
// the bytes as UTF-8 when they are valid UTF-8, else read as ISO 8859-1; hex holds them exactly.
// Corners are in pixels with y counted from the top row: finder vertex, end of the leg along the
// symbol's left side, end of the bottom leg, the opposite corner. gs1 is the human-readable
// element string of a GS1 symbol, else null.
std::string FormatJsonLine(const std::string& file, const JsonOutcome& outcome);

// One line for every symbol of a file: {"file":..., "ok":..., "symbols":[{"text":..., ...}, ...],
// "milliseconds":..., "error":...}, each symbol with the fields above.
std::string FormatJsonAllLine(const std::string& file, const JsonAllOutcome& outcome);

// A JSON string literal (quotes included) of UTF-8 text; bytes that are not valid UTF-8 become
// U+FFFD.
std::string JsonString(const std::string& utf8);

} // namespace norvale::app
