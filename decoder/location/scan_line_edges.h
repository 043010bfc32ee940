// Scan-line edges: dark/light transitions along one scan line, with the contrast model learnt
// from them, and the sub-pixel crossings of the mid level that start the edge tracers.
#pragma once

#include <cstdint>

#include "decoder/base/scan_contrast.h"

namespace norvale {

struct GrayImage;

// Results of the iterator-style operations of the location stage.
constexpr int kTraceItem = 1;      // an item (a pass, a crossing) was produced
constexpr int kTraceExhausted = 5; // nothing left, or the tracer stopped at the border
constexpr int kTraceMoved = 6;     // the tracer moved (possibly after a turn)

// One-hot travel codes. "Down" means +y, which is upward on the picture (row 0 is the bottom).
enum ScanDirection : int {
    kScanDown = 1,
    kScanLeft = 2,
    kScanUp = 4,
    kScanRight = 8,
};

// Codes 1 and 4 travel along y; 2 and 8 along x.
constexpr int kVerticalCodes = kScanDown | kScanUp;

constexpr bool IsVerticalScan(int direction)
{
    return (direction & kVerticalCodes) != 0;
}
constexpr int kHorizontalCodes = kScanLeft | kScanRight;

// Senses of RotateDirection.
constexpr int kTurnForward = 1;  // down -> right -> up -> left -> down
constexpr int kTurnBackward = 2; // the reverse cycle

// One span of a column (direction 1, positions are y) or a row (direction 8, positions are x).
// Codes 4 and 2 behave as 1 and 8. Positions are always read towards increasing values.
struct ScanLine
{
    int direction;
    int lineCoord; // the column x or the row y
    int startPos;
    int endPos; // last position of the span: startPos + length - 1
    ScanContrast contrast;
    int edgeCount; // transitions counted after the first edge
    int segmentStart;
    int currentPos;
    int lastEdgePos;
};

// Second walk over the span of a finished pass, one crossing of the mid level per request.
struct EdgeWalker
{
    int direction;
    int lineCoord;
    int firstPos; // the pass's segmentStart
    int lastPos;  // the pass's final currentPos - 1
    int posA;
    float levelA;
    float grayA;
    int posB; // posA + 1
    float levelB;
    float grayB;
    float fraction;        // sub-pixel offset of the last crossing from posA
    ScanContrast contrast; // the pass's model with the extremes found around the crossing
};

void InitScanLine(ScanLine& line, int direction, int lineCoord, int start, int length);
// One pass over the rest of the span: kTraceItem, or kTraceExhausted once the span is used up.
// The span must lie inside the picture (the probes clip it).
int NextScanSegment(ScanLine& line, const GrayImage& image);
// True when the 3x3 neighbourhood of the pixel at `pos` has a row or column gradient above 10.
bool ConfirmEdgeGradient(const GrayImage& image, int direction, int lineCoord, int pos);
// At least three counted transitions and a pass longer than 10 pixels.
bool IsUsableSegment(const ScanLine& line);
void InitEdgeWalker(EdgeWalker& walker, const ScanLine& line);
// kTraceItem for a crossing (at posA + fraction) or, once, for the end of the span without one;
// then kTraceExhausted. `lineContrast` is the scan line's own model.
int NextEdgeCrossing(EdgeWalker& walker, const GrayImage& image, const ScanContrast& lineContrast);
// Whether the levels around the walker's last crossing swing as far as a counted transition's
// must (half the swing above 5 levels). A crossing that does not is a ripple of the level, as
// noise or a smooth shade makes it, rather than an edge; its tracers would follow the noise.
// The extremes of a crossing right after the pass's first position may be the wrong way round
// (no maximum seen yet): such a crossing counts as swinging.
bool SwingsLikeTransition(const EdgeWalker& walker);
// Quarter turn of a travel code; sense kTurnForward or kTurnBackward.
int RotateDirection(int code, int sense);

} // namespace norvale
