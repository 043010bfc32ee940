// Region-border verification: fraction checks of the segment borders and half-module corrections
// of each border line against the clocked and solid module rows around it.
#include "decoder/grid/border_verification.h"

#include <cmath>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_record.h"
#include "image/gray_image.h"

namespace norvale {

namespace {

// The places of region borders on a side, as fractions of it, in the order they are tried.
constexpr float kBorderFractions[] = {1.0f / 6.0f, 0.25f, 1.0f / 3.0f, 0.5f,
                                      2.0f / 3.0f, 0.75f, 5.0f / 6.0f, 1.0f};
constexpr double kMaxFractionError = 0.1;
constexpr double kMaxFractionErrorPixels = 15.0;
constexpr float kFractionTolerance = 1e-6f;

enum class BorderEnd {
    kNear, // on the leg line
    kFar,  // on the far line
};

// One border line, held as its two ends: distances along the leg line (near) and along the far
// border line (far), next to those of the previous border. q = 1 / modules between the two.
struct BorderEnds
{
    const FittedLine* nearLine;
    const FittedLine* farLine;
    float nearPrevious;
    float farPrevious;
    float q;
    float nearDistance;
    float farDistance;

    float NearSpan() const { return nearDistance - nearPrevious; }
    float FarSpan() const { return farDistance - farPrevious; }
    float NearPitch() const { return NearSpan() * q; }
    float FarPitch() const { return FarSpan() * q; }
};

// Minority score of the line half a module (e = -1 inside, +1 outside) off the border.
int32_t ScoreTestLine(const GrayImage& image, const SymbolRecord& record, const BorderEnds& ends, float e)
{
    PointF from{};
    PointF to{};
    PointOnLine(from, *ends.nearLine, ends.nearDistance + e * ends.NearPitch() * 0.5f);
    PointOnLine(to, *ends.farLine, ends.farDistance + e * ends.FarPitch() * 0.5f);
    FittedLine test{};
    test.valid = 1;
    if (AimLine(test, from, to) == 0) {
        return 0;
    }
    test.tEnd = static_cast<float>(std::hypot(double{to.x} - from.x, double{to.y} - from.y));
    return CountMinoritySamples(image, record, test, record.moduleCountHint);
}

void MoveInward(BorderEnds& ends, BorderEnd end)
{
    if (end == BorderEnd::kNear) {
        ends.nearDistance -= ends.NearPitch() * 0.5f;
    } else {
        ends.farDistance -= ends.FarPitch() * 0.5f;
    }
}

// See-saw: the end that did not move inward last goes in, the other goes back out.
void ToggleEnds(BorderEnds& ends, BorderEnd& lastInward)
{
    const float nearHalf = ends.NearPitch() * 0.5f;
    const float farHalf = ends.FarPitch() * 0.5f;
    if (lastInward == BorderEnd::kFar) {
        ends.nearDistance -= nearHalf;
        ends.farDistance += farHalf;
        lastInward = BorderEnd::kNear;
    } else {
        ends.farDistance -= farHalf;
        ends.nearDistance += nearHalf;
        lastInward = BorderEnd::kFar;
    }
}

// Up to kMaxBorderCorrections half-module moves while the test line fails: the inside line
// (e = -1) must show kSolidLineMinority or more minority samples, the outside line (e = +1) at
// most that many. Row borders see-saw after the first move; column borders (`followScore`) make
// a fresh move after every correction that improved the score and see-saw otherwise.
void CorrectBorder(const GrayImage& image, const SymbolRecord& record, BorderEnds& ends, FittedLine& scanLine,
                   bool inside, bool followScore)
{
    const float e = inside ? -1.0f : 1.0f;
    auto fails = [inside](int32_t score) {
        return inside ? score < kSolidLineMinority : score > kSolidLineMinority;
    };
    int32_t score = ScoreTestLine(image, record, ends, e);
    BorderEnd lastInward = BorderEnd::kNear;
    bool improved = false;
    for (int correction = 0; correction < kMaxBorderCorrections && fails(score); ++correction) {
        if (correction == 0 || (followScore && improved)) {
            const bool nearEnd =
                inside ? ends.NearSpan() > ends.FarSpan() : !(ends.FarSpan() >= ends.NearSpan());
            lastInward = nearEnd ? BorderEnd::kNear : BorderEnd::kFar;
            MoveInward(ends, lastInward);
        } else {
            ToggleEnds(ends, lastInward);
        }
        PointF origin{};
        PointF target{};
        PointOnLine(origin, *ends.nearLine, ends.nearDistance);
        PointOnLine(target, *ends.farLine, ends.farDistance);
        AimLine(scanLine, origin, target);
        const int32_t next = ScoreTestLine(image, record, ends, e);
        improved = inside ? next > score : next < score;
        score = next;
    }
}

} // namespace

int SnapBorderFraction(float distance, float sideLength, float& fraction)
{
    if (!(sideLength > 0.0f)) {
        return 0;
    }
    const double r = double{distance} / sideLength;
    double best = 1.0; // only a difference below 1 counts
    int index = -1;
    for (int i = 0; i < static_cast<int>(sizeof kBorderFractions / sizeof kBorderFractions[0]); ++i) {
        const double difference = std::fabs(r - kBorderFractions[i]);
        if (difference < best) {
            best = difference;
            index = i;
        }
    }
    if (index < 0 || !(best < kMaxFractionError) || !(best * sideLength < kMaxFractionErrorPixels)) {
        return 0;
    }
    fraction = kBorderFractions[index];
    return 1;
}

int32_t CountMinoritySamples(const GrayImage& image, const SymbolRecord& record, const FittedLine& line,
                             int32_t n)
{
    if (n <= 0 || n > kMaxScanSamples) {
        return 0;
    }
    const float threshold = GreyThreshold(record.contrast);
    const float step = line.tEnd / static_cast<float>(n);
    int32_t above = 0;
    int32_t below = 0;
    for (int32_t i = 0; i < n; ++i) {
        PointF p{};
        float gray = 0.0f;
        PointOnLine(p, line, (static_cast<float>(i) + 0.5f) * step);
        SampleBicubic(gray, image, p.x, p.y);
        if (gray >= threshold) {
            ++above;
        } else {
            ++below;
        }
    }
    return above < below ? above : below;
}

int VerifyRegionBorders(const GrayImage& image, const SymbolRecord& record, RegionScanState& state)
{
    const int32_t count = state.segmentCount;
    if (count < 1) {
        return 1;
    }
    if (count > kMaxSegments || state.columnScans == nullptr || state.rowScans == nullptr) {
        return 0;
    }
    for (int32_t k = 0; k < count; ++k) {
        if (state.segmentColumn[k] < 0 || state.segmentColumn[k] >= kMaxSegments || state.segmentRow[k] < 0 ||
            state.segmentRow[k] >= kMaxSegments) {
            return 0;
        }
    }
    // The far lines are the last segment's own scans: its corrections move them too.
    const FittedLine& farColumn = state.columnScans[state.segmentColumn[count - 1]].line;
    const FittedLine& farRow = state.rowScans[state.segmentRow[count - 1]].line;

    float b0 = 0.0f, y0 = 0.0f, r0 = 0.0f, x0 = 0.0f, t0 = 0.0f;
    for (int32_t k = 0; k < count; ++k) {
        FittedLine& columnLine = state.columnScans[state.segmentColumn[k]].line;
        FittedLine& rowLine = state.rowScans[state.segmentRow[k]].line;

        float fraction = 0.0f;
        const float m = LineProjection(state.xLegLine, columnLine.origin);
        if (SnapBorderFraction(m, state.scanLength, fraction) == 0) {
            return 0;
        }
        if (std::fabs(static_cast<float>(k + 1) / static_cast<float>(count) - fraction) >=
            kFractionTolerance) {
            return 0;
        }
        const float b = static_cast<float>(record.moduleCountHint) * fraction;
        if (b == b0) {
            return 0;
        }
        const float q = 1.0f / (b - b0);

        BorderEnds rows{&state.yLegLine, &farColumn, y0, r0, q, 0.0f, 0.0f};
        if (DistanceOfCrossing(rows.nearDistance, rowLine, state.yLegLine) == 0 ||
            DistanceOfCrossing(rows.farDistance, rowLine, farColumn) == 0) {
            return 0;
        }
        CorrectBorder(image, record, rows, rowLine, true, false);
        CorrectBorder(image, record, rows, rowLine, false, false);

        BorderEnds columns{&state.xLegLine, &farRow, x0, t0, q, 0.0f, 0.0f};
        if (DistanceOfCrossing(columns.nearDistance, columnLine, state.xLegLine) == 0 ||
            DistanceOfCrossing(columns.farDistance, columnLine, farRow) == 0) {
            return 0;
        }
        CorrectBorder(image, record, columns, columnLine, true, true);
        CorrectBorder(image, record, columns, columnLine, false, true);

        b0 = b;
        y0 = rows.nearDistance;
        r0 = rows.farDistance;
        x0 = columns.nearDistance;
        t0 = columns.farDistance;
    }
    return 1;
}

} // namespace norvale
