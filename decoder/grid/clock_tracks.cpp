// Clock tracks: module centres measured along the two clocked borders of a fitted frame, and the
// grid lines through them.
#include "decoder/grid/clock_tracks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_frame.h"
#include "decoder/base/symbol_record.h"
#include "decoder/base/symbol_sizes.h"
#include "decoder/base/transform2d.h"
#include "decoder/grid/clock_evidence.h"
#include "decoder/grid/region_border_scan.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

// Samples taken along one track: the track is read at up to three samples per pixel, and a longer
// track at this many over its length (still more than ten per module of the largest symbol).
constexpr int32_t kMaxTrackSamples = 2048;

constexpr double kSamplesPerPixel = 3.0;
// The track is read from one module before the finder's outer edge to one module past the far
// corner, so that the quiet zone shows on both ends.
constexpr double kPadModules = 1.0;
// The local threshold is the midpoint of the darkest and lightest samples within this many
// modules either way: wide enough to hold a dark and a light module wherever the modules shrink,
// narrow enough to follow shading across the symbol.
constexpr double kEnvelopeModules = 1.5;
// Runs shorter than this share of a module are noise (a speck, a JPEG ring), not modules: the
// modules of a curved label shrink to about 0.4 of the frame's nominal width at the sides.
constexpr double kShortestRun = 0.25;
// The first count reads the tracks this share of a module of the first guess inside the border,
// inside the clock row even when the guess is too small by half.
constexpr double kFirstCountDepth = 0.35;
// The count is read again at the clock row's centre for the side it gave, until it repeats.
constexpr int kCountRounds = 3;
// Tracks longer than this (pixels) belong to no picture a reader takes.
constexpr double kLongestTrack = 1 << 16;

PointF FrameToImage(const SymbolRecord& record, double x, double y)
{
    PointF p{};
    TransformApply(p, PointF{static_cast<float>(x), static_cast<float>(y)}, record.frameToImage);
    return p;
}

// The frame point at parameter u along the track, `depth` inside its border.
PointF TrackPoint(const SymbolRecord& record, bool topTrack, double u, double depth)
{
    return topTrack ? FrameToImage(record, u, kFrameSide - depth)
                    : FrameToImage(record, kFrameSide - depth, u);
}

bool Inside(const GrayImage& image, PointF p)
{
    return p.x >= 0.0f && p.y >= 0.0f && p.x <= static_cast<float>(image.width - 1) &&
           p.y <= static_cast<float>(image.height - 1);
}

// One track's samples: parameter, grey, local threshold, whether the point lies in the picture.
struct TrackProfile
{
    int32_t count;
    double start;
    double step;
    float grey[kMaxTrackSamples];
    float mid[kMaxTrackSamples];
    bool inside[kMaxTrackSamples];
    // The block-wise running extremes the window extremes are taken from.
    float blockLow[2][kMaxTrackSamples];
    float blockHigh[2][kMaxTrackSamples];

    double At(int32_t k) const { return start + step * k; }
};

// The midpoint of the darkest and lightest sample of the picture within `reach` of every sample
// (-1 where none lies in the picture), in linear time: the running extremes from the start and
// from the end of each block of 2 reach + 1 samples give any window's extremes from the two blocks
// it overlaps. Samples outside the picture count for nothing (low above every grey, high below
// every grey).
void SlidingMidpoints(TrackProfile& p, int32_t reach)
{
    const int32_t n = p.count;
    const int32_t block = 2 * reach + 1;
    for (int32_t k = 0; k < n; ++k) {
        const float lo = p.inside[k] ? p.grey[k] : 256.0f;
        const float hi = p.inside[k] ? p.grey[k] : -1.0f;
        const bool opens = k % block == 0;
        p.blockLow[0][k] = opens ? lo : std::min(lo, p.blockLow[0][k - 1]);
        p.blockHigh[0][k] = opens ? hi : std::max(hi, p.blockHigh[0][k - 1]);
    }
    for (int32_t k = n - 1; k >= 0; --k) {
        const float lo = p.inside[k] ? p.grey[k] : 256.0f;
        const float hi = p.inside[k] ? p.grey[k] : -1.0f;
        const bool closes = k == n - 1 || (k + 1) % block == 0;
        p.blockLow[1][k] = closes ? lo : std::min(lo, p.blockLow[1][k + 1]);
        p.blockHigh[1][k] = closes ? hi : std::max(hi, p.blockHigh[1][k + 1]);
    }
    for (int32_t k = 0; k < n; ++k) {
        const int32_t from = std::max(0, k - reach);
        const int32_t to = std::min(n - 1, k + reach);
        const float low = std::min(p.blockLow[1][from], p.blockLow[0][to]);
        const float high = std::max(p.blockHigh[1][from], p.blockHigh[0][to]);
        p.mid[k] = high >= low ? 0.5f * (low + high) : -1.0f;
    }
}

bool ReadProfile(TrackProfile& profile, const SymbolRecord& record, const GrayImage& image, bool topTrack,
                 double depth, int32_t expected)
{
    const double pad = kPadModules * kFrameSide / expected;
    const PointF a = TrackPoint(record, topTrack, -pad, depth);
    const PointF b = TrackPoint(record, topTrack, kFrameSide + pad, depth);
    const double length = std::hypot(double{b.x} - a.x, double{b.y} - a.y);
    if (!(length < kLongestTrack) || length < 1.0) {
        return false;
    }
    const double wanted = std::max(length * kSamplesPerPixel, 4.0 * (expected + 2 * kPadModules));
    profile.count = static_cast<int32_t>(std::min(wanted, double{kMaxTrackSamples}));
    profile.start = -pad;
    profile.step = (kFrameSide + 2.0 * pad) / (profile.count - 1);
    int32_t inside = 0;
    for (int32_t k = 0; k < profile.count; ++k) {
        const PointF p = TrackPoint(record, topTrack, profile.At(k), depth);
        profile.inside[k] = Inside(image, p);
        float grey = 0.0f;
        if (profile.inside[k]) {
            SampleBicubic(grey, image, p.x, p.y);
            ++inside;
        }
        profile.grey[k] = grey;
    }
    if (inside < profile.count / 2) {
        return false;
    }
    // Local threshold: the midpoint of the extremes within `reach` samples, over the samples in
    // the picture (one outside takes its neighbours').
    const auto reach =
        static_cast<int32_t>(std::ceil(kEnvelopeModules * kFrameSide / expected / profile.step));
    SlidingMidpoints(profile, reach);
    return true;
}

// Signed ink strength of sample k: positive for ink under the polarity (+1 dark ink).
double Ink(const TrackProfile& profile, int32_t k, double polarity)
{
    return polarity * (double{profile.mid[k]} - profile.grey[k]);
}

// The finder module, the first of the track, is ink: the polarity that makes it so.
double InkPolarity(const TrackProfile& profile, int32_t expected)
{
    const double module = kFrameSide / expected;
    double sum = 0.0;
    for (int32_t k = 0; k < profile.count; ++k) {
        const double u = profile.At(k);
        if (profile.inside[k] && u > 0.2 * module && u < 0.8 * module) {
            sum += double{profile.mid[k]} - profile.grey[k];
        }
    }
    return sum >= 0.0 ? 1.0 : -1.0;
}

struct TrackEdges
{
    int32_t count;
    double at[kMaxTrackSamples];
    bool toInk[kMaxTrackSamples];
};

// Class changes along the profile at sub-sample positions; points outside the picture take the
// class of the last point inside.
void FindEdges(TrackEdges& edges, const TrackProfile& profile, double polarity)
{
    edges.count = 0;
    int32_t previous = -1;
    for (int32_t k = 0; k < profile.count; ++k) {
        if (!profile.inside[k] || profile.mid[k] < 0.0f) {
            continue;
        }
        if (previous >= 0 && (Ink(profile, k, polarity) > 0.0) != (Ink(profile, previous, polarity) > 0.0)) {
            const double d0 = Ink(profile, previous, polarity);
            const double d1 = Ink(profile, k, polarity);
            const double f = d0 / (d0 - d1);
            edges.at[edges.count] = profile.At(previous) + f * (profile.At(k) - profile.At(previous));
            edges.toInk[edges.count] = d1 > 0.0;
            ++edges.count;
        }
        previous = k;
    }
}

void DropEdgePair(TrackEdges& edges, int32_t i)
{
    for (int32_t k = i; k + 2 < edges.count; ++k) {
        edges.at[k] = edges.at[k + 2];
        edges.toInk[k] = edges.toInk[k + 2];
    }
    edges.count -= 2;
}

// Runs shorter than kShortestRun modules are merged into their neighbours, shortest first.
void DropShortRuns(TrackEdges& edges, double shortest)
{
    while (edges.count >= 2) {
        int32_t best = -1;
        double bestRun = shortest;
        for (int32_t i = 0; i + 1 < edges.count; ++i) {
            const double run = edges.at[i + 1] - edges.at[i];
            if (run < bestRun) {
                bestRun = run;
                best = i;
            }
        }
        if (best < 0) {
            return;
        }
        DropEdgePair(edges, best);
    }
}

// Module centres from the changes edges[first .. last - 1]: the first is the finder module's
// outer edge, each later one the border between two modules; the last module (light) ends
// unseen in the quiet zone and is taken as wide as the one before it. Where the finder module
// reaches the picture's edge, its outer edge is the frame's border and the first change into ink
// is that of the third module. Returns the modules, 0 when the changes do not make a track.
int32_t CollectCentres(const TrackEdges& edges, int32_t first, int32_t last, double module, float* centres)
{
    if (first >= last) {
        return 0;
    }
    double borders[kLargestSymbolSide + 1];
    int32_t count = 0;
    if (last - first > kLargestSymbolSide) {
        return 0;
    }
    if (edges.at[first] > 0.5 * module) {
        if (first < 1 || edges.toInk[first - 1] || !(edges.at[first - 1] > 0.0)) {
            return 0;
        }
        borders[count++] = 0.0;
        --first;
    }
    for (int32_t e = first; e < last; ++e) {
        borders[count++] = edges.at[e];
    }
    if (count < 2) {
        return 0;
    }
    for (int32_t j = 0; j < count && j < kLargestSymbolSide; ++j) {
        const double width = j + 1 < count ? borders[j + 1] - borders[j] : borders[j] - borders[j - 1];
        centres[j] = static_cast<float>(borders[j] + 0.5 * width);
    }
    return count;
}

// Module count and centres measured along one clock track of the record's frame: the top border
// (frame y = 100, towards increasing x) or the right border (frame x = 100, towards increasing
// y), read `depthFrame` frame units inside the border. `expected` is the side whose module width
// sets the local threshold's reach. Returns the modules counted (the finder's outer edge and every
// change after it, up to the far end), 0 when the track cannot be read; the first
// kLargestSymbolSide centres are written to `centres` in frame units along the track.
int32_t MeasureClockTrack(const SymbolRecord& record, const GrayImage& image, bool topTrack, float depthFrame,
                          int32_t expected, float* centres)
{
    if (expected < kSmallestSymbolSide || expected > kLargestSymbolSide || image.current == nullptr) {
        return 0;
    }
    auto* profile = static_cast<TrackProfile*>(std::malloc(sizeof(TrackProfile)));
    auto* edges = static_cast<TrackEdges*>(std::malloc(sizeof(TrackEdges)));
    int32_t modules = 0;
    if (profile != nullptr && edges != nullptr &&
        ReadProfile(*profile, record, image, topTrack, depthFrame, expected)) {
        const double module = kFrameSide / expected;
        FindEdges(*edges, *profile, InkPolarity(*profile, expected));
        DropShortRuns(*edges, kShortestRun * module);
        // The track starts at the finder's outer edge (into ink) within half a module of the
        // frame's border; where the picture's edge cuts it off, at the frame's border.
        int32_t first = 0;
        while (first < edges->count && !(edges->toInk[first] && edges->at[first] > -0.5 * module)) {
            ++first;
        }
        int32_t last = edges->count;
        // A change into ink past the last module is the surround beyond the far corner.
        while (last > first &&
               (edges->at[last - 1] > kFrameSide + 0.5 * module ||
                (edges->toInk[last - 1] && edges->at[last - 1] > kFrameSide - 0.5 * module))) {
            --last;
        }
        modules = CollectCentres(*edges, first, last, module, centres);
    }
    std::free(edges);
    std::free(profile);
    return modules;
}

} // namespace

int LayClockTrackGrid(SymbolRecord& record, const GrayImage& image)
{
    if (record.rowLines != nullptr || record.columnLines != nullptr || !(record.xLegLength > 0.0f) ||
        !(record.yLegLength > 0.0f)) {
        return 0;
    }
    // A first guess of the side from the changes next to the far sides, then the tracks read a
    // third of a module inside the border for that side; their count is read again at the clock
    // row's centre until it repeats.
    int32_t side =
        std::clamp(CountFarSideChanges(record, image) + 1, kSmallestSymbolSide, kLargestSymbolSide);
    float top[kLargestSymbolSide];
    float right[kLargestSymbolSide];
    auto depth = static_cast<float>(kFirstCountDepth * kFrameSide / side);
    int32_t topCount = 0;
    int32_t rightCount = 0;
    // A top count that is no symbol side fails the round whatever the right track counts, so the
    // right track is read only after a valid one.
    const auto countTracks = [&] {
        topCount = MeasureClockTrack(record, image, true, depth, side, top);
        if (!IsValidSymbolSide(topCount)) {
            return false;
        }
        rightCount = MeasureClockTrack(record, image, false, depth, side, right);
        return true;
    };
    if (!countTracks()) {
        return 0;
    }
    for (int round = 0; round < kCountRounds; ++round) {
        if (topCount != rightCount) {
            return 0;
        }
        if (round > 0 && topCount == side) {
            break;
        }
        side = topCount;
        depth = static_cast<float>(0.5 * kFrameSide / side);
        if (!countTracks()) {
            return 0;
        }
    }
    if (topCount != side || rightCount != side) {
        return 0;
    }
    const size_t entries = static_cast<size_t>(side) + 1;
    auto* rows = static_cast<FittedLine*>(std::calloc(entries, sizeof(FittedLine)));
    auto* columns = static_cast<FittedLine*>(std::calloc(entries, sizeof(FittedLine)));
    if (rows == nullptr || columns == nullptr) {
        std::free(rows);
        std::free(columns);
        return 0;
    }
    const double near = 0.5 * kFrameSide / side;
    const double far = kFrameSide - near;
    for (int32_t k = 0; k < side; ++k) {
        AimLine(columns[k], FrameToImage(record, top[k], near), FrameToImage(record, top[k], far));
        AimLine(rows[k], FrameToImage(record, near, right[k]), FrameToImage(record, far, right[k]));
    }
    record.rowLines = rows;
    record.columnLines = columns;
    record.gridLineCount = side;
    record.moduleCountHint = side;
    return 1;
}

} // namespace norvale
