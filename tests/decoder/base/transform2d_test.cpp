#include "decoder/base/transform2d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace norvale {
namespace {

Transform2D Matrix(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8)
{
    return Transform2D{{m0, m1, m2, m3, m4, m5, m6, m7, m8}};
}

void ExpectMatrixNear(const Transform2D& actual, const Transform2D& expected, double tolerance)
{
    for (int k = 0; k < 9; ++k) {
        EXPECT_NEAR(actual.m[k], expected.m[k], tolerance) << "element " << k;
    }
}

Transform2D Identity()
{
    Transform2D m;
    TransformSetIdentity(m);
    return m;
}

// A general projective matrix with every element in use.
const Transform2D kGeneral = Matrix(1.2f, 0.3f, 0.001f, -0.4f, 0.9f, -0.002f, 15.0f, -7.0f, 1.1f);

// ---------------------------------------------------------------------------------------------
// Constructors and point mapping.

struct MapCase
{
    const char* name;
    std::function<Transform2D()> make;
    PointF in;
    PointF out;
};

Transform2D Made(void (*build)(Transform2D&, float, float), float a, float b)
{
    Transform2D m = kGeneral; // every constructor starts from the identity
    build(m, a, b);
    return m;
}

Transform2D Taper(void (*build)(Transform2D&, float, float, float), float a, float b, float c)
{
    Transform2D m = kGeneral;
    build(m, a, b, c);
    return m;
}

const MapCase kMapCases[] = {
    {"IdentityKeepsPoint", [] { return Identity(); }, {3.5f, -4.0f}, {3.5f, -4.0f}},
    {"TranslateMovesOrigin",
     [] { return Made(TransformTranslate, 5.0f, -2.0f); },
     {0.0f, 0.0f},
     {5.0f, -2.0f}},
    {"ScaleAxes", [] { return Made(TransformScale, 2.0f, 3.0f); }, {1.0f, -1.0f}, {2.0f, -3.0f}},
    {"ShearAlongX", [] { return Made(TransformShear, 2.0f, 0.0f); }, {1.0f, 1.0f}, {3.0f, 1.0f}},
    {"ShearAlongY", [] { return Made(TransformShear, 0.0f, 3.0f); }, {1.0f, 1.0f}, {1.0f, 4.0f}},
    {"RotateQuarterTurn", [] { return Made(TransformRotate, 1.0f, 0.0f); }, {1.0f, 0.0f}, {0.0f, 1.0f}},
    {"RotateSineCosine", [] { return Made(TransformRotate, 0.6f, 0.8f); }, {10.0f, 5.0f}, {5.0f, 10.0f}},
    {"TaperXLeftSide",
     [] { return Taper(TransformTaperX, 80.0f, 120.0f, 100.0f); },
     {0.0f, 80.0f},
     {0.0f, 100.0f}},
    {"TaperXRightSide",
     [] { return Taper(TransformTaperX, 80.0f, 120.0f, 100.0f); },
     {100.0f, 120.0f},
     {100.0f, 100.0f}},
    {"TaperXRightFoot",
     [] { return Taper(TransformTaperX, 80.0f, 120.0f, 100.0f); },
     {100.0f, 0.0f},
     {100.0f, 0.0f}},
    {"TaperXOrigin",
     [] { return Taper(TransformTaperX, 80.0f, 120.0f, 100.0f); },
     {0.0f, 0.0f},
     {0.0f, 0.0f}},
    // Equal sides: x = 0 and x = c stay fixed, so only the heights scale, by c / a.
    {"TaperXEqualSidesScalesHeights",
     [] { return Taper(TransformTaperX, 50.0f, 50.0f, 100.0f); },
     {30.0f, 40.0f},
     {30.0f, 80.0f}},
    {"TaperYEqualSidesScalesWidths",
     [] { return Taper(TransformTaperY, 50.0f, 50.0f, 100.0f); },
     {30.0f, 40.0f},
     {60.0f, 40.0f}},
    {"TaperYBottomSide",
     [] { return Taper(TransformTaperY, 90.0f, 70.0f, 100.0f); },
     {90.0f, 0.0f},
     {100.0f, 0.0f}},
    {"TaperYTopSide",
     [] { return Taper(TransformTaperY, 90.0f, 70.0f, 100.0f); },
     {70.0f, 100.0f},
     {100.0f, 100.0f}},
    {"TaperYTopFoot",
     [] { return Taper(TransformTaperY, 90.0f, 70.0f, 100.0f); },
     {0.0f, 100.0f},
     {0.0f, 100.0f}},
    {"SmallWeightNotDivided",
     [] { return Matrix(1, 0, 0, 0, 1, 0, 3, 4, 1e-6f); },
     {1.0f, 2.0f},
     {4.0f, 6.0f}},
    {"NegativeSmallWeightNotDivided",
     [] { return Matrix(1, 0, 0, 0, 1, 0, 0, 0, -1e-6f); },
     {1.0f, 2.0f},
     {1.0f, 2.0f}},
    {"WeightAboveThresholdDivided",
     [] { return Matrix(1, 0, 0, 0, 1, 0, 0, 0, 2.0f); },
     {1.0f, 2.0f},
     {0.5f, 1.0f}},
    {"PerspectiveDivides",
     [] { return Matrix(1, 0, 0.01f, 0, 1, 0, 0, 0, 1); },
     {100.0f, 50.0f},
     {50.0f, 25.0f}},
};

class TransformMapTest : public ::testing::TestWithParam<MapCase>
{
};

TEST_P(TransformMapTest, MapsPoint)
{
    const Transform2D m = GetParam().make();
    PointF out{};
    TransformApply(out, GetParam().in, m);
    EXPECT_NEAR(out.x, GetParam().out.x, 1e-4);
    EXPECT_NEAR(out.y, GetParam().out.y, 1e-4);
    PointF point = GetParam().in;
    PointF& same = TransformApplyInPlace(point, m);
    EXPECT_EQ(&same, &point);
    EXPECT_EQ(point.x, out.x);
    EXPECT_EQ(point.y, out.y);
}

INSTANTIATE_TEST_SUITE_P(Points, TransformMapTest, ::testing::ValuesIn(kMapCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Transform2DTest, ConstructorsWriteOnlyTheirElements)
{
    Transform2D m = kGeneral;
    TransformShear(m, 2.0f, 3.0f);
    ExpectMatrixNear(m, Matrix(1, 3, 0, 2, 1, 0, 0, 0, 1), 0.0);
    TransformRotate(m, 0.6f, 0.8f);
    ExpectMatrixNear(m, Matrix(0.8f, 0.6f, 0, -0.6f, 0.8f, 0, 0, 0, 1), 0.0);
    TransformTaperX(m, 100.0f, 75.0f, 100.0f);
    ExpectMatrixNear(m, Matrix(0.75f, 0, -0.0025f, 0, 1, 0, 0, 0, 1), 1e-9);
    TransformTaperY(m, 100.0f, 75.0f, 100.0f);
    ExpectMatrixNear(m, Matrix(1, 0, 0, 0, 0.75f, -0.0025f, 0, 0, 1), 1e-9);
    Transform2D copy{};
    TransformCopy(copy, kGeneral);
    ExpectMatrixNear(copy, kGeneral, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Products: A * B applies A first.

TEST(Transform2DTest, ProductAppliesLeftFactorFirst)
{
    Transform2D translate;
    Transform2D scale;
    TransformTranslate(translate, 2.0f, 0.0f);
    TransformScale(scale, 2.0f, 3.0f);
    Transform2D product{};
    TransformMultiply(product, translate, scale);
    PointF p{};
    TransformApply(p, PointF{1.0f, 1.0f}, product);
    EXPECT_FLOAT_EQ(p.x, 6.0f); // (1 + 2) * 2
    EXPECT_FLOAT_EQ(p.y, 3.0f);
    TransformMultiply(product, scale, translate);
    TransformApply(p, PointF{1.0f, 1.0f}, product);
    EXPECT_FLOAT_EQ(p.x, 4.0f); // 1 * 2 + 2
    EXPECT_FLOAT_EQ(p.y, 3.0f);
}

TEST(Transform2DTest, ProductElements)
{
    const Transform2D a = Matrix(1, 2, 3, 4, 5, 6, 7, 8, 9);
    const Transform2D b = Matrix(9, 8, 7, 6, 5, 4, 3, 2, 1);
    Transform2D product{};
    TransformMultiply(product, a, b);
    ExpectMatrixNear(product, Matrix(30, 24, 18, 84, 69, 54, 138, 114, 90), 0.0);
}

TEST(Transform2DTest, PostMultiplyBySelfSquares)
{
    Transform2D square{};
    TransformMultiply(square, kGeneral, kGeneral);
    Transform2D m = kGeneral;
    TransformPostMultiply(m, m);
    ExpectMatrixNear(m, square, 0.0);
}

TEST(Transform2DTest, PostMultiplyMatchesMultiply)
{
    Transform2D rotate;
    TransformRotate(rotate, 0.6f, 0.8f);
    Transform2D expected{};
    TransformMultiply(expected, kGeneral, rotate);
    Transform2D m = kGeneral;
    TransformPostMultiply(m, rotate);
    ExpectMatrixNear(m, expected, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Determinant and inverse.

TEST(Transform2DTest, Determinant)
{
    EXPECT_DOUBLE_EQ(TransformDeterminant(Identity()), 1.0);
    EXPECT_DOUBLE_EQ(TransformDeterminant(Matrix(2, 0, 0, 0, 3, 0, 5, 6, 4)), 24.0);
    EXPECT_DOUBLE_EQ(TransformDeterminant(Matrix(1, 2, 3, 4, 5, 6, 7, 8, 10)), -3.0);
    EXPECT_DOUBLE_EQ(TransformDeterminant(Matrix(1, 2, 3, 4, 5, 6, 7, 8, 9)), 0.0);
}

struct InvertCase
{
    const char* name;
    Transform2D matrix;
};

const InvertCase kInvertCases[] = {
    {"General", kGeneral},
    {"Translation", Matrix(1, 0, 0, 0, 1, 0, -40, 25, 1)},
    {"RotationAndScale", Matrix(0, 2, 0, -3, 0, 0, 1, 1, 1)},
    {"Perspective", Matrix(1, 0, 0.004f, 0, 1, -0.003f, 0, 0, 1)},
    {"IntegerMatrix", Matrix(1, 2, 3, 4, 5, 6, 7, 8, 10)},
    {"DeterminantJustAboveThreshold", Matrix(std::nextafter(1e-6f, 1.0f), 0, 0, 0, 1, 0, 0, 0, 1)},
};

class TransformInvertTest : public ::testing::TestWithParam<InvertCase>
{
};

TEST_P(TransformInvertTest, ProductWithInverseIsIdentity)
{
    const Transform2D& m = GetParam().matrix;
    Transform2D inverse{};
    ASSERT_EQ(TransformInvert(inverse, m), 1);
    Transform2D product{};
    TransformMultiply(product, m, inverse);
    ExpectMatrixNear(product, Identity(), 1e-5);
    TransformMultiply(product, inverse, m);
    ExpectMatrixNear(product, Identity(), 1e-5);
}

TEST_P(TransformInvertTest, PointsRoundTrip)
{
    const Transform2D& m = GetParam().matrix;
    Transform2D inverse{};
    ASSERT_EQ(TransformInvert(inverse, m), 1);
    for (const PointF p : {PointF{0, 0}, PointF{10, 20}, PointF{-30, 7.5f}}) {
        PointF q{};
        TransformApply(q, p, m);
        TransformApplyInPlace(q, inverse);
        EXPECT_NEAR(q.x, p.x, 1e-3 * (1 + std::fabs(p.x)));
        EXPECT_NEAR(q.y, p.y, 1e-3 * (1 + std::fabs(p.y)));
    }
}

INSTANTIATE_TEST_SUITE_P(Matrices, TransformInvertTest, ::testing::ValuesIn(kInvertCases),
                         [](const auto& info) { return std::string(info.param.name); });

const InvertCase kSingularCases[] = {
    {"Zero", Matrix(0, 0, 0, 0, 0, 0, 0, 0, 0)},
    {"RankTwo", Matrix(1, 2, 3, 4, 5, 6, 7, 8, 9)},
    {"DeterminantFiveTenMillionths", Matrix(5e-7f, 0, 0, 0, 1, 0, 0, 0, 1)},
    {"DeterminantJustBelowThreshold", Matrix(std::nextafter(1e-6f, 0.0f), 0, 0, 0, 1, 0, 0, 0, 1)},
    {"NegativeTinyDeterminant", Matrix(-5e-7f, 0, 0, 0, 1, 0, 0, 0, 1)},
    {"NotANumber", Matrix(std::numeric_limits<float>::quiet_NaN(), 0, 0, 0, 1, 0, 0, 0, 1)},
};

class TransformSingularTest : public ::testing::TestWithParam<InvertCase>
{
};

TEST_P(TransformSingularTest, GivesIdentityQuietly)
{
    Transform2D inverse = kGeneral;
    ::testing::internal::CaptureStdout();
    const int result = TransformInvert(inverse, GetParam().matrix);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    ExpectMatrixNear(inverse, Identity(), 0.0);
    EXPECT_EQ(printed, "");
}

INSTANTIATE_TEST_SUITE_P(Matrices, TransformSingularTest, ::testing::ValuesIn(kSingularCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Tapers.

struct TaperPairCase
{
    const char* name;
    void (*build)(Transform2D&, float, float, float);
    float b;
    float inverseB;
};

const TaperPairCase kTaperPairs[] = {
    {"XNarrowingAndWidening", TransformTaperX, 75.0f, 133.33333f},
    {"YNarrowingAndWidening", TransformTaperY, 75.0f, 133.33333f},
    {"XEqualSides", TransformTaperX, 100.0f, 100.0f},
};

class TransformTaperTest : public ::testing::TestWithParam<TaperPairCase>
{
};

TEST_P(TransformTaperTest, PairIsMutuallyInverse)
{
    Transform2D forward;
    Transform2D back;
    GetParam().build(forward, 100.0f, GetParam().b, 100.0f);
    GetParam().build(back, 100.0f, GetParam().inverseB, 100.0f);
    Transform2D product{};
    TransformMultiply(product, forward, back);
    ExpectMatrixNear(product, Identity(), 1e-6);
    Transform2D inverse{};
    ASSERT_EQ(TransformInvert(inverse, forward), 1);
    ExpectMatrixNear(inverse, back, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Pairs, TransformTaperTest, ::testing::ValuesIn(kTaperPairs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Transform2DTest, TaperKeepsStraightLinesStraight)
{
    // The mid point of the trapezoid's top edge lands on the square's top edge.
    Transform2D taper;
    TransformTaperX(taper, 80.0f, 120.0f, 100.0f);
    PointF p{};
    TransformApply(p, PointF{50.0f, 100.0f}, taper);
    EXPECT_NEAR(p.y, 100.0f, 1e-4);
    TransformApply(p, PointF{50.0f, 0.0f}, taper);
    EXPECT_NEAR(p.y, 0.0f, 1e-4);
}

} // namespace
} // namespace norvale
