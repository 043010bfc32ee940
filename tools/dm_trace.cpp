// dm-trace: draws what the location stage sees in a picture (scan lines, crossings, traced
// straight runs of the first pass, every evaluated candidate's corner and legs, the decoded
// symbol's outline) and prints each candidate's fate as the decoder met it.
// Usage: dm-trace IMAGE OUT.png
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/base/line_geometry.h"
#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/entries.h"
#include "decoder/location/line_crossings.h"
#include "decoder/search_driver.h"
#include "image/gray_image.h"
#include "image/picture_reader.h"

using namespace norvale;

namespace {

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
constexpr Rgb kDecodedColour{0, 255, 0};

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

// Repeats the scan of one half-span with the location stage, to draw what it sees.
void DrawProbe(Canvas& canvas, const GrayImage& image, int direction, int lineCoord, int start, int length)
{
    const bool vertical = direction == kScanDown;
    const float c = static_cast<float>(lineCoord);
    const float s = static_cast<float>(start);
    const float e = static_cast<float>(start + length - 1);
    canvas.Line(vertical ? PointF{c, s} : PointF{s, c}, vertical ? PointF{c, e} : PointF{e, c}, kScanColour,
                0.5f);
    ForEachCrossing(image, LineSpan{direction, lineCoord, start, length},
                    [&](const EdgeWalker& walker, const EdgeTracer& a, const EdgeTracer& b) {
                        const float at = static_cast<float>(walker.posA) + walker.fraction;
                        canvas.Plot(static_cast<int>(std::lround(vertical ? c : at)),
                                    static_cast<int>(std::lround(vertical ? at : c)), kCrossingColour);
                        for (const EdgeTracer* tracer : {&a, &b}) {
                            DrawRun(canvas, tracer->firstLine);
                            DrawRun(canvas, tracer->secondLine);
                        }
                        return true;
                    });
}

// The half-spans of the first pass's scan grid, on the median plane, as the search lays them.
void DrawFirstPassGrid(Canvas& canvas, GrayImage& image)
{
    const ScanGridLayout grid = LayOutScanGrid(image, kScanDivisions, kScanDivisions);
    UseFilteredPlane(image);
    image.scale = 2;
    for (int32_t i = 0; i < HalfSpanCount(grid); ++i) {
        const LineSpan span = HalfSpanAt(grid, i);
        DrawProbe(canvas, image, span.direction, span.lineCoord, span.start, span.length);
    }
    UseSourcePlane(image);
    image.scale = 1;
}

const char* SearchName(TracedSearch search)
{
    switch (search) {
    case TracedSearch::kPicture:
        return "picture";
    case TracedSearch::kMargined:
        return "margined";
    case TracedSearch::kLevelled:
        return "levelled";
    case TracedSearch::kRetry:
        return "retry";
    }
    return "?";
}

const char* FrameName(FrameOutcome frame)
{
    switch (frame) {
    case FrameOutcome::kRegionBorders:
        return "region borders";
    case FrameOutcome::kRepeatedGrid:
        return "region borders of an equal measurement";
    case FrameOutcome::kWalks:
        return "outline walks";
    case FrameOutcome::kClockTracks:
        return "clock tracks read module by module";
    case FrameOutcome::kFailed:
        return "no frame (the region scan and the walks gave up)";
    case FrameOutcome::kNoEvidence:
        return "no clock evidence on the far sides";
    case FrameOutcome::kBlank:
        return "blank beside the finder";
    case FrameOutcome::kNoPlane:
        return "no plane (memory)";
    }
    return "?";
}

std::string Describe(const CandidateFate& fate)
{
    if (fate.pass == kCloserLookPass && fate.frame == FrameOutcome::kFailed) {
        return "closer look: the clock tracks show no common side";
    }
    std::string text = std::string(FrameName(fate.frame));
    if (fate.smallLook) {
        text += " (quick small look)";
    }
    if (fate.moduleCountHint != 0) {
        text += ", " + std::to_string(fate.moduleCountHint) + " modules counted";
    }
    if (!IsFitted(fate.frame)) {
        return text;
    }
    if (fate.sample == kSizeRejected) {
        return text + "; size selection gave up";
    }
    if (fate.side > 0) {
        text += "; side " + std::to_string(fate.side) + ", " + std::to_string(fate.erasures) + " erasures";
    }
    text += "; ";
    return text + (fate.sample == kCorrected ? "decoded" : "error correction gave up");
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

// A grey canvas of the picture's current plane.
Canvas CanvasOf(const GrayImage& image)
{
    Canvas canvas;
    canvas.width = image.width;
    canvas.height = image.height;
    canvas.rgb.resize(size_t{image.width} * image.height * 3);
    for (size_t i = 0; i < size_t{image.width} * image.height; ++i) {
        canvas.rgb[3 * i] = canvas.rgb[3 * i + 1] = canvas.rgb[3 * i + 2] = image.current[i];
    }
    return canvas;
}

// A context that stops at the first symbol, with the picture at `path` loaded; false when the
// picture cannot be read or is empty.
bool LoadTracedPicture(DecoderContext& context, const char* path)
{
    context.flags = kFlagStopAtFirst;
    InitGrayImage(context.image);
    ResetDecoderContext(context);
    GrayImage& image = context.image;
    return LoadPictureFile(image, path, FormatOfFile(path)) == 1 && image.width != 0 && image.height != 0;
}

// Draws every evaluated candidate's corner and legs and prints its fate.
void ReportCandidates(Canvas& canvas, const ChainTrace& trace, const char* path, const GrayImage& image)
{
    std::printf("%s: %ux%u, %d candidates evaluated%s\n", path, image.width, image.height, trace.count,
                trace.dropped > 0 ? " (more than the trace keeps)" : "");
    for (int32_t i = 0; i < trace.count; ++i) {
        const CandidateFate& f = trace.fates[i];
        canvas.Line(f.corner, f.xLegEnd, kXLegColour);
        canvas.Line(f.corner, f.yLegEnd, kYLegColour);
        canvas.Cross(f.corner, 3, kCornerColour);
        const float xLeg = std::hypot(f.xLegEnd.x - f.corner.x, f.xLegEnd.y - f.corner.y);
        const float yLeg = std::hypot(f.yLegEnd.x - f.corner.x, f.yLegEnd.y - f.corner.y);
        std::printf(
            "#%d %s pass %d: corner (%.2f, %.2f) x-leg end (%.2f, %.2f) y-leg end (%.2f, %.2f) legs x %.1f "
            "y %.1f: %s\n",
            i, SearchName(f.search), f.pass, f.corner.x, f.corner.y, f.xLegEnd.x, f.xLegEnd.y, f.yLegEnd.x,
            f.yLegEnd.y, xLeg, yLeg, Describe(f).c_str());
    }
}

// The decoded bytes with everything outside printable ASCII written as \xNN.
std::string Printable(const uint8_t* data, int32_t length)
{
    std::string text;
    for (int32_t i = 0; i < length; ++i) {
        const unsigned char ch = data[i];
        char buf[8];
        std::snprintf(buf, sizeof buf, (ch >= 32 && ch < 127) ? "%c" : "\\x%02x", ch);
        text += buf;
    }
    return text;
}

// Outlines the decoded symbol and prints its bytes, or says that nothing was decoded.
void ReportResult(Canvas& canvas, int32_t decoded, const DecodeResult& result)
{
    if (decoded != 1) {
        std::printf("nothing decoded\n");
        return;
    }
    // The result's corners count rows from the bottom, as the canvas does.
    const PointF corners[4] = {{float(result.cornerX[0]), float(result.cornerY[0])},
                               {float(result.cornerX[1]), float(result.cornerY[1])},
                               {float(result.cornerX[3]), float(result.cornerY[3])},
                               {float(result.cornerX[2]), float(result.cornerY[2])}};
    for (int k = 0; k < 4; ++k) {
        canvas.Line(corners[k], corners[(k + 1) % 4], kDecodedColour);
    }
    std::printf("decoded side %u, %d corrected, %d bytes: \"%s\"\n", result.side, result.correctedCount,
                result.length, Printable(result.data, result.length).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dm-trace IMAGE OUT.png\n");
        return 2;
    }
    DecoderContext* context = CreateDecoderContext();
    auto* trace = static_cast<ChainTrace*>(std::calloc(1, sizeof(ChainTrace)));
    if (context == nullptr || trace == nullptr) {
        std::fprintf(stderr, "dm-trace: out of memory\n");
        std::free(trace);
        DestroyDecoderContext(&context);
        return 1;
    }
    if (!LoadTracedPicture(*context, argv[1])) {
        std::fprintf(stderr, "dm-trace: cannot read %s\n", argv[1]);
        std::free(trace);
        DestroyDecoderContext(&context);
        return 1;
    }
    GrayImage& image = context->image;
    Canvas canvas = CanvasOf(image);
    DrawFirstPassGrid(canvas, image);

    context->trace = trace;
    DecodeResult result{};
    const int32_t decoded = DecodeToResult(*context, result);
    ReportCandidates(canvas, *trace, argv[1], image);
    ReportResult(canvas, decoded, result);
    std::free(result.data);
    const bool written = WritePng(canvas, argv[2]);
    if (!written) {
        std::fprintf(stderr, "dm-trace: cannot write %s\n", argv[2]);
    }
    FreeGrayImage(image);
    std::free(trace);
    DestroyDecoderContext(&context);
    return written ? 0 : 1;
}
