// Search of one loaded picture: the first symbol (the search, the retry step and the margined
// search, in the order that suits the picture), and the sweep for every symbol, which searches
// again after painting each symbol found out of a copy of the picture.
#pragma once

#include <cstdint>

#include "decoder/base/line_geometry.h"
#include "decoder/base/symbol_record.h"

namespace norvale {

struct DecoderContext;

// The first-symbol search with the retry step of the text entries or of the result entries.
// Afterwards the table holds the decoded symbol first, if any.
void SearchForText(DecoderContext& context);
void SearchForResult(DecoderContext& context);

// One decoded symbol, lifted out of the context: `data` is a malloc'd copy of its bytes (with
// one NUL after them), owned by the holder.
struct FoundSymbol
{
    uint8_t* data;
    int32_t length;
    uint32_t side;
    uint32_t startMode;
    int32_t correctedCount;
    PointF corners[4]; // finder vertex, y-leg end, x-leg end, opposite corner; picture pixels
    SymbolContent content;
};

// The symbols of one call, in the order found; `items` is malloc'd.
struct FoundSymbols
{
    FoundSymbol* items;
    int32_t count;
    int32_t capacity;
};

void FreeFoundSymbols(FoundSymbols& found);

// Most symbols one sweep returns, whatever the caller asks for.
constexpr uint32_t kMaxSweptSymbols = 1024;

// How a sweep ended; the values are those of DecodeResult.errorCode.
enum class SweepEnd : int32_t {
    kFound = 0, // at least one symbol
    kNothingFound = 2,
    kOutOfMemory = 3, // a copy failed; the symbols before it are kept
    kTimedOut = 4,    // the budget ran out before any symbol was found
};

// Searches the context's loaded picture for up to `maxSymbols` distinct symbols (0: every one,
// up to kMaxSweptSymbols) and appends them to `found`. With maxSymbols 1 this is the result
// search exactly. When nothing is found the context's corners are those of the first search.
SweepEnd SweepSymbols(DecoderContext& context, uint32_t maxSymbols, FoundSymbols& found);

} // namespace norvale
