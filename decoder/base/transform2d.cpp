// 3x3 projective transforms: constructors, product, inverse and point mapping.
#include "decoder/base/transform2d.h"

#include <cmath>

namespace norvale {

namespace {

constexpr Transform2D kIdentity = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
constexpr double kSingularDeterminant = 1e-6;

} // namespace

void TransformCopy(Transform2D& destination, const Transform2D& source)
{
    destination = source;
}

void TransformSetIdentity(Transform2D& matrix)
{
    matrix = kIdentity;
}

double TransformDeterminant(const Transform2D& matrix)
{
    const float* m = matrix.m;
    return double{m[0]} * (double{m[4]} * m[8] - double{m[5]} * m[7]) -
           double{m[1]} * (double{m[3]} * m[8] - double{m[5]} * m[6]) +
           double{m[2]} * (double{m[3]} * m[7] - double{m[4]} * m[6]);
}

int TransformInvert(Transform2D& destination, const Transform2D& source)
{
    const double d = TransformDeterminant(source);
    // The negated test also catches a determinant that is not a number.
    if (!(std::fabs(d) >= kSingularDeterminant)) {
        destination = kIdentity;
        return 0;
    }
    const float* m = source.m;
    const double inv = 1.0 / d;
    auto set = [&](int k, double value) { destination.m[k] = static_cast<float>(value * inv); };
    set(0, double{m[4]} * m[8] - double{m[5]} * m[7]);
    set(1, -(double{m[1]} * m[8] - double{m[2]} * m[7]));
    set(2, double{m[1]} * m[5] - double{m[2]} * m[4]);
    set(3, -(double{m[3]} * m[8] - double{m[5]} * m[6]));
    set(4, double{m[0]} * m[8] - double{m[2]} * m[6]);
    set(5, -(double{m[0]} * m[5] - double{m[2]} * m[3]));
    set(6, double{m[3]} * m[7] - double{m[4]} * m[6]);
    set(7, -(double{m[0]} * m[7] - double{m[1]} * m[6]));
    set(8, double{m[0]} * m[4] - double{m[1]} * m[3]);
    return 1;
}

void TransformMultiply(Transform2D& destination, const Transform2D& a, const Transform2D& b)
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                sum += double{a.m[3 * r + k]} * b.m[3 * k + c];
            }
            destination.m[3 * r + c] = static_cast<float>(sum);
        }
    }
}

// The product goes to a temporary first, so b may be `matrix` itself.
void TransformPostMultiply(Transform2D& matrix, const Transform2D& b)
{
    Transform2D product;
    TransformMultiply(product, matrix, b);
    matrix = product;
}

PointF& TransformApplyInPlace(PointF& point, const Transform2D& matrix)
{
    TransformApply(point, point, matrix);
    return point;
}

void TransformTranslate(Transform2D& matrix, float tx, float ty)
{
    matrix = kIdentity;
    matrix.m[6] = tx;
    matrix.m[7] = ty;
}

void TransformScale(Transform2D& matrix, float sx, float sy)
{
    matrix = kIdentity;
    matrix.m[0] = sx;
    matrix.m[4] = sy;
}

void TransformShear(Transform2D& matrix, float a, float b)
{
    matrix = kIdentity;
    matrix.m[3] = a;
    matrix.m[1] = b;
}

void TransformRotate(Transform2D& matrix, float sine, float cosine)
{
    matrix = kIdentity;
    matrix.m[0] = cosine;
    matrix.m[1] = sine;
    matrix.m[3] = -sine;
    matrix.m[4] = cosine;
}

// Takes the trapezoid (0,0), (c,0), (c,b), (0,a) onto the square of side c, fixing x = 0 and x = c.
void TransformTaperX(Transform2D& matrix, float a, float b, float c)
{
    matrix = kIdentity;
    matrix.m[0] = static_cast<float>(double{b} / a);
    matrix.m[4] = static_cast<float>(double{c} / a);
    matrix.m[2] = static_cast<float>((double{b} - a) / (double{a} * c));
}

// The same with the axes exchanged: widths a at y = 0 and b at y = c both become c.
void TransformTaperY(Transform2D& matrix, float a, float b, float c)
{
    matrix = kIdentity;
    matrix.m[4] = static_cast<float>(double{b} / a);
    matrix.m[0] = static_cast<float>(double{c} / a);
    matrix.m[5] = static_cast<float>((double{b} - a) / (double{a} * c));
}

} // namespace norvale
