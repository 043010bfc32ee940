#include "decoder/base/symbol_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "decoder/base/symbol_record.h"
#include "decoder/decoder_context.h"

namespace norvale {
namespace {

FrameParams Reset()
{
    FrameParams params;
    ResetFrameParams(params);
    return params;
}

PointF Map(const Transform2D& m, PointF p)
{
    PointF out{};
    TransformApply(out, p, m);
    return out;
}

void ExpectIdentity(const Transform2D& m)
{
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int k = 0; k < 9; ++k) {
        EXPECT_NEAR(m.m[k], identity[k], 1e-6) << "element " << k;
    }
}

TEST(SymbolFrameTest, ResetValues)
{
    const FrameParams p = Reset();
    EXPECT_EQ(p.tx, 0.0f);
    EXPECT_EQ(p.ty, 0.0f);
    EXPECT_EQ(p.shearX, 0.0f);
    EXPECT_EQ(p.shearY, 0.0f);
    EXPECT_EQ(p.scaleX, 1.0f);
    EXPECT_EQ(p.scaleY, 1.0f);
    EXPECT_EQ(p.widthAtY0, 100.0f);
    EXPECT_EQ(p.widthAtY100, 100.0f);
    EXPECT_EQ(p.heightAtX0, 100.0f);
    EXPECT_EQ(p.heightAtX100, 100.0f);
    EXPECT_EQ(p.rotSin, 0.0f);
    EXPECT_EQ(p.rotCos, 0.0f);
    EXPECT_EQ(p.hasRotation, 0);
}

TEST(SymbolFrameTest, FreshRecordMapsIdentically)
{
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    ExpectIdentity(record.imageToFrame);
    ExpectIdentity(record.frameToImage);
    const PointF p = Map(record.frameToImage, {100.0f, 100.0f});
    EXPECT_FLOAT_EQ(p.x, 100.0f);
    EXPECT_FLOAT_EQ(p.y, 100.0f);
}

// ---------------------------------------------------------------------------------------------
// Known frame-to-image positions.

struct KnownCase
{
    const char* name;
    FrameParams params;
    PointF frame;
    PointF image;
};

FrameParams TranslatedScaled()
{
    FrameParams p = Reset();
    p.tx = -50.0f;
    p.ty = -20.0f;
    p.scaleX = 0.5f;
    p.scaleY = 0.25f;
    return p;
}

FrameParams RightSideShort()
{
    FrameParams p = Reset();
    p.heightAtX100 = 80.0f;
    return p;
}

FrameParams TopSideNarrow()
{
    FrameParams p = Reset();
    p.widthAtY100 = 60.0f;
    return p;
}

FrameParams RotationIgnored()
{
    FrameParams p = Reset();
    p.rotSin = 0.5f;
    p.rotCos = 0.2f;
    return p;
}

FrameParams QuarterTurn()
{
    FrameParams p = Reset();
    p.rotSin = 1.0f;
    p.rotCos = 0.0f;
    p.hasRotation = 1;
    return p;
}

const KnownCase kKnownCases[] = {
    {"TranslatedScaledFarCorner", TranslatedScaled(), {100, 100}, {250, 420}},
    {"TranslatedScaledOrigin", TranslatedScaled(), {0, 0}, {50, 20}},
    {"RightSideShortFarCorner", RightSideShort(), {100, 100}, {100, 80}},
    {"RightSideShortLeftEnd", RightSideShort(), {0, 100}, {0, 100}},
    {"RightSideShortFoot", RightSideShort(), {100, 0}, {100, 0}},
    {"TopSideNarrowFarCorner", TopSideNarrow(), {100, 100}, {60, 100}},
    {"TopSideNarrowBottomEnd", TopSideNarrow(), {100, 0}, {100, 0}},
    {"RotationFlagOffIgnoresAngle", RotationIgnored(), {100, 30}, {100, 30}},
    // Image to frame rotates image (x, y) to (-y, x); frame to image undoes it.
    {"QuarterTurn", QuarterTurn(), {100, 0}, {0, -100}},
};

class SymbolFrameKnownTest : public ::testing::TestWithParam<KnownCase>
{
};

TEST_P(SymbolFrameKnownTest, FrameToImageAndBack)
{
    Transform2D toImage;
    Transform2D toFrame;
    BuildFrameToImage(toImage, GetParam().params);
    BuildImageToFrame(toFrame, GetParam().params);
    const PointF image = Map(toImage, GetParam().frame);
    EXPECT_NEAR(image.x, GetParam().image.x, 1e-3);
    EXPECT_NEAR(image.y, GetParam().image.y, 1e-3);
    const PointF frame = Map(toFrame, GetParam().image);
    EXPECT_NEAR(frame.x, GetParam().frame.x, 1e-3);
    EXPECT_NEAR(frame.y, GetParam().frame.y, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Frames, SymbolFrameKnownTest, ::testing::ValuesIn(kKnownCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Round trips through both matrices, for frames with every parameter in use.

struct RoundTripCase
{
    const char* name;
    float tx, ty, shearX, shearY, scaleX, scaleY;
    float widthAtY0, widthAtY100, heightAtX0, heightAtX100;
    float angleDegrees; // rotation used only when not 0
};

const RoundTripCase kRoundTripCases[] = {
    {"Reset", 0, 0, 0, 0, 1, 1, 100, 100, 100, 100, 0},
    {"TranslationOnly", -123.5f, -77.25f, 0, 0, 1, 1, 100, 100, 100, 100, 0},
    {"ScaledSheared", -200, -150, 0.08f, -0.05f, 0.4f, 0.45f, 100, 100, 100, 100, 0},
    {"Rotated", -300, -220, 0, 0, 0.5f, 0.5f, 100, 100, 100, 100, 33},
    {"RotatedBackwards", -40, -60, 0, 0, 1.2f, 1.1f, 100, 100, 100, 100, -145},
    {"TaperedBothWays", -90, -80, 0, 0, 0.6f, 0.6f, 90, 115, 110, 85, 0},
    {"Everything", -412, -275, 0.03f, 0.06f, 0.31f, 0.29f, 95, 108, 104, 92, 71},
};

FrameParams ParamsOf(const RoundTripCase& c)
{
    FrameParams p = Reset();
    p.tx = c.tx;
    p.ty = c.ty;
    p.shearX = c.shearX;
    p.shearY = c.shearY;
    p.scaleX = c.scaleX;
    p.scaleY = c.scaleY;
    p.widthAtY0 = c.widthAtY0;
    p.widthAtY100 = c.widthAtY100;
    p.heightAtX0 = c.heightAtX0;
    p.heightAtX100 = c.heightAtX100;
    if (c.angleDegrees != 0) {
        const double radians = c.angleDegrees * 3.14159265358979 / 180.0;
        p.rotSin = static_cast<float>(std::sin(radians));
        p.rotCos = static_cast<float>(std::cos(radians));
        p.hasRotation = 1;
    }
    return p;
}

class SymbolFrameRoundTripTest : public ::testing::TestWithParam<RoundTripCase>
{
};

TEST_P(SymbolFrameRoundTripTest, MatricesAreInverse)
{
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    record.frame = ParamsOf(GetParam());
    BuildFrameTransforms(record);
    for (const PointF frame :
         {PointF{0, 0}, PointF{100, 0}, PointF{0, 100}, PointF{100, 100}, PointF{37, 81}}) {
        const PointF image = Map(record.frameToImage, frame);
        const PointF back = Map(record.imageToFrame, image);
        EXPECT_NEAR(back.x, frame.x, 2e-3) << frame.x << "," << frame.y;
        EXPECT_NEAR(back.y, frame.y, 2e-3) << frame.x << "," << frame.y;
    }
}

TEST_P(SymbolFrameRoundTripTest, FrameOriginIsFinderCorner)
{
    // Both tapers fix the origin, so frame (0, 0) is (-tx, -ty) whatever they are.
    Transform2D toImage;
    BuildFrameToImage(toImage, ParamsOf(GetParam()));
    const PointF corner = Map(toImage, {0, 0});
    EXPECT_NEAR(corner.x, -GetParam().tx, 1e-3);
    EXPECT_NEAR(corner.y, -GetParam().ty, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Frames, SymbolFrameRoundTripTest, ::testing::ValuesIn(kRoundTripCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SymbolFrameTest, SingularTaperBecomesIdentityOnInverseSide)
{
    FrameParams p = Reset();
    p.heightAtX0 = 0.0f;
    p.heightAtX100 = 0.0f;
    Transform2D toImage;
    ::testing::internal::CaptureStdout();
    BuildFrameToImage(toImage, p);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    // Only the singular x taper dropped out; the rest of the chain is the identity too.
    ExpectIdentity(toImage);
}

TEST(SymbolFrameTest, FrameCornersCopiesCornerVerbatim)
{
    SymbolRecord record;
    InitSymbolRecord(record, ScanContrast{});
    record.frame = TranslatedScaled();
    BuildFrameTransforms(record);
    record.corner = PointF{51.5f, 19.25f}; // not exactly frame (0, 0) in the image
    PointF corners[4];
    FrameCorners(record, corners);
    EXPECT_EQ(corners[0].x, 51.5f);
    EXPECT_EQ(corners[0].y, 19.25f);
    EXPECT_NEAR(corners[1].x, 50.0f, 1e-3); // frame (0, 100)
    EXPECT_NEAR(corners[1].y, 420.0f, 1e-3);
    EXPECT_NEAR(corners[2].x, 250.0f, 1e-3); // frame (100, 0)
    EXPECT_NEAR(corners[2].y, 20.0f, 1e-3);
    EXPECT_NEAR(corners[3].x, 250.0f, 1e-3); // frame (100, 100)
    EXPECT_NEAR(corners[3].y, 420.0f, 1e-3);
}

} // namespace
} // namespace norvale
