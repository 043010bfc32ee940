// dm-trace: draws what the location stage sees in a picture (scan lines, crossings, traced
// straight runs, every candidate's corner and legs) and prints each candidate's fate through the
// evaluation chain.  Usage: dm-trace IMAGE OUT.png
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/codewords/codeword_placement.h"
#include "decoder/codewords/data_encodation.h"
#include "decoder/sampling/module_sampling.h"
#include "decoder/codewords/reed_solomon.h"
#include "decoder/decoder_context.h"
#include "decoder/grid/border_walk.h"
#include "decoder/grid/region_border_scan.h"
#include "decoder/base/symbol_frame.h"
#include "decoder/location/edge_tracer.h"
#include "decoder/location/line_probe.h"
#include "decoder/location/scan_line_edges.h"
#include "decoder/location/straight_runs.h"
#include "image/bmp_reader.h"
#include "image/gray_image.h"
#include "image/jpeg_reader.h"
#include "image/png_reader.h"

using namespace norvale;

namespace {

constexpr int kDivisions = 20;
constexpr int kMaxModules = 150;

struct Rgb
{
    uint8_t r, g, b;
};

constexpr Rgb kScanColour{90, 160, 255};
constexpr Rgb kCrossingColour{255, 40, 40};
constexpr Rgb kRunColour{0, 200, 0};
constexpr Rgb kXLegColour{255, 140, 0};
constexpr Rgb kYLegColour{200, 0, 200};
constexpr Rgb kCornerColour{255, 230, 0};

// RGB copy of the picture, in the decoder's coordinates (row 0 at the bottom).
struct Canvas
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;

    void Plot(int x, int y, Rgb c, float alpha = 1.0f)
    {
        if (x < 0 || y < 0 || x >= static_cast<int>(width) || y >= static_cast<int>(height)) {
            return;
        }
        uint8_t* p = &rgb[(size_t(y) * width + size_t(x)) * 3];
        p[0] = static_cast<uint8_t>(p[0] + (c.r - p[0]) * alpha);
        p[1] = static_cast<uint8_t>(p[1] + (c.g - p[1]) * alpha);
        p[2] = static_cast<uint8_t>(p[2] + (c.b - p[2]) * alpha);
    }
    void Line(PointF a, PointF b, Rgb c, float alpha = 1.0f)
    {
        const double length = std::hypot(double{b.x} - a.x, double{b.y} - a.y);
        const int steps = static_cast<int>(length * 2.0) + 1;
        for (int i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            Plot(static_cast<int>(std::lround(a.x + (b.x - a.x) * t)),
                 static_cast<int>(std::lround(a.y + (b.y - a.y) * t)), c, alpha);
        }
    }
    void Cross(PointF p, int radius, Rgb c)
    {
        Line({p.x - radius, p.y}, {p.x + radius, p.y}, c);
        Line({p.x, p.y - radius}, {p.x, p.y + radius}, c);
    }
};

bool EndsWith(const std::string& s, const char* tail)
{
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Fallback PNG loader (libpng simplified API) for as long as the library's reader is missing.
bool LoadPngDirect(GrayImage& image, const char* path)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path)) {
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    auto* plane = static_cast<uint8_t*>(std::malloc(size_t{png.width} * png.height));
    if (plane == nullptr) {
        return false;
    }
    for (uint32_t row = 0; row < png.height; ++row) {
        const png_byte* src = rgb.data() + size_t{png.height - 1 - row} * png.width * 3;
        for (uint32_t x = 0; x < png.width; ++x) {
            const uint32_t r = src[3 * x], g = src[3 * x + 1], b = src[3 * x + 2];
            plane[size_t{row} * png.width + x] =
                static_cast<uint8_t>((r * 9798 + g * 19235 + b * 3735) >> 15);
        }
    }
    image.width = png.width;
    image.height = png.height;
    image.source = plane;
    image.current = plane;
    image.scale = 1;
    return true;
}

bool LoadPicture(GrayImage& image, const std::string& path)
{
    if (EndsWith(path, ".png") || EndsWith(path, ".PNG")) {
        return LoadPngFromFile(image, path.c_str()) == 1 || LoadPngDirect(image, path.c_str());
    }
    if (EndsWith(path, ".jpg") || EndsWith(path, ".JPG") || EndsWith(path, "jpeg")) {
        return LoadJpegFromFile(image, path.c_str()) == 1;
    }
    if (EndsWith(path, ".bmp") || EndsWith(path, ".BMP")) {
        return LoadBmpFromFile(image, path.c_str()) == 1;
    }
    return false;
}

void DrawRun(Canvas& canvas, const FittedLine& line)
{
    if (line.valid == 0) {
        return;
    }
    PointF a{};
    PointF b{};
    PointOnLine(a, line, line.tStart);
    PointOnLine(b, line, line.tEnd);
    canvas.Line(a, b, kRunColour);
}

// Repeats the scan of one half-span with the public location steps, to draw what it sees.
void DrawProbe(Canvas& canvas, const DecoderContext& context, int direction, int lineCoord, int start,
               int length)
{
    const bool vertical = direction == kScanDown;
    const float c = static_cast<float>(lineCoord);
    const float s = static_cast<float>(start);
    const float e = static_cast<float>(start + length - 1);
    canvas.Line(vertical ? PointF{c, s} : PointF{s, c}, vertical ? PointF{c, e} : PointF{e, c}, kScanColour,
                0.5f);
    ScanLine line;
    EdgeWalker walker;
    InitScanLine(line, direction, lineCoord, start, length);
    while (NextScanSegment(line, context) != kTraceExhausted) {
        if (!IsUsableSegment(line)) {
            continue;
        }
        InitEdgeWalker(walker, line);
        while (NextEdgeCrossing(walker, context, line.contrast) != kTraceExhausted) {
            EdgeTracer tracers[2];
            InitEdgeTracer(tracers[0], walker, RotateDirection(direction, kTurnBackward));
            InitEdgeTracer(tracers[1], walker, RotateDirection(direction, kTurnForward));
            const PointF at = TracerPoint(tracers[0]);
            for (EdgeTracer& tracer : tracers) {
                TraceEdgeLines(tracer, context);
                DrawRun(canvas, tracer.firstLine);
                DrawRun(canvas, tracer.secondLine);
            }
            canvas.Plot(static_cast<int>(std::lround(at.x)), static_cast<int>(std::lround(at.y)),
                        kCrossingColour);
        }
    }
}

// The first-pass collection of the search, drawing every half-span it probes.
void CollectFirstPass(DecoderContext& context, Canvas& canvas)
{
    const int width = static_cast<int>(context.image.width);
    const int height = static_cast<int>(context.image.height);
    const int xStep = static_cast<int>(width / static_cast<double>(kDivisions) + 0.5);
    const int yStep = static_cast<int>(height / static_cast<double>(kDivisions) + 0.5);
    context.image.scale = 2;
    int total = 0;
    auto probe = [&](int direction, int coord, int start, int length) {
        UseFilteredPlane(context.image);
        DrawProbe(canvas, context, direction, coord, start, length);
        total += ProbeScanLine(context, direction, coord, start, length);
    };
    for (int x = xStep; xStep > 0 && x < width && total < kMaxSymbolRecords; x += xStep) {
        probe(kScanDown, x, 0, height / 2);
        if (total < kMaxSymbolRecords) {
            probe(kScanDown, x, height / 2, height - height / 2);
        }
    }
    for (int y = yStep; yStep > 0 && y < height && total < kMaxSymbolRecords; y += yStep) {
        probe(kScanRight, y, 0, width / 2);
        if (total < kMaxSymbolRecords) {
            probe(kScanRight, y, width / 2, width - width / 2);
        }
    }
}

// Runs a copy of the candidate through the first-pass evaluation chain; returns the fate.
std::string Evaluate(DecoderContext& context, const SymbolRecord& candidate)
{
    SymbolRecord s = candidate;
    std::string fate;
    UseFilteredPlane(context.image);
    std::string path;
    if (FindRegionBorders(s, context) != 0) {
        UseSourcePlane(context.image);
        path = "region borders: " + std::to_string(s.moduleCountHint) + " modules, " +
               std::to_string(s.gridLineCount) + " grid lines; ";
    } else {
        UseSourcePlane(context.image);
        if (s.status == kStatusSkip) {
            fate = "FindRegionBorders marked it skipped";
        } else if (WalkTopBorder(s, context) != 1) {
            fate = "FindRegionBorders failed, then WalkTopBorder gave up";
        } else if (EstimateSymbolSize(s, kAxisHorizontal) > kMaxModules) {
            fate = "EstimateSymbolSize (horizontal) above 150";
        } else if (WalkRightBorder(s, context) != 1) {
            fate = "WalkRightBorder gave up";
        } else if (EstimateSymbolSize(s, kAxisVertical) > kMaxModules) {
            fate = "EstimateSymbolSize (vertical) above 150";
        } else {
            path = "walks: estimates " + std::to_string(EstimateSymbolSize(s, kAxisHorizontal)) + " x " +
                   std::to_string(EstimateSymbolSize(s, kAxisVertical)) + "; ";
        }
    }
    if (fate.empty()) {
        if (SelectSizeAndSample(s, context) != 1) {
            fate = "SelectSizeAndSample gave up";
        } else {
            PlaceCodewords(s);
            PublishFrameCorners(context, s);
            path += "side " + std::to_string(GetSymbolSide(&s)) + ", " + std::to_string(s.erasureCount) +
                    " erasures; ";
            if (CorrectCodewords(s) == 0) {
                fate = "CorrectCodewords gave up";
            } else {
                DecodeDataCodewords(s);
                fate = "decoded " + std::to_string(s.dataLength) + " bytes: \"";
                for (int32_t i = 0; i < s.dataLength && s.data != nullptr; ++i) {
                    const unsigned char ch = s.data[i];
                    char buf[8];
                    std::snprintf(buf, sizeof buf, (ch >= 32 && ch < 127) ? "%c" : "\\x%02x", ch);
                    fate += buf;
                }
                fate += "\"";
            }
        }
    }
    ReleaseSymbolBuffers(s);
    return path + fate;
}

// Writes the canvas upright: the picture's top row (the last stored row) goes first.
bool WritePng(const Canvas& canvas, const char* path)
{
    std::vector<uint8_t> upright(canvas.rgb.size());
    const size_t stride = size_t{canvas.width} * 3;
    for (uint32_t row = 0; row < canvas.height; ++row) {
        std::memcpy(&upright[row * stride], &canvas.rgb[(canvas.height - 1 - row) * stride], stride);
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = canvas.width;
    png.height = canvas.height;
    png.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&png, path, 0, upright.data(), 0, nullptr) != 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dm-trace IMAGE OUT.png\n");
        return 2;
    }
    DecoderContext* context = CreateDecoderContext();
    if (context == nullptr) {
        std::fprintf(stderr, "dm-trace: out of memory\n");
        return 1;
    }
    context->flags = kFlagStopAtFirst;
    InitGrayImage(context->image);
    ResetDecoderContext(*context);
    if (!LoadPicture(context->image, argv[1]) || context->image.width == 0 || context->image.height == 0) {
        std::fprintf(stderr, "dm-trace: cannot read %s\n", argv[1]);
        DestroyDecoderContext(&context);
        return 1;
    }
    GrayImage& image = context->image;
    Canvas canvas;
    canvas.width = image.width;
    canvas.height = image.height;
    canvas.rgb.resize(size_t{image.width} * image.height * 3);
    for (size_t i = 0; i < size_t{image.width} * image.height; ++i) {
        canvas.rgb[3 * i] = canvas.rgb[3 * i + 1] = canvas.rgb[3 * i + 2] = image.current[i];
    }

    CollectFirstPass(*context, canvas);
    std::printf("%s: %ux%u, %d candidates (pass 1, %s plane)\n", argv[1], image.width, image.height,
                context->symbolCount, image.median != nullptr ? "median" : "source");
    for (int32_t i = 0; i < context->symbolCount; ++i) {
        const SymbolRecord& r = context->symbols[i];
        canvas.Line(r.corner, r.xLegEnd, kXLegColour);
        canvas.Line(r.corner, r.yLegEnd, kYLegColour);
        canvas.Cross(r.corner, 3, kCornerColour);
    }
    for (int32_t i = 0; i < context->symbolCount; ++i) {
        const SymbolRecord& r = context->symbols[i];
        std::printf(
            "#%d corner (%.2f, %.2f) x-leg end (%.2f, %.2f) y-leg end (%.2f, %.2f) legs x %.1f y %.1f: %s\n",
            i, r.corner.x, r.corner.y, r.xLegEnd.x, r.xLegEnd.y, r.yLegEnd.x, r.yLegEnd.y, r.xLegLength,
            r.yLegLength, Evaluate(*context, r).c_str());
    }
    const bool written = WritePng(canvas, argv[2]);
    if (!written) {
        std::fprintf(stderr, "dm-trace: cannot write %s\n", argv[2]);
    }
    ResetDecoderContext(*context);
    std::free(image.source);
    std::free(image.median);
    image = GrayImage{};
    DestroyDecoderContext(&context);
    return written ? 0 : 1;
}
