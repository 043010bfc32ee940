// 3x3 projective transforms on row vectors: p' = [x y 1] * M, then divided by W when |W| > 1e-6.
// A product A * B applied to a point means first A, then B.
#pragma once

#include <cmath>

#include "decoder/base/line_geometry.h"

namespace norvale {

// Row-major: element (r, c) is m[3r + c]. m6, m7 hold the translation, m2, m5 the perspective.
struct Transform2D
{
    float m[9];
};

void TransformCopy(Transform2D& destination, const Transform2D& source);
void TransformSetIdentity(Transform2D& matrix);
double TransformDeterminant(const Transform2D& matrix);
// 1 and the inverse; 0 and the identity when |determinant| < 1e-6 (or not a number).
int TransformInvert(Transform2D& destination, const Transform2D& source);
void TransformMultiply(Transform2D& destination, const Transform2D& a, const Transform2D& b);
void TransformPostMultiply(Transform2D& matrix, const Transform2D& b);
// Below this |W| a mapped point is left undivided.
constexpr double kProjectiveEpsilon = 1e-6;

// Inline: every module sample and walk step maps a point, so the call stays out of their loops.
inline void TransformApply(PointF& out, PointF in, const Transform2D& matrix)
{
    const float* m = matrix.m;
    double x = double{m[0]} * in.x + double{m[3]} * in.y + m[6];
    double y = double{m[1]} * in.x + double{m[4]} * in.y + m[7];
    const double w = double{m[2]} * in.x + double{m[5]} * in.y + m[8];
    if (std::fabs(w) > kProjectiveEpsilon) {
        x /= w;
        y /= w;
    }
    out.x = static_cast<float>(x);
    out.y = static_cast<float>(y);
}
PointF& TransformApplyInPlace(PointF& point, const Transform2D& matrix);
void TransformTranslate(Transform2D& matrix, float tx, float ty);
void TransformScale(Transform2D& matrix, float sx, float sy);
void TransformShear(Transform2D& matrix, float a, float b);
void TransformRotate(Transform2D& matrix, float sine, float cosine);
void TransformTaperX(Transform2D& matrix, float a, float b, float c);
void TransformTaperY(Transform2D& matrix, float a, float b, float c);

} // namespace norvale
