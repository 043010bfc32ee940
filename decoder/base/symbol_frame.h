// Symbol frame: the square coordinate system (0..100 along both finder legs) of one candidate,
// its parameters and the two matrices built from them.
#pragma once

#include <cstdint>

#include "decoder/base/transform2d.h"

namespace norvale {

// The frame runs from 0 to this along both finder legs: frame (0, 0) is the finder corner,
// (100, 0) the far end of the x leg, (0, 100) that of the y leg.
constexpr float kFrameSide = 100.0f;

struct SymbolRecord;

struct FrameParams
{
    float tx; // minus the image x of frame (0, 0)
    float ty; // minus the image y of frame (0, 0)
    float shearX;
    float shearY;
    float scaleX; // frame units per pixel along x after rotation and shear
    float scaleY;
    float widthAtY0; // y taper, frame units before tapering
    float widthAtY100;
    float heightAtX0; // x taper
    float heightAtX100;
    float rotSin;
    float rotCos;
    uint8_t hasRotation;
};

void ResetFrameParams(FrameParams& params);
void BuildImageToFrame(Transform2D& out, const FrameParams& params);
void BuildFrameToImage(Transform2D& out, const FrameParams& params);
// Rebuilds both of the record's matrices from its parameters.
void BuildFrameTransforms(SymbolRecord& record);
// Corner 0 = the record's corner; 1, 2, 3 = frame (0,100), (100,0), (100,100) in the image.
void FrameCorners(const SymbolRecord& record, PointF corners[4]);

} // namespace norvale
