// Crossing log: the straight runs that each crossing of one pass traced to, kept for a later pass
// over a plane with the same pixels. A crossing there that starts its tracers the same way traces
// to the same runs, so they are taken from the log instead of being traced again.
#pragma once

#include <cstdint>

#include "decoder/location/edge_tracer.h"
#include "decoder/location/scan_line_edges.h"

namespace norvale {

// Crossings kept per log; later ones are traced again in the second pass.
constexpr int32_t kMaxLoggedCrossings = 4096;
// Open-addressing slots of the log's index: twice the entries, a power of two.
constexpr int32_t kCrossingLogSlots = 2 * kMaxLoggedCrossings;

// Everything that starts a crossing's two tracers apart from the plane: the scan direction, the
// line, the start position and the walker's contrast figures (as bits), and the polarity.
struct CrossingKey
{
    int32_t direction;
    int32_t lineCoord;
    int32_t polarity;
    uint32_t position;
    uint32_t inkThreshold;
    uint32_t contrastReference;
    uint32_t contrastSign;
};

struct LoggedCrossing
{
    CrossingKey key;
    FittedLine runs[4]; // tracer A's first and second line, then tracer B's
};

enum class CrossingLogMode : uint8_t { kRecord, kReplay };

struct CrossingLog
{
    CrossingLogMode mode;
    int32_t count;
    int32_t replayed;                 // crossings taken from the log so far
    int32_t slots[kCrossingLogSlots]; // entry index + 1, 0 for a free slot
    LoggedCrossing entries[kMaxLoggedCrossings];
};

// An empty log in record mode.
void InitCrossingLog(CrossingLog& log);
// The key of the walker's last crossing on a line scanned in `direction`.
CrossingKey KeyOfCrossing(const EdgeWalker& walker, int direction);
// Keeps the runs of a crossing just traced (the first one of a key; nothing once the log is full).
void LogCrossing(CrossingLog& log, const CrossingKey& key, const EdgeTracer& tracerA,
                 const EdgeTracer& tracerB);
// Gives the two tracers the runs logged for the key and counts the crossing as replayed; false
// when the key was not logged. Only the runs are set; the rest of each tracer is left as it was.
bool ReplayCrossing(CrossingLog& log, const CrossingKey& key, EdgeTracer& tracerA, EdgeTracer& tracerB);

} // namespace norvale
