#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "decoder/chain_trace.h"
#include "decoder/decoder_context.h"
#include "decoder/entries.h"
#include "image/picture_reader.h"
#include "norvale/datamatrix.hpp"
#include "test_support.h"

namespace {

using norvale::DecodedAll;
using norvale::DecodeErrorKind;
using norvale::GrayImage;
using norvale::RowOrder;

// A fixture symbol of tests/data/sizes, cut out of its picture with `margin` modules of its
// quiet zone, top row first.
struct Tile
{
    std::vector<uint8_t> pixels;
    int size = 0;
    std::string bytes;
};

Tile CutTile(const std::string& name, int side, double margin)
{
    Tile tile;
    GrayImage image{};
    if (!norvale::test::LoadTestPicture(image, norvale::test::TestDataPath("sizes/" + name + ".png"))) {
        return tile;
    }
    const int w = static_cast<int>(image.width);
    const int h = static_cast<int>(image.height);
    const norvale::test::DarkBox box = norvale::test::FindDarkBox(image);
    const int low = box.minX;
    const int high = box.maxX;
    const double module = double(high - low + 1) / side;
    const int pad = static_cast<int>(std::lround(margin * module));
    const int from = std::max(0, low - pad);
    const int to = std::min(w - 1, high + pad);
    tile.size = to - from + 1;
    for (int row = 0; row < tile.size; ++row) {
        const int y = h - 1 - (from + row); // the square is centred, so rows and columns match
        for (int x = from; x <= to; ++x) {
            tile.pixels.push_back(image.source[y * w + x]);
        }
    }
    const std::vector<uint8_t> bin =
        norvale::test::ReadFileBytes(norvale::test::TestDataPath("sizes/" + name + ".bin"));
    tile.bytes.assign(bin.begin(), bin.end());
    norvale::test::FreeTestPicture(image);
    return tile;
}

// A white sheet, top row first.
struct Sheet
{
    int width;
    int height;
    std::vector<uint8_t> pixels;

    Sheet(int w, int h) : width(w), height(h), pixels(size_t(w) * h, 255) {}

    // Draws the tile turned by `degrees` about its centre, which lands on (cx, cy); bilinear.
    void Place(const Tile& tile, double cx, double cy, double degrees)
    {
        const double turn = degrees * std::acos(-1.0) / 180.0;
        const double c = std::cos(turn);
        const double s = std::sin(turn);
        const double half = tile.size / 2.0;
        const int reach = static_cast<int>(std::ceil(half * std::sqrt(2.0))) + 1;
        for (int y = int(cy) - reach; y <= int(cy) + reach; ++y) {
            for (int x = int(cx) - reach; x <= int(cx) + reach; ++x) {
                if (x < 0 || y < 0 || x >= width || y >= height) {
                    continue;
                }
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                const double u = c * dx + s * dy + half - 0.5;
                const double v = -s * dx + c * dy + half - 0.5;
                if (u < 0 || v < 0 || u > tile.size - 1 || v > tile.size - 1) {
                    continue;
                }
                const int u0 = std::min(int(u), tile.size - 2);
                const int v0 = std::min(int(v), tile.size - 2);
                const double fu = u - u0;
                const double fv = v - v0;
                const auto at = [&](int uu, int vv) {
                    return double(tile.pixels[size_t(vv) * tile.size + uu]);
                };
                const double grey = (1 - fv) * ((1 - fu) * at(u0, v0) + fu * at(u0 + 1, v0)) +
                                    fv * ((1 - fu) * at(u0, v0 + 1) + fu * at(u0 + 1, v0 + 1));
                pixels[size_t(y) * width + x] = static_cast<uint8_t>(std::lround(grey));
            }
        }
    }
};

struct Placement
{
    const char* name;
    int side;
    double degrees;
};

struct SheetCase
{
    const char* name;
    std::vector<Placement> symbols;
    double margin; // quiet zone kept around each symbol, in modules
    int columns;
};

std::vector<SheetCase> SheetCases()
{
    const std::vector<Placement> twelve = {
        {"s010-0", 10, 0},   {"s012-1", 12, 17},  {"s014-0", 14, 90},  {"s016-0", 16, 33},
        {"s018-0", 18, 180}, {"s020-1", 20, -12}, {"s022-1", 22, 270}, {"s024-2", 24, 45},
        {"s026-2", 26, 8},   {"s032-0", 32, -30}, {"s036-2", 36, 120}, {"s044-0", 44, 3},
    };
    return {
        {"TwoSymbols", {{"s018-0", 18, 0}, {"s032-0", 32, 20}}, 3.0, 2},
        {"FiveMixedAngles",
         {{"s010-0", 10, 10},
          {"s016-0", 16, 200},
          {"s022-1", 22, -40},
          {"s026-2", 26, 95},
          {"s036-2", 36, 61}},
         3.0,
         3},
        {"TwelveMixedSizesAndAngles", twelve, 3.0, 4},
        {"SheetOfNearlyTouchingLabels",
         {{"s016-0", 16, 0},
          {"s016-0", 16, 0},
          {"s020-1", 20, 0},
          {"s020-1", 20, 0},
          {"s018-0", 18, 0},
          {"s022-1", 22, 0}},
         0.5,
         3},
    };
}

class SweepTest : public ::testing::TestWithParam<SheetCase>
{
};

// Turned symbols get square cells wide enough for any angle; the sheet of labels packs the tiles
// side by side, row by row, so that neighbours stand one module apart.
TEST_P(SweepTest, FindsEverySymbolOnce)
{
    const SheetCase& c = GetParam();
    const bool packed = c.margin < 1.5;
    std::vector<Tile> tiles;
    int cell = 0;
    for (const Placement& p : c.symbols) {
        tiles.push_back(CutTile(p.name, p.side, c.margin));
        ASSERT_FALSE(tiles.back().bytes.empty()) << p.name;
        cell = std::max(cell, static_cast<int>(tiles.back().size * std::sqrt(2.0)) + 4);
    }
    std::vector<std::pair<double, double>> centres;
    // The sheet lies on a white border, so that no symbol touches the picture's edge.
    constexpr int kBorder = 12;
    int width = 0;
    int height = 0;
    int x = kBorder;
    int y = kBorder;
    int rowHeight = 0;
    for (size_t i = 0; i < tiles.size(); ++i) {
        const int size = packed ? tiles[i].size : cell;
        if (i > 0 && i % c.columns == 0) {
            x = kBorder;
            y += rowHeight;
            rowHeight = 0;
        }
        centres.emplace_back(x + size / 2.0, y + size / 2.0);
        x += size;
        rowHeight = std::max(rowHeight, size);
        width = std::max(width, x);
        height = std::max(height, y + rowHeight);
    }
    Sheet sheet(width + kBorder, height + kBorder);
    std::vector<std::string> expected;
    for (size_t i = 0; i < tiles.size(); ++i) {
        sheet.Place(tiles[i], centres[i].first, centres[i].second, c.symbols[i].degrees);
        expected.push_back(tiles[i].bytes);
    }
    const DecodedAll all = norvale::DecodeAllGray(sheet.pixels.data(), sheet.width, sheet.height, sheet.width,
                                                  RowOrder::kTopFirst);
    ASSERT_EQ(all.error, DecodeErrorKind::kNone);
    std::vector<std::string> found;
    for (const norvale::Decoded& d : all.symbols) {
        found.push_back(d.text());
    }
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);
}

INSTANTIATE_TEST_SUITE_P(Sheets, SweepTest, ::testing::ValuesIn(SheetCases()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

struct SecondPassCase
{
    const char* name;
    const char* file;
    norvale::TracedSearch search; // where the symbol is read
    int pass;
};

// A dot-peened mark in soft focus reads only on the levelled copy, a symbol cut by the picture's
// edge only on the margined copy, and a curved label only by the closer look at a first-pass
// candidate: all come before the picture's second pass, which then never runs.
constexpr SecondPassCase kSecondPassCases[] = {
    {"SoftDots", "blackbox/dots/dots-011.jpg", norvale::TracedSearch::kLevelled, 1},
    {"CutByTheEdge", "blackbox/tight/tight-004.png", norvale::TracedSearch::kMargined, 1},
    {"CurvedLabel", "blackbox/curved/curved-010.png", norvale::TracedSearch::kPicture,
     norvale::kCloserLookPass},
};

class PictureSearchOrderTest : public ::testing::TestWithParam<SecondPassCase>
{
};

TEST_P(PictureSearchOrderTest, DecodesWithoutTheSecondPass)
{
    const SecondPassCase& c = GetParam();
    norvale::test::ContextPtr context = norvale::test::MakeTestContext();
    const std::string path = norvale::test::TestDataPath(c.file);
    ASSERT_EQ(norvale::LoadPictureFile(context->image, path.c_str(), norvale::FormatFromName(path.c_str())),
              1);
    auto* trace = static_cast<norvale::ChainTrace*>(std::calloc(1, sizeof(norvale::ChainTrace)));
    ASSERT_NE(trace, nullptr);
    context->trace = trace;
    DecodeResult result{};
    ASSERT_GT(norvale::DecodeToResult(*context, result), 0);
    std::string bin = c.file;
    bin.replace(bin.rfind('.'), std::string::npos, ".bin");
    const std::vector<uint8_t> expected = norvale::test::ReadFileBytes(norvale::test::TestDataPath(bin));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(result.data), static_cast<size_t>(result.length)),
              std::string(expected.begin(), expected.end()));
    ASSERT_GT(trace->count, 0);
    const norvale::CandidateFate& last = trace->fates[trace->count - 1];
    EXPECT_TRUE(last.search == c.search && last.pass == c.pass);
    for (int32_t i = 0; i < trace->count; ++i) {
        const norvale::CandidateFate& fate = trace->fates[i];
        EXPECT_FALSE(fate.search == norvale::TracedSearch::kPicture && fate.pass == 2) << "fate " << i;
    }
    std::free(result.data);
    std::free(trace);
    norvale::FreeGrayImage(context->image);
}

INSTANTIATE_TEST_SUITE_P(Pictures, PictureSearchOrderTest, ::testing::ValuesIn(kSecondPassCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
