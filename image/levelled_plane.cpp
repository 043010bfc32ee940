// Levelled plane: soft blocks found from their swing and steps, then the local-mean levelling of
// those blocks and their neighbours, the rest flat.
#include "image/levelled_plane.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace norvale {

namespace {

// Blocks of this many pixels square are judged soft or not.
constexpr uint32_t kSoftBlockSide = 16;

// A block shows structure when its grey values span this much: the grain of a bare metal or
// paper surface and sensor noise stay below it.
constexpr int kSoftSwing = 16;
// ... and is soft when no two neighbouring pixels differ by more than this, nor by more than
// kSoftStepShare of the swing. An edge blurred with a spread of s pixels steps by about 0.4 / s of
// its contrast from one pixel to the next: the share holds for a spread of a pixel and more,
// while print, text, JPEG blocks and noise step by most of their swing.
constexpr int kSoftStep = 24;
constexpr int kSoftStepShareTwentieths = 9; // 0.45
// The smallest symbol soft enough to need levelling (ten modules of five pixels and more) covers
// a square of this many soft blocks a side; scattered soft blocks are gradients and fringes.
constexpr uint32_t kSoftSquareBlocks = 3;
// The local mean and deviation are taken over a square of 2 * 15 + 1 pixels: three modules of a
// ten-pixel dot mark, so that the mean lies between ink and surface.
constexpr int32_t kWindowRadius = 15;
// Levelled grey = mid + (grey - mean) * gain / (deviation + floor), clipped: a deviation of a
// few grey levels is raised to the full range, and the floor keeps a flat area from exploding.
constexpr float kMidGrey = 128.0f;
constexpr float kLevelGain = 60.0f;
constexpr float kDeviationFloor = 2.0f;

uint32_t BlocksAlong(uint32_t pixels)
{
    return (pixels + kSoftBlockSide - 1) / kSoftBlockSide;
}

uint8_t AbsoluteDifference(uint8_t a, uint8_t b)
{
    return static_cast<uint8_t>(std::max(a, b) - std::min(a, b));
}

struct BlockStats
{
    uint8_t low;
    uint8_t high;
    uint8_t step;
};

// True when some square of kSoftSquareBlocks x kSoftSquareBlocks blocks is soft throughout.
bool HasSoftSquare(const uint8_t* soft, uint32_t columns, uint32_t rows)
{
    for (uint32_t by = 0; by + kSoftSquareBlocks <= rows; ++by) {
        for (uint32_t bx = 0; bx + kSoftSquareBlocks <= columns; ++bx) {
            bool all = true;
            for (uint32_t dy = 0; dy < kSoftSquareBlocks && all; ++dy) {
                for (uint32_t dx = 0; dx < kSoftSquareBlocks && all; ++dx) {
                    all = soft[size_t{by + dy} * columns + bx + dx] != 0;
                }
            }
            if (all) {
                return true;
            }
        }
    }
    return false;
}

// Soft blocks and their eight neighbours are levelled.
void MarkLevelledBlocks(const uint8_t* soft, uint8_t* levelled, uint32_t columns, uint32_t rows)
{
    for (uint32_t by = 0; by < rows; ++by) {
        for (uint32_t bx = 0; bx < columns; ++bx) {
            uint8_t near = 0;
            for (uint32_t ny = by > 0 ? by - 1 : 0; ny <= std::min(rows - 1, by + 1); ++ny) {
                for (uint32_t nx = bx > 0 ? bx - 1 : 0; nx <= std::min(columns - 1, bx + 1); ++nx) {
                    near |= soft[size_t{ny} * columns + nx];
                }
            }
            levelled[size_t{by} * columns + bx] = near;
        }
    }
}

// Window sums over the rows within kWindowRadius of the current one, column by column, then
// across the columns within kWindowRadius: the mean and deviation of every levelled pixel's
// window, clipped to the picture. 32 bits hold them: 31 x 31 x 255^2 < 2^27.
void LevelRows(const uint8_t* plane, uint32_t width, uint32_t height, const uint8_t* levelled, uint8_t* out,
               uint32_t* columnSum, uint32_t* columnSquares)
{
    const uint32_t columns = BlocksAlong(width);
    std::memset(columnSum, 0, sizeof(uint32_t) * width);
    std::memset(columnSquares, 0, sizeof(uint32_t) * width);
    const auto addRow = [&](int64_t y, int sign) {
        const uint8_t* row = plane + size_t(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = row[x];
            columnSum[x] += sign > 0 ? v : 0u - v;
            columnSquares[x] += sign > 0 ? v * v : 0u - v * v;
        }
    };
    for (int64_t y = 0; y < std::min<int64_t>(kWindowRadius, height); ++y) {
        addRow(y, 1);
    }
    for (uint32_t y = 0; y < height; ++y) {
        if (int64_t{y} + kWindowRadius < height) {
            addRow(int64_t{y} + kWindowRadius, 1);
        }
        if (int64_t{y} - kWindowRadius - 1 >= 0) {
            addRow(int64_t{y} - kWindowRadius - 1, -1);
        }
        const uint32_t rowsIn =
            static_cast<uint32_t>(std::min<int64_t>(height - 1, int64_t{y} + kWindowRadius) -
                                  std::max<int64_t>(0, int64_t{y} - kWindowRadius) + 1);
        const uint8_t* row = plane + size_t{y} * width;
        uint8_t* target = out + size_t{y} * width;
        const uint8_t* blockRow = levelled + size_t{y / kSoftBlockSide} * columns;
        uint32_t sum = 0;
        uint32_t squares = 0;
        for (uint32_t x = 0; x < std::min<uint32_t>(kWindowRadius, width); ++x) {
            sum += columnSum[x];
            squares += columnSquares[x];
        }
        for (uint32_t x = 0; x < width; ++x) {
            if (x + kWindowRadius < width) {
                sum += columnSum[x + kWindowRadius];
                squares += columnSquares[x + kWindowRadius];
            }
            if (int64_t{x} - kWindowRadius - 1 >= 0) {
                sum -= columnSum[x - kWindowRadius - 1];
                squares -= columnSquares[x - kWindowRadius - 1];
            }
            if (blockRow[x / kSoftBlockSide] == 0) {
                target[x] = static_cast<uint8_t>(kMidGrey);
                continue;
            }
            const uint32_t columnsIn = std::min(width - 1, x + kWindowRadius) -
                                       (x > static_cast<uint32_t>(kWindowRadius) ? x - kWindowRadius : 0) + 1;
            const float count = static_cast<float>(rowsIn * columnsIn);
            const float mean = static_cast<float>(sum) / count;
            const float variance = std::max(0.0f, static_cast<float>(squares) / count - mean * mean);
            const float deviation = std::sqrt(variance);
            const float v =
                kMidGrey + (static_cast<float>(row[x]) - mean) * kLevelGain / (deviation + kDeviationFloor);
            target[x] = static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
        }
    }
}

// Blocks of `plane` (width x height) whose grey swing shows structure but whose steps between
// neighbouring pixels are all gentle, both absolutely and for the swing (a blurred edge). Counts the soft
// blocks and marks them in `soft` (one byte a block, row-major, BlocksAlong(width) x
// BlocksAlong(height) entries).
uint32_t CountSoftBlocks(const uint8_t* plane, uint32_t width, uint32_t height, uint8_t* soft)
{
    if (plane == nullptr || width == 0 || height == 0) {
        return 0;
    }
    const uint32_t columns = BlocksAlong(width);
    const uint32_t rows = BlocksAlong(height);
    auto* stats = static_cast<BlockStats*>(std::malloc(sizeof(BlockStats) * columns));
    auto* steps = static_cast<uint8_t*>(std::malloc(width));
    if (stats == nullptr || steps == nullptr) {
        std::free(stats);
        std::free(steps);
        return 0;
    }
    uint32_t count = 0;
    for (uint32_t by = 0; by < rows; ++by) {
        for (uint32_t bx = 0; bx < columns; ++bx) {
            stats[bx] = BlockStats{255, 0, 0};
        }
        const uint32_t top = std::min(height, (by + 1) * kSoftBlockSide);
        for (uint32_t y = by * kSoftBlockSide; y < top; ++y) {
            const uint8_t* row = plane + size_t{y} * width;
            // The last row and column step to nothing: compared with themselves.
            const uint8_t* next = y + 1 < height ? row + width : row;
            for (uint32_t x = 0; x + 1 < width; ++x) {
                steps[x] =
                    std::max(AbsoluteDifference(row[x + 1], row[x]), AbsoluteDifference(next[x], row[x]));
            }
            steps[width - 1] = AbsoluteDifference(next[width - 1], row[width - 1]);
            for (uint32_t bx = 0; bx < columns; ++bx) {
                const uint32_t x0 = bx * kSoftBlockSide;
                const uint32_t n = std::min(width - x0, kSoftBlockSide);
                BlockStats& b = stats[bx];
                uint8_t low = b.low;
                uint8_t high = b.high;
                uint8_t step = b.step;
                if (n == kSoftBlockSide) {
                    // A whole block's row: a fixed count, so that the loop vectorises.
                    for (uint32_t i = 0; i < kSoftBlockSide; ++i) {
                        low = std::min(low, row[x0 + i]);
                        high = std::max(high, row[x0 + i]);
                        step = std::max(step, steps[x0 + i]);
                    }
                } else {
                    for (uint32_t i = 0; i < n; ++i) {
                        low = std::min(low, row[x0 + i]);
                        high = std::max(high, row[x0 + i]);
                        step = std::max(step, steps[x0 + i]);
                    }
                }
                b = BlockStats{low, high, step};
            }
        }
        for (uint32_t bx = 0; bx < columns; ++bx) {
            const int swing = stats[bx].high - stats[bx].low;
            const int step = stats[bx].step;
            const bool isSoft =
                swing >= kSoftSwing && step <= kSoftStep && 20 * step <= kSoftStepShareTwentieths * swing;
            count += isSoft ? 1 : 0;
            soft[size_t{by} * columns + bx] = isSoft ? 1 : 0;
        }
    }
    std::free(steps);
    std::free(stats);
    return count;
}

} // namespace

uint8_t* BuildLevelledPlane(const uint8_t* plane, uint32_t width, uint32_t height)
{
    if (plane == nullptr || width == 0 || height == 0) {
        return nullptr;
    }
    const size_t blocks = size_t{BlocksAlong(width)} * BlocksAlong(height);
    auto* soft = static_cast<uint8_t*>(std::malloc(blocks));
    auto* levelled = static_cast<uint8_t*>(std::malloc(blocks));
    auto* sums = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * 2 * width));
    auto* out = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
    const bool ready = soft != nullptr && levelled != nullptr && sums != nullptr && out != nullptr &&
                       CountSoftBlocks(plane, width, height, soft) >= kSoftSquareBlocks * kSoftSquareBlocks &&
                       HasSoftSquare(soft, BlocksAlong(width), BlocksAlong(height));
    if (ready) {
        MarkLevelledBlocks(soft, levelled, BlocksAlong(width), BlocksAlong(height));
        LevelRows(plane, width, height, levelled, out, sums, sums + width);
    }
    std::free(sums);
    std::free(levelled);
    std::free(soft);
    if (!ready) {
        std::free(out);
        return nullptr;
    }
    return out;
}

} // namespace norvale
