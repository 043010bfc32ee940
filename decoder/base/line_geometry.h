// Line geometry shared by location and grid fitting: points, fitted straight runs, projection
// and intersection. Stored in single precision, computed in double.
#pragma once

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

// Divides v by its length and returns the length; a zero vector is left as it is and gives 0.
float NormalizeVector(PointF& v);
float LineProjection(const FittedLine& line, PointF p);
int PointOnLine(PointF& out, const FittedLine& line, float t);
// 0 and `out` untouched when the lines are parallel (|cross| < 1e-6).
int IntersectLines(PointF& out, const FittedLine& a, const FittedLine& b);
// pair = (intercept, slope).
int EvaluateLinear(float& y, const float pair[2], float x);

} // namespace norvale
