// Line geometry shared by location and grid fitting: points, fitted straight runs, projection
// and intersection. Stored in single precision, computed in double.
#pragma once

#include <cmath>
#include <cstdint>

namespace norvale {

struct PointF
{
    float x;
    float y;
};

// A straight run: the point at parameter t is origin + t * direction; it covers [tStart, tEnd].
// A zeroed record is an empty line.
struct FittedLine
{
    uint8_t valid;
    uint8_t refined; // direction re-aimed after recording
    float tStart;
    float tEnd;
    PointF origin;
    PointF direction; // unit length
};

// Two points within `distance` of each other on both axes.
inline bool CloseCorners(PointF a, PointF b, float distance)
{
    return std::fabs(a.x - b.x) < distance && std::fabs(a.y - b.y) < distance;
}

// A real value to the nearest integer: add 0.5, then truncate toward zero (floors are never used).
inline int32_t Nearest(double v)
{
    return static_cast<int32_t>(v + 0.5);
}

// Divides v by its length and returns the length; a zero vector is left as it is and gives 0.
// Defined here so that the edge tracer's inner loop inlines it whatever the linker's choices.
inline float NormalizeVector(PointF& v)
{
    const double length = std::sqrt(double{v.x} * v.x + double{v.y} * v.y);
    if (length == 0.0) {
        return 0.0f;
    }
    const double inverse = 1.0 / length;
    v.x = static_cast<float>(v.x * inverse);
    v.y = static_cast<float>(v.y * inverse);
    return static_cast<float>(length);
}
float LineProjection(const FittedLine& line, PointF p);
int PointOnLine(PointF& out, const FittedLine& line, float t);
// 0 and `out` untouched when the lines are parallel (|cross| < 1e-6).
int IntersectLines(PointF& out, const FittedLine& a, const FittedLine& b);
// pair = (intercept, slope).
int EvaluateLinear(float& y, const float pair[2], float x);

} // namespace norvale
