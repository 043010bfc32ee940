// Line geometry shared by location and grid fitting: points, fitted straight runs, projection
// and intersection.
#include "decoder/base/line_geometry.h"

#include <cmath>

namespace norvale {

float LineProjection(const FittedLine& line, PointF p)
{
    return static_cast<float>((double{p.y} - line.origin.y) * line.direction.y +
                              (double{p.x} - line.origin.x) * line.direction.x);
}

int PointOnLine(PointF& out, const FittedLine& line, float t)
{
    out.x = static_cast<float>(double{line.direction.x} * t + line.origin.x);
    out.y = static_cast<float>(double{line.direction.y} * t + line.origin.y);
    return 1;
}

int IntersectLines(PointF& out, const FittedLine& a, const FittedLine& b)
{
    const double c = double{a.direction.y} * b.direction.x - double{a.direction.x} * b.direction.y;
    if (std::fabs(c) < 1e-6) {
        return 0;
    }
    const double t = (double{b.direction.x} * (double{b.origin.y} - a.origin.y) -
                      double{b.direction.y} * (double{b.origin.x} - a.origin.x)) *
                     (1.0 / c);
    return PointOnLine(out, a, static_cast<float>(t));
}

int EvaluateLinear(float& y, const float pair[2], float x)
{
    y = static_cast<float>(double{pair[1]} * x + pair[0]);
    return 1;
}

} // namespace norvale
