// Drawn pictures for the location-stage tests: a context owning a plain picture, shapes drawn
// into it with anti-aliased edges, rotated copies, and the first-pass collection over the scan
// grid. Coordinates are the decoder's: row 0 is the bottom row and pixel (x, y) covers
// [x - 0.5, x + 0.5] x [y - 0.5, y + 0.5].
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "decoder/base/image_sampling.h"
#include "decoder/decoder_context.h"
#include "decoder/line_probes.h"
#include "decoder/location/edge_tracer.h"

namespace norvale::test {

// A decoder context with its own picture plane, freed on destruction.
class PictureContext
{
  public:
    PictureContext(uint32_t width, uint32_t height, uint8_t fill) : context_(CreateDecoderContext())
    {
        auto* plane = static_cast<uint8_t*>(std::malloc(size_t{width} * height + 1));
        std::memset(plane, fill, size_t{width} * height + 1);
        context_->image.width = width;
        context_->image.height = height;
        context_->image.source = plane;
        context_->image.current = plane;
        context_->image.scale = 2;
    }
    // Takes over a loaded picture (its planes are freed here).
    explicit PictureContext(const GrayImage& image) : context_(CreateDecoderContext())
    {
        context_->image = image;
        context_->image.scale = 2;
    }
    ~PictureContext()
    {
        std::free(context_->image.source);
        std::free(context_->image.median);
        context_->image = GrayImage{};
        DestroyDecoderContext(&context_);
    }
    PictureContext(const PictureContext&) = delete;
    PictureContext& operator=(const PictureContext&) = delete;

    DecoderContext& context() { return *context_; }
    GrayImage& image() { return context_->image; }
    uint8_t& at(uint32_t x, uint32_t y)
    {
        return context_->image.source[size_t{y} * context_->image.width + x];
    }

    // Paints `ink` over the part of every pixel where inside(x, y) holds (4 x 4 subsamples).
    void Paint(const std::function<bool(double, double)>& inside, uint8_t ink)
    {
        const GrayImage& im = context_->image;
        for (uint32_t y = 0; y < im.height; ++y) {
            for (uint32_t x = 0; x < im.width; ++x) {
                int hits = 0;
                for (int j = 0; j < 4; ++j) {
                    for (int i = 0; i < 4; ++i) {
                        hits += inside(x - 0.375 + 0.25 * i, y - 0.375 + 0.25 * j) ? 1 : 0;
                    }
                }
                if (hits > 0) {
                    const double old = at(x, y);
                    at(x, y) = static_cast<uint8_t>(old + (ink - old) * hits / 16.0 + 0.5);
                }
            }
        }
    }

  private:
    DecoderContext* context_;
};

// Frame of a drawn shape: origin K, x axis at `degrees` counter-clockwise, y axis 90 degrees on.
struct DrawnFrame
{
    double kx;
    double ky;
    double degrees;

    void ToLocal(double x, double y, double& u, double& v) const
    {
        const double a = degrees * M_PI / 180.0;
        const double dx = x - kx;
        const double dy = y - ky;
        u = std::cos(a) * dx + std::sin(a) * dy;
        v = -std::sin(a) * dx + std::cos(a) * dy;
    }
    void ToImage(double u, double v, double& x, double& y) const
    {
        const double a = degrees * M_PI / 180.0;
        x = kx + std::cos(a) * u - std::sin(a) * v;
        y = ky + std::sin(a) * u + std::cos(a) * v;
    }
};

// A finder-like symbol: solid L along the frame's x and y axes, alternating clock modules along
// the two opposite sides and a fixed scatter of data modules, `modules` modules of `moduleSide`
// pixels per side.
inline void DrawSymbolLike(PictureContext& picture, const DrawnFrame& frame, int modules, double moduleSide)
{
    picture.Paint(
        [&](double x, double y) {
            double u = 0.0;
            double v = 0.0;
            frame.ToLocal(x, y, u, v);
            if (u < 0.0 || v < 0.0) {
                return false;
            }
            const int mx = static_cast<int>(u / moduleSide);
            const int my = static_cast<int>(v / moduleSide);
            if (mx >= modules || my >= modules) {
                return false;
            }
            if (mx == 0 || my == 0) {
                return true;
            }
            if (my == modules - 1) {
                return mx % 2 == 0;
            }
            if (mx == modules - 1) {
                return my % 2 == 1;
            }
            return ((mx * 7 + my * 13 + mx * my) % 5) < 2;
        },
        0);
}

// A solid L: two bars of `thickness` pixels along the frame's axes, `legLength` pixels long.
inline void DrawSolidL(PictureContext& picture, const DrawnFrame& frame, double legLength, double thickness)
{
    picture.Paint(
        [&](double x, double y) {
            double u = 0.0;
            double v = 0.0;
            frame.ToLocal(x, y, u, v);
            return (u >= 0.0 && u < legLength && v >= 0.0 && v < thickness) ||
                   (u >= 0.0 && u < thickness && v >= 0.0 && v < legLength);
        },
        0);
}

// Rotates `source` by `degrees` counter-clockwise about its centre into a white square canvas
// large enough for every rotation (bicubic samples); maps the point (px, py) along.
inline void RotatePicture(PictureContext& out, const GrayImage& source, double degrees, double& px,
                          double& py)
{
    const double a = degrees * M_PI / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    const double sx = (source.width - 1) / 2.0;
    const double sy = (source.height - 1) / 2.0;
    const double dc = (out.image().width - 1) / 2.0;
    for (uint32_t y = 0; y < out.image().height; ++y) {
        for (uint32_t x = 0; x < out.image().width; ++x) {
            const double dx = x - dc;
            const double dy = y - dc;
            const double ux = c * dx + s * dy + sx;
            const double uy = -s * dx + c * dy + sy;
            float v = 255.0f;
            if (ux >= -0.5 && uy >= -0.5 && ux <= source.width - 0.5 && uy <= source.height - 0.5) {
                SampleBicubic(v, source,
                              static_cast<float>(std::fmin(std::fmax(ux, 0.0), source.width - 1.0)),
                              static_cast<float>(std::fmin(std::fmax(uy, 0.0), source.height - 1.0)));
            }
            out.at(x, y) = static_cast<uint8_t>(v + 0.5f);
        }
    }
    const double dx = px - sx;
    const double dy = py - sy;
    px = c * dx - s * dy + dc;
    py = s * dx + c * dy + dc;
}

inline uint32_t RotatedCanvasSide(const GrayImage& source)
{
    return static_cast<uint32_t>(std::ceil(std::hypot(source.width, source.height))) + 8;
}

// The first-pass collection of the search: columns every nearest(W / 20), rows every
// nearest(H / 20), each split into two half-spans; a zero step scans nothing in that direction.
inline int32_t CollectScanGrid(DecoderContext& context)
{
    const int width = static_cast<int>(context.image.width);
    const int height = static_cast<int>(context.image.height);
    const int xStep = static_cast<int>(width / 20.0 + 0.5);
    const int yStep = static_cast<int>(height / 20.0 + 0.5);
    context.image.scale = 2;
    int32_t total = 0;
    for (int x = xStep; xStep > 0 && x < width && total < kMaxSymbolRecords; x += xStep) {
        total += ProbeScanLine(context, kScanDown, x, 0, height / 2);
        if (total >= kMaxSymbolRecords) {
            break;
        }
        total += ProbeScanLine(context, kScanDown, x, height / 2, height - height / 2);
    }
    for (int y = yStep; yStep > 0 && y < height && total < kMaxSymbolRecords; y += yStep) {
        total += ProbeScanLine(context, kScanRight, y, 0, width / 2);
        if (total >= kMaxSymbolRecords) {
            break;
        }
        total += ProbeScanLine(context, kScanRight, y, width / 2, width - width / 2);
    }
    return total;
}

// Distance from (x, y) to the nearest collected corner, or a large value when none.
inline double NearestCornerDistance(const DecoderContext& context, double x, double y)
{
    double best = 1e9;
    for (int32_t i = 0; i < context.symbolCount; ++i) {
        best = std::fmin(best, std::hypot(context.symbols[i].corner.x - x, context.symbols[i].corner.y - y));
    }
    return best;
}

// A tracer on a dark-on-white picture: level 255 is black, the threshold halfway.
inline EdgeTracer MakeTracer(int direction, int coord, float position, int16_t polarity)
{
    EdgeTracer tracer{};
    tracer.direction = direction;
    tracer.coord = coord;
    tracer.position = position;
    tracer.polarity = polarity;
    tracer.inkThreshold = 127.5f;
    tracer.contrastReference = 255.0f;
    tracer.contrastSign = -1.0f;
    return tracer;
}

} // namespace norvale::test
