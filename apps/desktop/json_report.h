// JSON report of vistrel --json: one object per file on one line, for scripts.
#pragma once

#include <string>

#include "norvale/datamatrix.hpp"

namespace norvale::app {

// What one file came to: it could not be opened (decoded is then unused), or the decoder's result.
struct JsonOutcome
{
    bool opened = false;
    Decoded decoded;
    double milliseconds = 0.0; // wall time of the decode call
};

// One line, newline included:
//   {"file":..., "ok":true|false, "text":..., "hex":..., "side":..., "startMode":...,
//    "corrected":..., "corners":[[x,y] x4], "milliseconds":..., "error":...}
// Without a decoded symbol text, hex, side, startMode, corrected and corners are null; error is
// null on success, else "open-failed", "image-not-loaded" or "nothing-found". text holds the
// bytes as UTF-8 when they are valid UTF-8, else read as ISO 8859-1; hex holds them exactly.
// Corners are in pixels with y counted from the top row: finder vertex, end of the leg along the
// symbol's left side, end of the bottom leg, the opposite corner.
std::string FormatJsonLine(const std::string& file, const JsonOutcome& outcome);

// A JSON string literal (quotes included) of UTF-8 text; bytes that are not valid UTF-8 become
// U+FFFD.
std::string JsonString(const std::string& utf8);

} // namespace norvale::app
