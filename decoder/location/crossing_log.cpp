// Crossing log: entries in tracing order, found through an open-addressing index on the key.
#include "decoder/location/crossing_log.h"

#include <cstring>

namespace norvale {

namespace {

static_assert(sizeof(CrossingKey) == 7 * sizeof(int32_t),
              "the key is compared byte for byte, without padding");
static_assert((kCrossingLogSlots & (kCrossingLogSlots - 1)) == 0, "the index wraps by a mask");

uint32_t Bits(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// FNV-1a over the key's bytes.
uint32_t HashOf(const CrossingKey& key)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&key);
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < sizeof key; ++i) {
        hash = (hash ^ bytes[i]) * 16777619u;
    }
    return hash;
}

bool SameKey(const CrossingKey& a, const CrossingKey& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The slot holding the key, or the free slot where it would go.
int32_t SlotOf(const CrossingLog& log, const CrossingKey& key)
{
    int32_t slot = static_cast<int32_t>(HashOf(key) & (kCrossingLogSlots - 1));
    while (log.slots[slot] != 0 && !SameKey(log.entries[log.slots[slot] - 1].key, key)) {
        slot = (slot + 1) & (kCrossingLogSlots - 1);
    }
    return slot;
}

} // namespace

void InitCrossingLog(CrossingLog& log)
{
    log.mode = CrossingLogMode::kRecord;
    log.count = 0;
    log.replayed = 0;
    std::memset(log.slots, 0, sizeof log.slots);
}

CrossingKey KeyOfCrossing(const EdgeWalker& walker, int direction)
{
    // What InitEdgeTracer reads of the walker.
    CrossingKey key{};
    key.direction = direction;
    key.lineCoord = walker.lineCoord;
    key.polarity = walker.levelB > walker.levelA ? 1 : -1;
    key.position = Bits(static_cast<float>(walker.posA) + walker.fraction);
    key.inkThreshold = Bits(walker.contrast.inkThreshold);
    key.contrastReference = Bits(walker.contrast.contrastReference);
    key.contrastSign = Bits(walker.contrast.contrastSign);
    return key;
}

void LogCrossing(CrossingLog& log, const CrossingKey& key, const EdgeTracer& tracerA,
                 const EdgeTracer& tracerB)
{
    if (log.count >= kMaxLoggedCrossings) {
        return;
    }
    const int32_t slot = SlotOf(log, key);
    if (log.slots[slot] != 0) {
        return;
    }
    LoggedCrossing& entry = log.entries[log.count];
    entry.key = key;
    entry.runs[0] = tracerA.firstLine;
    entry.runs[1] = tracerA.secondLine;
    entry.runs[2] = tracerB.firstLine;
    entry.runs[3] = tracerB.secondLine;
    log.count += 1;
    log.slots[slot] = log.count;
}

bool ReplayCrossing(CrossingLog& log, const CrossingKey& key, EdgeTracer& tracerA, EdgeTracer& tracerB)
{
    const int32_t slot = SlotOf(log, key);
    if (log.slots[slot] == 0) {
        return false;
    }
    const LoggedCrossing& entry = log.entries[log.slots[slot] - 1];
    tracerA.firstLine = entry.runs[0];
    tracerA.secondLine = entry.runs[1];
    tracerB.firstLine = entry.runs[2];
    tracerB.secondLine = entry.runs[3];
    log.replayed += 1;
    return true;
}

} // namespace norvale
