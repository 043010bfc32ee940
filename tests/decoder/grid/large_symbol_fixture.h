// Test fixture for the region-border stages: a clean large symbol loaded from tests/data/sizes,
// optionally rotated, and a symbol record carrying its true finder geometry, as the location
// stage would hand it on.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decoder/base/image_sampling.h"
#include "decoder/base/symbol_frame.h"
#include "decoder/base/symbol_record.h"
#include "decoder/decoder_context.h"
#include "test_support.h"

namespace norvale::test {

// A symbol picture and its true geometry in image pixels (row 0 = the picture's bottom row).
struct LargeSymbol
{
    GrayImage image{};
    int side = 0;     // modules
    PointF corner{};  // outer corner of the finder L
    PointF yLegEnd{}; // outer end of the leg along frame y (top-left outer corner upright)
    PointF xLegEnd{}; // outer end of the leg along frame x (bottom-right outer corner upright)
    float light = 255.0f;
    float dark = 0.0f;

    // Image position of the centre of module (column j, row i), rows counted from the x leg.
    PointF ModuleCentre(float i, float j) const
    {
        const float u = (j + 0.5f) / side;
        const float v = (i + 0.5f) / side;
        return PointF{corner.x + u * (xLegEnd.x - corner.x) + v * (yLegEnd.x - corner.x),
                      corner.y + u * (xLegEnd.y - corner.y) + v * (yLegEnd.y - corner.y)};
    }
    float ModulePixels() const { return std::hypot(xLegEnd.x - corner.x, xLegEnd.y - corner.y) / side; }
};

inline void FreeLargeSymbol(LargeSymbol& symbol)
{
    FreeTestPicture(symbol.image);
}

// Loads tests/data/<file> and takes the finder corners from the dark bounding box: the picture
// holds nothing but the symbol on a light ground. Pixel centres lie on whole coordinates, so the
// outer edges of the box are half a pixel outside its outer pixels; `edgeOffset` is where the
// corners are put relative to those pixel centres (-0.5: on the edges, as a mid-grey crossing
// finds them; 0: on the centres of the outermost pixels).
inline bool LoadLargeSymbol(LargeSymbol& symbol, const std::string& file, int side, float edgeOffset = -0.5f)
{
    if (!LoadTestPicture(symbol.image, TestDataPath(file))) {
        return false;
    }
    const GrayImage& image = symbol.image;
    int x0 = static_cast<int>(image.width), y0 = static_cast<int>(image.height), x1 = -1, y1 = -1;
    float lightest = 0.0f, darkest = 255.0f;
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            const float g = image.current[size_t{y} * image.width + x];
            lightest = std::fmax(lightest, g);
            darkest = std::fmin(darkest, g);
            if (g < 128.0f) {
                x0 = std::min(x0, static_cast<int>(x));
                x1 = std::max(x1, static_cast<int>(x));
                y0 = std::min(y0, static_cast<int>(y));
                y1 = std::max(y1, static_cast<int>(y));
            }
        }
    }
    if (x1 < 0) {
        return false;
    }
    symbol.side = side;
    symbol.light = lightest;
    symbol.dark = darkest;
    symbol.corner = PointF{x0 + edgeOffset, y0 + edgeOffset};
    symbol.yLegEnd = PointF{x0 + edgeOffset, y1 - edgeOffset};
    symbol.xLegEnd = PointF{x1 - edgeOffset, y0 + edgeOffset};
    return true;
}

// Turns the picture by `degrees` (counter-clockwise in bottom-up coordinates) about its centre
// onto a square canvas that holds all of it, light outside the old picture; the geometry turns
// with it.
inline bool RotateLargeSymbol(LargeSymbol& symbol, double degrees)
{
    const GrayImage& from = symbol.image;
    const double c = std::cos(degrees * M_PI / 180.0);
    const double s = std::sin(degrees * M_PI / 180.0);
    const double cx = (from.width - 1) * 0.5;
    const double cy = (from.height - 1) * 0.5;
    const uint32_t size = static_cast<uint32_t>(std::ceil(std::hypot(from.width, from.height))) + 2;
    const double ncx = (size - 1) * 0.5;
    uint8_t* plane = static_cast<uint8_t*>(std::malloc(size_t{size} * size));
    if (plane == nullptr) {
        return false;
    }
    for (uint32_t y = 0; y < size; ++y) {
        for (uint32_t x = 0; x < size; ++x) {
            const double dx = x - ncx;
            const double dy = y - ncx;
            const double sx = c * dx + s * dy + cx;
            const double sy = -s * dx + c * dy + cy;
            float g = symbol.light;
            if (sx >= 0.0 && sy >= 0.0 && sx <= from.width - 1.0 && sy <= from.height - 1.0) {
                SampleBicubic(g, from, static_cast<float>(sx), static_cast<float>(sy));
            }
            plane[size_t{y} * size + x] = static_cast<uint8_t>(g + 0.5f);
        }
    }
    auto turn = [&](PointF p) {
        const double dx = p.x - cx;
        const double dy = p.y - cy;
        return PointF{static_cast<float>(c * dx - s * dy + ncx), static_cast<float>(s * dx + c * dy + ncx)};
    };
    symbol.corner = turn(symbol.corner);
    symbol.yLegEnd = turn(symbol.yLegEnd);
    symbol.xLegEnd = turn(symbol.xLegEnd);
    FreeTestPicture(symbol.image);
    symbol.image.scale = 1;
    symbol.image.width = size;
    symbol.image.height = size;
    symbol.image.source = plane;
    symbol.image.current = plane;
    return true;
}

// A record as the location stage leaves it for this symbol: the finder corners, the contrast of
// a dark-on-light scan line (dark gives a positive level) and the frame fitted to the legs.
inline void MakeLargeSymbolRecord(SymbolRecord& record, const LargeSymbol& symbol)
{
    ScanContrast contrast{};
    contrast.edgeSeen = 1;
    contrast.contrastReference = symbol.light;
    contrast.contrastSign = -1.0f;
    contrast.minLevel = 0.0f;
    contrast.maxLevel = symbol.light - symbol.dark;
    contrast.inkThreshold = (symbol.light - symbol.dark) * 0.5f;
    InitSymbolRecord(record, contrast);
    const PointF k = symbol.corner;
    const PointF e1 = symbol.xLegEnd;
    const PointF e2 = symbol.yLegEnd;
    record.corner = k;
    record.yLegEnd = e2;
    record.xLegEnd = e1;
    record.xLegLength = std::hypot(e1.x - k.x, e1.y - k.y);
    record.yLegLength = std::hypot(e2.x - k.x, e2.y - k.y);
    FrameParams& frame = record.frame;
    const float dy = e2.y - k.y;
    if (std::fabs(dy) >= 1e-6f) {
        frame.shearX = (k.x - e2.x) / dy;
        const float t = (e1.x - k.x) + (e1.y - k.y) * frame.shearX;
        frame.shearY = (k.y - e1.y) / t;
        frame.scaleX = 100.0f / t;
        frame.scaleY = 100.0f / dy;
    } else {
        frame.hasRotation = 1;
        frame.rotSin = -(e1.y - k.y) / record.xLegLength;
        frame.rotCos = (e1.x - k.x) / record.xLegLength;
        frame.scaleX = 100.0f / record.xLegLength;
        frame.scaleY = 100.0f / record.yLegLength;
    }
    frame.tx = -k.x;
    frame.ty = -k.y;
    BuildFrameTransforms(record);
}

} // namespace norvale::test
