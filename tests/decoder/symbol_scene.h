// Test scenes for the grid and sampling stages: a clean symbol picture from tests/data/sizes, the
// finder geometry the location stage would find on it (a dark box's outer edges), rotated or
// inverted copies, and a symbol record set up the way the finder-corner stage leaves it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/base/symbol_record.h"
#include "decoder/decoder_context.h"
#include "test_support.h"

namespace norvale::test {

struct FinderGeometry
{
    PointF corner;
    PointF yLegEnd;
    PointF xLegEnd;
};

// Light paper, dark ink: what a scan from the quiet zone into the finder learns (the first edge
// falls, so dark modules have positive levels).
inline ScanContrast DarkOnLightContrast()
{
    ScanContrast c{};
    c.edgeSeen = 1;
    c.minLevel = 0.0f;
    c.maxLevel = 255.0f;
    c.inkThreshold = 127.5f;
    c.contrastReference = 255.0f;
    c.contrastSign = -1.0f;
    return c;
}

// A scan from a dark surround into a light finder: the first edge rises.
inline ScanContrast LightOnDarkContrast()
{
    ScanContrast c = DarkOnLightContrast();
    c.contrastReference = 0.0f;
    c.contrastSign = 1.0f;
    return c;
}

// Frame parameters as the finder-corner stage derives them from the finder vertex and the far ends
// of its x and y legs.
inline void InitRecordFromFinder(SymbolRecord& record, const FinderGeometry& g, const ScanContrast& contrast)
{
    InitSymbolRecord(record, contrast);
    const PointF k = g.corner;
    const PointF e1 = g.xLegEnd;
    const PointF e2 = g.yLegEnd;
    const double len1 = std::hypot(double{e1.x} - k.x, double{e1.y} - k.y);
    const double len2 = std::hypot(double{e2.x} - k.x, double{e2.y} - k.y);
    FrameParams& p = record.frame;
    const double dy = double{e2.y} - k.y;
    if (std::fabs(dy) >= 1e-6) {
        const double shearX = (double{k.x} - e2.x) / dy;
        const double t = (double{e1.x} - k.x) + (double{e1.y} - k.y) * shearX;
        p.shearX = static_cast<float>(shearX);
        p.shearY = static_cast<float>((double{k.y} - e1.y) / t);
        p.scaleX = static_cast<float>(100.0 / t);
        p.scaleY = static_cast<float>(100.0 / dy);
    } else {
        p.hasRotation = 1;
        p.rotSin = static_cast<float>(-(double{e1.y} - k.y) / len1);
        p.rotCos = static_cast<float>((double{e1.x} - k.x) / len1);
        p.scaleX = static_cast<float>(100.0 / len1);
        p.scaleY = static_cast<float>(100.0 / len2);
    }
    p.tx = -k.x;
    p.ty = -k.y;
    record.corner = k;
    record.yLegEnd = e2;
    record.xLegEnd = e1;
    record.yLegLength = static_cast<float>(len2);
    record.xLegLength = static_cast<float>(len1);
    BuildFrameTransforms(record);
}

// A grey picture of the given size filled with one value, malloc'd like the test loader's.
inline bool MakeUniformPicture(GrayImage& image, uint32_t width, uint32_t height, uint8_t grey)
{
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height));
    if (plane == nullptr) {
        return false;
    }
    std::memset(plane, grey, size_t{width} * height);
    image = GrayImage{};
    image.scale = 1;
    image.width = width;
    image.height = height;
    image.source = plane;
    image.current = plane;
    return true;
}

// Quarter turns anticlockwise as the picture is viewed (y up): (x, y) -> (height - 1 - y, x).
inline void RotatePicture(GrayImage& image, FinderGeometry& g, int turns)
{
    for (int turn = 0; turn < turns; ++turn) {
        const uint32_t w = image.width;
        const uint32_t h = image.height;
        auto* plane = static_cast<uint8_t*>(std::malloc(size_t{w} * h));
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                plane[size_t{x} * h + (h - 1 - y)] = image.current[size_t{y} * w + x];
            }
        }
        std::free(image.source);
        image.source = plane;
        image.current = plane;
        image.width = h;
        image.height = w;
        for (PointF* p : {&g.corner, &g.yLegEnd, &g.xLegEnd}) {
            const float x = p->x;
            p->x = static_cast<float>(h) - 1.0f - p->y;
            p->y = x;
        }
    }
}

inline void InvertPicture(GrayImage& image)
{
    for (size_t i = 0; i < size_t{image.width} * image.height; ++i) {
        image.current[i] = static_cast<uint8_t>(255 - image.current[i]);
    }
}

// A context holding a clean symbol picture, the true finder geometry and a record built from it.
class SymbolScene
{
  public:
    SymbolScene() : context(CreateDecoderContext()) {}
    ~SymbolScene()
    {
        ClearSymbolRecord(record);
        if (context != nullptr) {
            FreeTestPicture(context->image);
            DestroyDecoderContext(&context);
        }
    }
    SymbolScene(const SymbolScene&) = delete;
    SymbolScene& operator=(const SymbolScene&) = delete;

    // Loads tests/data/sizes/<file>; `side` is the symbol's module count.
    bool Load(const std::string& file, int side)
    {
        if (context == nullptr || !LoadTestPicture(context->image, TestDataPath("sizes/" + file))) {
            return false;
        }
        this->side = side;
        const GrayImage& image = context->image;
        int x0 = static_cast<int>(image.width), y0 = static_cast<int>(image.height), x1 = -1, y1 = -1;
        for (uint32_t y = 0; y < image.height; ++y) {
            for (uint32_t x = 0; x < image.width; ++x) {
                if (image.current[size_t{y} * image.width + x] < 128) {
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
        boxLeft = x0;
        boxBottom = y0;
        modulePixels = static_cast<float>(x1 - x0 + 1) / static_cast<float>(side);
        // Edges lie half way between a dark and a light pixel.
        finder.corner = PointF{x0 - 0.5f, y0 - 0.5f};
        finder.yLegEnd = PointF{x0 - 0.5f, y1 + 0.5f};
        finder.xLegEnd = PointF{x1 + 0.5f, y0 - 0.5f};
        dark.assign(static_cast<size_t>(side) * side, 0);
        for (int my = 0; my < side; ++my) {
            for (int mx = 0; mx < side; ++mx) {
                const int px = x0 + static_cast<int>((mx + 0.5f) * modulePixels);
                const int py = y0 + static_cast<int>((my + 0.5f) * modulePixels);
                dark[static_cast<size_t>(my) * side + mx] =
                    image.current[size_t(py) * image.width + px] < 128;
            }
        }
        return true;
    }

    void Rotate(int turns) { RotatePicture(context->image, finder, turns); }
    void Invert() { InvertPicture(context->image); }
    void BuildRecord(const ScanContrast& contrast) { InitRecordFromFinder(record, finder, contrast); }

    // Module (x, y) of the symbol as drawn, x along the finder row, y up the finder column.
    bool IsDark(int x, int y) const { return dark[static_cast<size_t>(y) * side + x] != 0; }

    DecoderContext* context;
    SymbolRecord record{};
    FinderGeometry finder{};
    int side = 0;
    int boxLeft = 0;
    int boxBottom = 0;
    float modulePixels = 0.0f;
    std::vector<uint8_t> dark;
};

// A 90-pixel dark square in the middle of 160 x 160 light pixels, with the geometry the finder
// stage finds on its lower left corner: solid far sides, nothing like a symbol's clock track.
inline bool LoadDarkSquare(SymbolScene& scene)
{
    if (scene.context == nullptr || !MakeUniformPicture(scene.context->image, 160, 160, 230)) {
        return false;
    }
    for (uint32_t y = 35; y < 125; ++y) {
        for (uint32_t x = 35; x < 125; ++x) {
            scene.context->image.current[y * 160 + x] = 20;
        }
    }
    scene.finder = FinderGeometry{{34.5f, 34.5f}, {34.5f, 124.5f}, {124.5f, 34.5f}};
    return true;
}

} // namespace norvale::test
