#include "decoder/grid/region_border_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "decoder/base/image_sampling.h"
#include "decoder/base/line_geometry.h"
#include "decoder/base/symbol_record.h"
#include "decoder/decoder_context.h"
#include "large_symbol_fixture.h"

namespace norvale {
namespace {

// A context reading a picture owned by the test.
class PictureContext
{
  public:
    PictureContext(const uint8_t* plane, uint32_t width, uint32_t height) : context_(CreateDecoderContext())
    {
        if (context_ != nullptr) {
            context_->image.scale = 1;
            context_->image.width = width;
            context_->image.height = height;
            context_->image.current = const_cast<uint8_t*>(plane);
        }
    }
    ~PictureContext()
    {
        if (context_ != nullptr) {
            context_->image = GrayImage{};
            DestroyDecoderContext(&context_);
        }
    }
    const GrayImage& operator*() { return context_->image; }
    bool valid() const { return context_ != nullptr; }

  private:
    DecoderContext* context_;
};

SymbolRecord DarkOnLightRecord()
{
    ScanContrast contrast{};
    contrast.contrastReference = 255.0f;
    contrast.contrastSign = -1.0f;
    contrast.inkThreshold = 127.0f;
    SymbolRecord record{};
    InitSymbolRecord(record, contrast);
    return record;
}

TEST(RegionBorderScanTest, CountsChangesAlongStripes)
{
    // Dark columns 4 pixels wide every 8 pixels from x = 8 to x = 47: 10 changes along a row.
    std::vector<uint8_t> plane(64 * 16, 255);
    for (int y = 0; y < 16; ++y) {
        for (int x = 8; x < 48; ++x) {
            if (((x - 8) / 4) % 2 == 0) {
                plane[y * 64 + x] = 0;
            }
        }
    }
    PictureContext context(plane.data(), 64, 16);
    ASSERT_TRUE(context.valid());
    const SymbolRecord record = DarkOnLightRecord();
    TransitionScan scan{};
    scan.line = FittedLine{1, 0, 0.0f, 60.0f, {0.0f, 8.0f}, {1.0f, 0.0f}};
    EXPECT_EQ(CountTransitions(record, *context, scan), 10);
    EXPECT_EQ(scan.transitionCount, 10);
    EXPECT_FLOAT_EQ(scan.transitions, 10.0f);
    scan.line.tEnd = 11.0f; // samples x = 0..11: only the first dark column begins
    EXPECT_EQ(CountTransitions(record, *context, scan), 1);
    scan.line.origin = PointF{0.0f, 40.0f}; // above the picture: every sample reads 0 (ink)
    EXPECT_EQ(CountTransitions(record, *context, scan), 0);
}

// Scans wholly inside the picture skip the per-sample bounds test and sample four points at a
// time: they must count exactly as sampling every point on its own does, up to any stop, as must
// scans that leave the picture or end on its last row or column, where the cubic sample takes
// over.
TEST(RegionBorderScanTest, CountsAsSamplingEachPointDoes)
{
    constexpr uint32_t kWidth = 41;
    constexpr uint32_t kHeight = 33;
    std::vector<uint8_t> plane(kWidth * kHeight);
    for (size_t i = 0; i < plane.size(); ++i) {
        plane[i] = static_cast<uint8_t>((i * 7919u + (i >> 3) * 104729u) % 251u);
    }
    PictureContext context(plane.data(), kWidth, kHeight);
    ASSERT_TRUE(context.valid());
    const SymbolRecord record = DarkOnLightRecord();
    struct Scan
    {
        PointF origin;
        float angle; // degrees
        float length;
    };
    const Scan scans[] = {
        {{0.0f, 0.0f}, 0.0f, 39.9f},     {{0.0f, 31.5f}, 0.0f, 40.0f},   {{0.5f, 0.5f}, 37.0f, 45.0f},
        {{39.9f, 31.9f}, 200.0f, 50.0f}, {{20.0f, 16.0f}, 95.0f, 30.0f}, {{-3.0f, 4.0f}, 10.0f, 60.0f},
        {{39.0f, 2.0f}, 90.0f, 31.0f},   {{12.3f, 7.7f}, 300.0f, 7.0f},  {{5.0f, 5.0f}, 45.0f, 0.5f},
    };
    for (const Scan& s : scans) {
        for (const int32_t step : {1, 2, 3}) {
            TransitionScan scan{};
            const double radians = s.angle * 3.14159265358979 / 180.0;
            scan.line = FittedLine{
                1,        0,
                0.0f,     s.length,
                s.origin, {static_cast<float>(std::cos(radians)), static_cast<float>(std::sin(radians))}};
            int32_t expected = 0;
            bool ink = false;
            for (int32_t t = 0; static_cast<float>(t) <= s.length; t += step) {
                PointF p{};
                PointOnLine(p, scan.line, static_cast<float>(t));
                float gray = 0.0f;
                SampleBilinear(gray, *context, p.x, p.y);
                const bool sampleInk = IsInk(record.contrast, gray);
                expected += t > 0 && sampleInk != ink ? 1 : 0;
                ink = sampleInk;
            }
            for (const int32_t stopAt : {INT32_MAX, 5, 1}) {
                EXPECT_EQ(CountTransitions(record, *context, scan, stopAt, step), std::min(expected, stopAt))
                    << "scan from (" << s.origin.x << ", " << s.origin.y << ") at " << s.angle
                    << " degrees, step " << step << ", stop at " << stopAt;
            }
        }
    }
}

TEST(RegionBorderScanTest, ScanKeepsMinimumAndMaximum)
{
    std::vector<uint8_t> plane(300 * 4, 255);
    for (int x = 0; x < 300; ++x) {
        for (int y = 0; y < 2; ++y) {
            plane[y * 300 + x] = (x % 2 == 0) ? 0 : 255; // rows 0 and 1: one change per pixel
        }
    }
    PictureContext context(plane.data(), 300, 4);
    ASSERT_TRUE(context.valid());
    const SymbolRecord record = DarkOnLightRecord();
    TransitionScan columns[kMaxSegments] = {};
    TransitionScan rows[kMaxSegments] = {};
    RegionScanState state{};
    state.columnScans = columns;
    state.rowScans = rows;
    state.yLegLine = FittedLine{1, 0, 0.0f, 10.0f, {0.0f, 0.0f}, {0.0f, 1.0f}};
    state.xLegLine = FittedLine{1, 0, 0.0f, 10.0f, {0.0f, 0.0f}, {1.0f, 0.0f}};
    TransitionPair minima{2147483648.0f, 2147483648.0f};
    TransitionPair maxima{0.0f, 0.0f};

    state.scanLength = 100.0f; // row at y = 1: 100 changes
    EXPECT_EQ(ScanTransitions(record, *context, state, rows[2], 1, 10.0f, minima, maxima, true), 1);
    EXPECT_EQ(minima.row, 100.0f); // a new minimum leaves the maximum alone
    EXPECT_EQ(maxima.row, 0.0f);
    EXPECT_EQ(ScanTransitions(record, *context, state, rows[3], 3, 10.0f, minima, maxima, true), 1);
    EXPECT_EQ(minima.row, 0.0f); // row at y = 3: light all along
    EXPECT_EQ(ScanTransitions(record, *context, state, rows[2], 1, 10.0f, minima, maxima, true), 1);
    EXPECT_EQ(maxima.row, 100.0f);
    EXPECT_EQ(state.maxRowIndex, 2);

    state.scanLength = 180.0f; // 180 changes: too many to be a maximum, not enough to stop
    EXPECT_EQ(ScanTransitions(record, *context, state, rows[4], 1, 10.0f, minima, maxima, true), 1);
    EXPECT_EQ(maxima.row, 100.0f);
    EXPECT_EQ(state.maxRowIndex, 2);
    state.scanLength = 240.0f; // more than 230: stop
    EXPECT_EQ(ScanTransitions(record, *context, state, rows[4], 1, 10.0f, minima, maxima, true), 0);
    EXPECT_EQ(ScanTransitions(record, *context, state, rows[4], 10, 10.0f, minima, maxima, true), 0);
    EXPECT_EQ(maxima.column, 0.0f);
}

TEST(RegionBorderScanTest, ShortLegsAreRefusedUntouched)
{
    std::vector<uint8_t> plane(100 * 100, 255);
    PictureContext context(plane.data(), 100, 100);
    ASSERT_TRUE(context.valid());
    SymbolRecord record = DarkOnLightRecord();
    record.corner = PointF{10.0f, 10.0f};
    record.yLegEnd = PointF{10.0f, 67.9f}; // 57.9 pixels
    record.xLegEnd = PointF{60.0f, 10.0f};
    record.moduleCountHint = 7;
    EXPECT_EQ(FindRegionBorders(record, *context), 0);
    EXPECT_EQ(record.moduleCountHint, 7);
    EXPECT_EQ(record.status, 0);
}

TEST(RegionBorderScanTest, BlankPictureMarksRecord)
{
    std::vector<uint8_t> plane(200 * 200, 255);
    PictureContext context(plane.data(), 200, 200);
    ASSERT_TRUE(context.valid());
    SymbolRecord record = DarkOnLightRecord();
    record.corner = PointF{20.0f, 20.0f};
    record.yLegEnd = PointF{20.0f, 120.0f};
    record.xLegEnd = PointF{120.0f, 20.0f};
    record.moduleCountHint = 7;
    EXPECT_EQ(FindRegionBorders(record, *context), 0);
    EXPECT_EQ(record.status, kStatusSkip);
    EXPECT_EQ(record.moduleCountHint, 0);
    EXPECT_EQ(record.rowLines, nullptr);
}

TEST(RegionBorderScanTest, LegLongerThanPictureIsRefused)
{
    std::vector<uint8_t> plane(50 * 50, 255);
    PictureContext context(plane.data(), 50, 50);
    ASSERT_TRUE(context.valid());
    SymbolRecord record = DarkOnLightRecord();
    record.yLegEnd = PointF{0.0f, 1e30f};
    record.xLegEnd = PointF{1e30f, 0.0f};
    EXPECT_EQ(FindRegionBorders(record, *context), 0);
    record.yLegEnd = PointF{0.0f, NAN};
    EXPECT_EQ(FindRegionBorders(record, *context), 0);
}

struct LargeSymbolCase
{
    const char* name;
    const char* file;
    int side;
    double degrees;
    float cornerInset; // pixels from the outer pixel centre: -0.5 is the outer pixel edge
};

constexpr LargeSymbolCase kLargeSymbolCases[] = {
    {"Side32", "sizes/s032-0.png", 32, 0.0, -0.25f},
    {"Side44", "sizes/s044-0.png", 44, 0.0, -0.25f},
    {"Side52", "sizes/s052-2.png", 52, 0.0, -0.25f},
    {"Side64", "sizes/s064-0.png", 64, 0.0, -0.25f},
    {"Side96", "sizes/s096-2.png", 96, 0.0, -0.25f},
    {"Side104", "sizes/s104-1.png", 104, 0.0, -0.25f},
    {"Side120", "sizes/s120-0.png", 120, 0.0, -0.25f},
    {"Side144", "sizes/s144-2.png", 144, 0.0, -0.25f},
    {"Side32TurnedRight", "sizes/s032-0.png", 32, 90.0, -0.25f},
    {"Side52Turned30", "sizes/s052-2.png", 52, 30.0, -0.25f},
    {"Side64Turned45", "sizes/s064-0.png", 64, 45.0, -0.25f},
    {"Side104Turned7", "sizes/s104-1.png", 104, 7.0, -0.25f},
    {"Side144Turned200", "sizes/s144-2.png", 144, 200.0, -0.25f},
    // A corner found on a sharp edge lies on the pixel boundary; scans laid at whole-pixel
    // offsets from it would all run along module boundaries of these whole-pixel modules.
    {"Side44CornerOnEdge", "sizes/s044-0.png", 44, 0.0, -0.5f},
    {"Side64CornerOnEdge", "sizes/s064-0.png", 64, 0.0, -0.5f},
    {"Side144CornerOnEdge", "sizes/s144-2.png", 144, 0.0, -0.5f},
    {"Side52CornerOnPixelCentre", "sizes/s052-2.png", 52, 0.0, 0.0f},
    {"Side104CornerOnPixelCentre", "sizes/s104-1.png", 104, 0.0, 0.0f},
};

class RegionBorderSymbolTest : public ::testing::TestWithParam<LargeSymbolCase>
{
};

TEST_P(RegionBorderSymbolTest, BuildsGridOnModuleCentres)
{
    const LargeSymbolCase& c = GetParam();
    test::LargeSymbol symbol;
    ASSERT_TRUE(test::LoadLargeSymbol(symbol, c.file, c.side, c.cornerInset));
    if (c.degrees != 0.0) {
        ASSERT_TRUE(test::RotateLargeSymbol(symbol, c.degrees));
    }
    PictureContext context(symbol.image.current, symbol.image.width, symbol.image.height);
    ASSERT_TRUE(context.valid());
    SymbolRecord record{};
    test::MakeLargeSymbolRecord(record, symbol);

    EXPECT_EQ(FindRegionBorders(record, *context), 1);
    EXPECT_EQ(record.moduleCountHint, c.side);
    ASSERT_EQ(record.gridLineCount, c.side);
    ASSERT_NE(record.rowLines, nullptr);
    ASSERT_NE(record.columnLines, nullptr);
    const float module = symbol.ModulePixels();
    float worst = 0.0f;
    for (int i = 0; i < c.side; ++i) {
        for (int j = 0; j < c.side; ++j) {
            PointF p{};
            ASSERT_EQ(IntersectLines(p, record.rowLines[i], record.columnLines[j]), 1);
            const PointF centre = symbol.ModuleCentre(static_cast<float>(i), static_cast<float>(j));
            worst = std::fmax(worst, std::hypot(p.x - centre.x, p.y - centre.y) / module);
        }
    }
    EXPECT_LT(worst, 0.5f);
    ReleaseSymbolBuffers(record);
    test::FreeLargeSymbol(symbol);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegionBorderSymbolTest, ::testing::ValuesIn(kLargeSymbolCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvale
