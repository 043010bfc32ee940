// Symbol frame: parameters of a candidate's square frame and the two matrices built from them.
#include "decoder/base/symbol_frame.h"

#include "decoder/base/symbol_record.h"

namespace norvale {

void ResetFrameParams(FrameParams& params)
{
    params = FrameParams{};
    params.scaleX = 1.0f;
    params.scaleY = 1.0f;
    params.widthAtY0 = kFrameSide;
    params.widthAtY100 = kFrameSide;
    params.heightAtX0 = kFrameSide;
    params.heightAtX100 = kFrameSide;
}

// Image to frame = T * R * Sx * Sy * S * Px * Py, in application order (R only with the flag).
void BuildImageToFrame(Transform2D& out, const FrameParams& p)
{
    Transform2D step;
    TransformTranslate(out, p.tx, p.ty);
    if (p.hasRotation != 0) {
        TransformRotate(step, p.rotSin, p.rotCos);
        TransformPostMultiply(out, step);
    }
    TransformShear(step, p.shearX, 0.0f);
    TransformPostMultiply(out, step);
    TransformShear(step, 0.0f, p.shearY);
    TransformPostMultiply(out, step);
    TransformScale(step, p.scaleX, p.scaleY);
    TransformPostMultiply(out, step);
    TransformTaperX(step, p.heightAtX0, p.heightAtX100, kFrameSide);
    TransformPostMultiply(out, step);
    TransformTaperY(step, p.widthAtY0, p.widthAtY100, kFrameSide);
    TransformPostMultiply(out, step);
}

// The exact inverse chain; a singular taper contributes the identity.
void BuildFrameToImage(Transform2D& out, const FrameParams& p)
{
    Transform2D taper;
    Transform2D step;
    TransformTaperY(taper, p.widthAtY0, p.widthAtY100, kFrameSide);
    TransformInvert(out, taper);
    TransformTaperX(taper, p.heightAtX0, p.heightAtX100, kFrameSide);
    TransformInvert(step, taper);
    TransformPostMultiply(out, step);
    TransformScale(step, static_cast<float>(1.0 / p.scaleX), static_cast<float>(1.0 / p.scaleY));
    TransformPostMultiply(out, step);
    TransformShear(step, 0.0f, -p.shearY);
    TransformPostMultiply(out, step);
    TransformShear(step, -p.shearX, 0.0f);
    TransformPostMultiply(out, step);
    if (p.hasRotation != 0) {
        TransformRotate(step, -p.rotSin, p.rotCos);
        TransformPostMultiply(out, step);
    }
    TransformTranslate(step, -p.tx, -p.ty);
    TransformPostMultiply(out, step);
}

void BuildFrameTransforms(SymbolRecord& record)
{
    BuildImageToFrame(record.imageToFrame, record.frame);
    BuildFrameToImage(record.frameToImage, record.frame);
}

void FrameCorners(const SymbolRecord& record, PointF corners[4])
{
    corners[0] = record.corner;
    TransformApply(corners[1], PointF{0.0f, kFrameSide}, record.frameToImage);
    TransformApply(corners[2], PointF{kFrameSide, 0.0f}, record.frameToImage);
    TransformApply(corners[3], PointF{kFrameSide, kFrameSide}, record.frameToImage);
}

} // namespace norvale
