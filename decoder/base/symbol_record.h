// Symbol record: one finder candidate as it travels through location, frame fitting, sampling
// and decoding. It owns six heap buffers; copying it by value moves them with it.
#pragma once

#include <cstdint>

#include "decoder/base/line_geometry.h"
#include "decoder/base/scan_contrast.h"
#include "decoder/base/symbol_frame.h"

namespace norvale {

// Marks a record that must not be evaluated (again).
constexpr int32_t kStatusSkip = 2;

// ECI designators kept per symbol; a symbol that names more still counts them all.
constexpr int32_t kMaxKeptEciDesignators = 4;

// Where a symbol's flagging FNC1 stands: first data codeword (or fifth, after a structured-append
// header) for GS1, second (or sixth) after a letter or digit pair for an AIM application.
enum class Fnc1Flag : uint8_t {
    kNone,
    kGs1,
    kAim,
};

// What the function codewords of a symbol say about its content, besides the bytes.
struct SymbolContent
{
    Fnc1Flag fnc1;
    bool readerProgramming;
    bool structuredAppend;
    uint8_t appendPosition; // 1-based place in the sequence
    uint8_t appendTotal;    // symbols in the sequence
    uint16_t appendFileId;  // the two identification codewords, first one high
    int32_t eciCount;       // designators met, kept or not
    uint32_t eci[kMaxKeptEciDesignators];
};

struct SymbolRecord
{
    PointF corner;  // finder vertex, frame (0, 0)
    PointF yLegEnd; // frame (0, 100)
    PointF xLegEnd; // frame (100, 0)
    float yLegLength;
    float xLegLength;
    ScanContrast contrast;
    int16_t inkSense; // +1 dark on light, -1 light on dark, 0 not yet known
    FrameParams frame;
    Transform2D imageToFrame;
    Transform2D frameToImage;
    PointF topWalkStart;
    PointF topWalkEnd;
    PointF rightWalkStart;
    PointF rightWalkEnd;
    int32_t moduleCountHint; // 0 = none
    int32_t sizeIndex;
    uint32_t regionCount;
    int32_t matrixRows;
    int32_t matrixCols;
    uint32_t matrixSize;
    int32_t totalCodewords;
    uint32_t dataCapacity; // bytes of `data`: 10 per codeword
    int32_t dataLength;
    uint8_t* moduleMatrix;
    uint8_t* codewords; // placement order, corrected in place
    uint8_t* data;      // decoded bytes, no terminator
    uint16_t* erasures;
    int32_t erasureCount;
    FittedLine* rowLines;    // moduleCountHint + 1 entries
    FittedLine* columnLines; // moduleCountHint + 1 entries
    int32_t gridLineCount;
    int32_t status;
    int32_t correctedCount; // -1 when correction failed
    SymbolContent content;  // written with the decoded bytes
};

// Zero-fills the record, copies the scan line's contrast block in, resets the frame parameters
// and builds both frame matrices (the identity).
void InitSymbolRecord(SymbolRecord& symbol, const ScanContrast& contrast);
// The same without the frame matrices, for a record whose matrices are built once its frame
// parameters are set.
void ResetSymbolRecord(SymbolRecord& symbol, const ScanContrast& contrast);
void ReleaseSymbolBuffers(SymbolRecord& symbol);
// Frees the four buffers size selection allocates (mapping matrix, codewords, erasures, data),
// leaving the grid lines.
void ReleaseCodewordBuffers(SymbolRecord& symbol);
void ClearSymbolRecord(SymbolRecord& symbol);
// Modules per side of the record's size, 0 for a null record.
uint32_t GetSymbolSide(const SymbolRecord* symbol);

} // namespace norvale
