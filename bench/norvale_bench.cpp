// Decoding benchmark: loads every picture of a corpus manifest once, then times only the decode
// of the loaded grey plane, and reports decode rates, times, where the time goes per stage and
// peak resident memory.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/decoder_context.h"
#include "decoder/entries.h"
#include "decoder/stage_clock.h"
#include "image/gray_image.h"
#include "image/picture_reader.h"
#include "norvale/datamatrix.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using norvale::kStageCount;
using norvale::Stage;

// The desktop program prints the decoded bytes as a C string in a 1000-byte buffer.
constexpr size_t kPrintedBytes = 999;
constexpr double kMillisPerSecond = 1000.0;
constexpr double kKibPerMib = 1024.0;

const char* const kUsage =
    "usage: norvale-bench MANIFEST [options]\n"
    "Loads every picture of MANIFEST (corpus manifest.tsv format) once and times the decode.\n"
    "  --category C      only rows of category C (repeatable, or comma-separated)\n"
    "  --min-runs N      runs per picture at least (default 3)\n"
    "  --max-runs N      runs per picture at most (default 50)\n"
    "  --seconds S       keep repeating a picture until S seconds are spent (default 0.3)\n"
    "  --per-picture     print min and median milliseconds of every picture\n"
    "  --big WxH         also decode once a WxH picture built around one corpus picture and\n"
    "                    report its time and the growth of peak resident memory\n"
    "  --big-source FILE corpus picture (manifest path) to embed; default: first of 'sizes'\n"
    "  --big-only        only the --big measurement, no corpus timing\n"
    "  --stage-runs N    decodes per picture with the stage clock for the stage table (default 1,\n"
    "                    0 leaves the table out); a picture counts with its run of median wall\n"
    "                    time. These runs come after the timed ones and are not in their figures\n";

struct Options
{
    std::string manifest;
    std::set<std::string> categories;
    int minRuns = 3;
    int maxRuns = 50;
    double seconds = 0.3;
    bool perPicture = false;
    uint32_t bigWidth = 0;
    uint32_t bigHeight = 0;
    std::string bigSource;
    bool bigOnly = false;
    int stageRuns = 1;
};

struct Row
{
    std::string file;
    std::string expected;
    std::string category;
};

struct Plane
{
    bool loaded = false;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels; // bottom row first
    double loadMs = 0.0;         // the reader's call
};

struct Timing
{
    int runs = 0;
    double minMs = 0.0;
    double medianMs = 0.0;
    bool passed = false;
    std::string printed;
};

bool ParseSize(const char* text, uint32_t& width, uint32_t& height)
{
    unsigned w = 0;
    unsigned h = 0;
    char tail = 0;
    if (std::sscanf(text, "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--category" && hasValue) {
            std::stringstream list(argv[++i]);
            std::string one;
            while (std::getline(list, one, ',')) {
                if (!one.empty()) {
                    options.categories.insert(one);
                }
            }
        } else if (arg == "--min-runs" && hasValue) {
            options.minRuns = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--max-runs" && hasValue) {
            options.maxRuns = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--seconds" && hasValue) {
            options.seconds = std::atof(argv[++i]);
        } else if (arg == "--per-picture") {
            options.perPicture = true;
        } else if (arg == "--big" && hasValue) {
            if (!ParseSize(argv[++i], options.bigWidth, options.bigHeight)) {
                return false;
            }
        } else if (arg == "--big-source" && hasValue) {
            options.bigSource = argv[++i];
        } else if (arg == "--big-only") {
            options.bigOnly = true;
        } else if (arg == "--stage-runs" && hasValue) {
            options.stageRuns = std::max(0, std::atoi(argv[++i]));
        } else if (!arg.empty() && arg[0] != '-' && options.manifest.empty()) {
            options.manifest = arg;
        } else {
            return false;
        }
    }
    options.maxRuns = std::max(options.maxRuns, options.minRuns);
    return !options.manifest.empty() && (!options.bigOnly || options.bigWidth > 0);
}

bool HexToBytes(const std::string& hex, std::string& bytes)
{
    if (hex.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char* end = nullptr;
        const long value = std::strtol(pair, &end, 16);
        if (end != pair + 2) {
            return false;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return true;
}

bool ReadManifest(const std::string& path, std::vector<Row>& rows)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line) || line.rfind("file\texpected_hex\tcategory", 0) != 0) {
        return false;
    }
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) {
            fields.push_back(field);
        }
        Row row;
        if (fields.size() < 3 || !HexToBytes(fields[1], row.expected)) {
            return false;
        }
        row.file = fields[0];
        row.category = fields[2];
        rows.push_back(row);
    }
    return true;
}

std::string JoinPath(const std::string& manifest, const std::string& file)
{
    if (!file.empty() && file[0] == '/') {
        return file;
    }
    const size_t slash = manifest.rfind('/');
    return slash == std::string::npos ? file : manifest.substr(0, slash + 1) + file;
}

double MillisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Plane LoadPlane(const std::string& path)
{
    Plane plane;
    // The reader is picked by the path's ending, as the path entry picks it.
    const norvale::PictureFormat format = norvale::FormatFromName(path.c_str());
    if (format == norvale::PictureFormat::kUnknown) {
        return plane;
    }
    norvale::GrayImage image;
    norvale::InitGrayImage(image);
    const Clock::time_point start = Clock::now();
    const int read = norvale::LoadPictureFile(image, path.c_str(), format);
    plane.loadMs = MillisSince(start);
    if (read == 1 && image.current != nullptr) {
        plane.loaded = true;
        plane.width = image.width;
        plane.height = image.height;
        plane.pixels.assign(image.current, image.current + size_t{image.width} * image.height);
    }
    norvale::FreeGrayImage(image);
    return plane;
}

norvale::Decoded DecodePlane(const Plane& plane)
{
    return norvale::DecodeGray(plane.pixels.data(), plane.width, plane.height, plane.width,
                               norvale::RowOrder::kBottomFirst);
}

// What the desktop program would print: the bytes up to the first NUL, at most 999 of them.
std::string PrintedText(std::string text)
{
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    return text.substr(0, std::min(text.size(), kPrintedBytes));
}

std::string PrintedText(const norvale::Decoded& decoded)
{
    return decoded.ok() ? PrintedText(decoded.text()) : std::string();
}

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

Timing TimePicture(const Plane& plane, const Row& row, const Options& options)
{
    Timing timing;
    if (!plane.loaded) {
        timing.passed = row.expected.empty();
        return timing;
    }
    std::vector<double> runs;
    double spentMs = 0.0;
    std::string printed;
    while (
        static_cast<int>(runs.size()) < options.maxRuns &&
        (static_cast<int>(runs.size()) < options.minRuns || spentMs < options.seconds * kMillisPerSecond)) {
        const Clock::time_point start = Clock::now();
        const norvale::Decoded decoded = DecodePlane(plane);
        const double ms = MillisSince(start);
        if (runs.empty()) {
            printed = PrintedText(decoded);
        }
        runs.push_back(ms);
        spentMs += ms;
    }
    timing.runs = static_cast<int>(runs.size());
    timing.minMs = *std::min_element(runs.begin(), runs.end());
    timing.medianMs = Median(runs);
    timing.passed = printed == row.expected;
    timing.printed = printed;
    return timing;
}

// One clocked decode of a picture: milliseconds per stage (loading still without the reader) and
// the wall time around the whole call.
struct StageRun
{
    double ms[kStageCount] = {};
    double wallMs = 0.0;
    std::string printed;
};

// Runs the call the grey-buffer entry makes, with the clock handed to it: a fresh context, a
// malloc'd copy of the plane, the search with its fallbacks. Returns DecodeToResult's answer.
int32_t DecodeWithClock(const Plane& plane, norvale::StageClock& clock, DecodeResult& result)
{
    norvale::DecoderContext* context = norvale::CreateDecoderContext();
    auto* pixels = static_cast<uint8_t*>(context != nullptr ? std::malloc(plane.pixels.size()) : nullptr);
    if (pixels == nullptr) {
        norvale::DestroyDecoderContext(&context);
        return 0;
    }
    context->flags = norvale::kFlagStopAtFirst;
    norvale::InitGrayImage(context->image);
    norvale::ResetDecoderContext(*context);
    std::memcpy(pixels, plane.pixels.data(), plane.pixels.size());
    norvale::AdoptSourcePlane(context->image, pixels, plane.width, plane.height);
    context->clock = &clock;
    const int32_t ok = norvale::DecodeToResult(*context, result);
    norvale::FreeGrayImage(context->image);
    norvale::DestroyDecoderContext(&context);
    return ok;
}

// Context set-up, the plane's copy and the clean-up are charged to the drivers' own stage.
StageRun ClockedDecode(const Plane& plane)
{
    StageRun run;
    norvale::StageClock clock;
    DecodeResult result{};
    const Clock::time_point start = Clock::now();
    norvale::StartStageClock(clock);
    const int32_t ok = DecodeWithClock(plane, clock, result);
    norvale::StopStageClock(clock);
    run.wallMs = MillisSince(start);
    for (int k = 0; k < kStageCount; ++k) {
        run.ms[k] = clock.seconds[k] * kMillisPerSecond;
    }
    if (ok == 1 && result.data != nullptr) {
        run.printed = PrintedText(std::string(result.data, result.data + result.length));
    }
    std::free(result.data);
    return run;
}

// The picture's clocked run of median wall time (the lower middle one for an even count).
StageRun MeasureStages(const Plane& plane, int runs)
{
    std::vector<StageRun> all;
    for (int i = 0; i < runs; ++i) {
        all.push_back(ClockedDecode(plane));
    }
    std::sort(all.begin(), all.end(),
              [](const StageRun& a, const StageRun& b) { return a.wallMs < b.wallMs; });
    return all[(all.size() - 1) / 2];
}

// Peak resident memory of the process so far, in KiB (Linux reports ru_maxrss in KiB).
long PeakRssKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), 0 when unavailable.
long StatusKib(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(key));
        }
    }
    return 0;
}

// Resets the kernel's resident high-water mark (VmHWM) to the current size; false when the
// kernel refuses. ru_maxrss is never reset, so it only serves when this fails.
bool ResetPeakRss()
{
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && ok;
}

double Mib(long kib)
{
    return static_cast<double>(kib) / kKibPerMib;
}

// A light grey ground with mild noise, the picture pasted in the middle (clipped when larger).
// The noise comes from a fixed linear congruential sequence, so every run sees the same picture.
Plane BuildBigPlane(const Plane& inner, uint32_t width, uint32_t height)
{
    constexpr uint32_t kGround = 200;
    constexpr uint32_t kNoiseSpan = 24;
    constexpr uint32_t kLcgMultiplier = 1664525u;
    constexpr uint32_t kLcgIncrement = 1013904223u;
    Plane big;
    big.loaded = true;
    big.width = width;
    big.height = height;
    big.pixels.resize(size_t{width} * height);
    uint32_t state = 20240611u;
    for (uint8_t& pixel : big.pixels) {
        state = state * kLcgMultiplier + kLcgIncrement;
        pixel = static_cast<uint8_t>(kGround - kNoiseSpan / 2 + (state >> 24) % kNoiseSpan);
    }
    const uint32_t copyWidth = std::min(inner.width, width);
    const uint32_t copyHeight = std::min(inner.height, height);
    const uint32_t left = (width - copyWidth) / 2;
    const uint32_t bottom = (height - copyHeight) / 2;
    for (uint32_t y = 0; y < copyHeight; ++y) {
        std::memcpy(&big.pixels[size_t{bottom + y} * width + left], &inner.pixels[size_t{y} * inner.width],
                    copyWidth);
    }
    return big;
}

const Row* ChooseBigSource(const std::vector<Row>& rows, const std::string& wanted)
{
    for (const Row& row : rows) {
        if (!wanted.empty() ? row.file == wanted : (row.category == "sizes" && !row.expected.empty())) {
            return &row;
        }
    }
    if (wanted.empty()) {
        for (const Row& row : rows) {
            if (!row.expected.empty()) {
                return &row;
            }
        }
    }
    return nullptr;
}

// Decodes one synthetic picture, before the corpus is loaded so that the process peak reflects
// this call: the high-water mark is reset just before the call where the kernel allows it, and
// its growth over the resident size before the call is what the call needed beyond the picture.
int MeasureBigPicture(const Options& options, const std::vector<Row>& rows)
{
    const Row* source = ChooseBigSource(rows, options.bigSource);
    if (source == nullptr) {
        std::fprintf(stderr, "norvale-bench: no picture to embed for --big\n");
        return 1;
    }
    Plane big;
    bool innerLoaded = false;
    {
        const Plane inner = LoadPlane(JoinPath(options.manifest, source->file));
        innerLoaded = inner.loaded;
        big = BuildBigPlane(inner, options.bigWidth, options.bigHeight);
    }
    const long rssBefore = StatusKib("VmRSS:");
    const bool reset = ResetPeakRss();
    const long peakBefore = reset ? StatusKib("VmHWM:") : PeakRssKib();
    const Clock::time_point start = Clock::now();
    const norvale::Decoded decoded = DecodePlane(big);
    const double ms = MillisSince(start);
    const long peakAfter = reset ? StatusKib("VmHWM:") : PeakRssKib();
    const double pictureMib = static_cast<double>(big.pixels.size()) / (kKibPerMib * kKibPerMib);
    const long growth = peakAfter - std::max(rssBefore, 0L);

    std::printf("big picture %ux%u (%.1f MiB grey plane), %s embedded%s\n", big.width, big.height, pictureMib,
                source->file.c_str(), innerLoaded ? "" : " (NOT loaded: plain noise)");
    std::printf("  decode wall time      %10.1f ms, %s\n", ms,
                !decoded.ok()                              ? "nothing decoded"
                : PrintedText(decoded) == source->expected ? "decoded, bytes as expected"
                                                           : "decoded, bytes differ");
    std::printf("  resident before call  %10.1f MiB (peak before %.1f MiB, %s)\n", Mib(rssBefore),
                Mib(peakBefore), reset ? "VmHWM reset" : "ru_maxrss, not resettable");
    std::printf("  peak during call      %10.1f MiB\n", Mib(peakAfter));
    std::printf("  peak growth of call   %10.1f MiB = %.2f x the grey plane%s\n", Mib(growth),
                Mib(growth) / pictureMib, peakAfter > peakBefore ? "" : " (no new peak: upper bound)");
    std::printf("\n");
    return 0;
}

struct Summary
{
    int total = 0;
    int passed = 0;
    std::vector<double> medians;
    double totalMs = 0.0;

    void Add(const Timing& timing)
    {
        ++total;
        passed += timing.passed ? 1 : 0;
        if (timing.runs > 0) {
            medians.push_back(timing.medianMs);
            totalMs += timing.medianMs;
        }
    }
};

// Column heads of the stage table, in the order a decode from a file meets the stages.
struct StageColumn
{
    Stage stage;
    const char* name;
};
constexpr StageColumn kStageColumns[] = {
    {Stage::kLoading, "loading"},    {Stage::kPlanes, "planes"},     {Stage::kLocation, "location"},
    {Stage::kFrameFitting, "frame"}, {Stage::kSampling, "sampling"}, {Stage::kCorrection, "correct"},
    {Stage::kFallbacks, "fallback"}, {Stage::kOther, "other"},
};
static_assert(std::size(kStageColumns) == kStageCount, "one column per stage");
constexpr int kStageColumnWidth = 9;
constexpr double kPercent = 100.0;

struct StageSummary
{
    int pictures = 0;
    double ms[kStageCount] = {}; // loading includes the reader's call
    double decodeMs = 0.0;       // stage sum of the clocked decodes
    double wallMs = 0.0;         // their wall time
    double publicMs = 0.0;       // the timed public call's medians for the same pictures
    int agreeing = 0;            // clocked decodes that printed what the public call printed

    void Add(const Plane& plane, const StageRun& run, const Timing& timing)
    {
        ++pictures;
        ms[static_cast<int>(Stage::kLoading)] += plane.loadMs;
        for (int k = 0; k < kStageCount; ++k) {
            ms[k] += run.ms[k];
            decodeMs += run.ms[k];
        }
        wallMs += run.wallMs;
        publicMs += timing.medianMs;
        agreeing += run.printed == timing.printed ? 1 : 0;
    }

    double TotalMs() const
    {
        double total = 0.0;
        for (double stageMs : ms) {
            total += stageMs;
        }
        return total;
    }
};

// Per-category figures, categories in the order of their first row.
struct Tally
{
    std::vector<std::string> order;
    std::map<std::string, Summary> summaries;
    Summary overall;
    std::map<std::string, StageSummary> stages;
    StageSummary stagesOverall;

    void Add(const Row& row, const Timing& timing)
    {
        if (summaries.find(row.category) == summaries.end()) {
            order.push_back(row.category);
            stages[row.category] = StageSummary{}; // a row even when none of its pictures loads
        }
        summaries[row.category].Add(timing);
        overall.Add(timing);
    }

    void AddStages(const Row& row, const Plane& plane, const StageRun& run, const Timing& timing)
    {
        stages[row.category].Add(plane, run, timing);
        stagesOverall.Add(plane, run, timing);
    }

    int NameWidth() const
    {
        int width = static_cast<int>(std::strlen("category"));
        for (const std::string& name : order) {
            width = std::max(width, static_cast<int>(name.size()));
        }
        return width;
    }
};

void PrintSummaryLine(int width, const std::string& name, const Summary& summary)
{
    std::printf("%-*s %6d %6d %6.1f%% %10.2f %10.1f\n", width, name.c_str(), summary.total, summary.passed,
                summary.total > 0 ? 100.0 * summary.passed / summary.total : 0.0, Median(summary.medians),
                summary.totalMs);
}

void PrintSummaryTable(const Tally& tally)
{
    const int width = tally.NameWidth();
    std::printf("%-*s %6s %6s %7s %10s %10s\n", width, "category", "total", "passed", "rate", "median ms",
                "total ms");
    for (const std::string& name : tally.order) {
        PrintSummaryLine(width, name, tally.summaries.at(name));
    }
    PrintSummaryLine(width, "overall", tally.overall);
    std::printf("\n(median ms: median over pictures of each picture's median decode; total ms: sum of those "
                "medians)\n");
}

void PrintStageHeader(int width, bool shares)
{
    std::printf("%-*s %6s", width, "category", "pics");
    for (const StageColumn& column : kStageColumns) {
        std::printf(" %*s", kStageColumnWidth, column.name);
    }
    if (!shares) {
        std::printf(" %*s %*s", kStageColumnWidth, "decode", kStageColumnWidth, "total");
    }
    std::printf("\n");
}

// Milliseconds per stage, or with `shares` each stage's percentage of the category's total.
void PrintStageLine(int width, const std::string& name, const StageSummary& summary, bool shares)
{
    const double total = summary.TotalMs();
    std::printf("%-*s %6d", width, name.c_str(), summary.pictures);
    for (const StageColumn& column : kStageColumns) {
        const double ms = summary.ms[static_cast<int>(column.stage)];
        std::printf(" %*.1f", kStageColumnWidth, !shares ? ms : total > 0.0 ? kPercent * ms / total : 0.0);
    }
    if (!shares) {
        std::printf(" %*.1f %*.1f", kStageColumnWidth, summary.decodeMs, kStageColumnWidth, total);
    }
    std::printf("\n");
}

void PrintStageRows(const Tally& tally, bool shares)
{
    const int width = tally.NameWidth();
    PrintStageHeader(width, shares);
    for (const std::string& name : tally.order) {
        PrintStageLine(width, name, tally.stages.at(name), shares);
    }
    PrintStageLine(width, "overall", tally.stagesOverall, shares);
}

// The stage sum against the clocked calls' wall time (time no stage was charged with, e.g. when a
// call restarts the clock), and the clocked calls against the timed public call (the clock's own
// cost and the noise between the two runs), and whether both calls read the same bytes.
void PrintStageCheck(const StageSummary& overall)
{
    const double lost = overall.wallMs - overall.decodeMs;
    const double extra = overall.publicMs > 0.0 ? kPercent * (overall.wallMs / overall.publicMs - 1.0) : 0.0;
    std::printf("check: stage sum %.1f ms against the clocked decodes' wall time %.1f ms: %.2f ms (%.3f%%) "
                "unaccounted\n",
                overall.decodeMs, overall.wallMs, lost,
                overall.wallMs > 0.0 ? kPercent * lost / overall.wallMs : 0.0);
    std::printf("check: the clocked decodes against the timed medians above (%.1f ms for the same pictures): "
                "%+.1f%%;\n       %d of %d print the public call's bytes\n",
                overall.publicMs, extra, overall.agreeing, overall.pictures);
}

void PrintStageTables(const Tally& tally, int runs)
{
    std::printf(
        "\nstage times, ms summed over the category's pictures (loading: the reader's call, once per "
        "picture;\nthe other stages: of each picture the clocked decode of median wall time, of %d run%s)\n",
        runs, runs == 1 ? "" : "s");
    PrintStageRows(tally, false);
    std::printf("\nstage shares of the total (loading and decode), %%\n");
    PrintStageRows(tally, true);
    std::printf(
        "\n(planes: median plane and margined copy; location: scan lines, edge tracing, finder corners;\n"
        " frame: region-border scan and outline walks; sampling: size selection and module sampling;\n"
        " correct: placement, Reed-Solomon, data decoding; fallback: second looks, retry step and\n"
        " quiet-zone search, everything inside them; other: context set-up, the plane's copy, the\n"
        " drivers' bookkeeping; pictures that did not load are left out)\n");
    PrintStageCheck(tally.stagesOverall);
}

// Loads every row's picture once, printing how many loaded and how long it took.
std::vector<Plane> LoadPlanes(const Options& options, const std::vector<Row>& rows)
{
    const Clock::time_point loadStart = Clock::now();
    std::vector<Plane> planes;
    planes.reserve(rows.size());
    int loaded = 0;
    for (const Row& row : rows) {
        planes.push_back(LoadPlane(JoinPath(options.manifest, row.file)));
        loaded += planes.back().loaded ? 1 : 0;
    }
    const double loadMs = MillisSince(loadStart);
    std::printf(
        "%zu pictures, %d loaded in %.0f ms (not timed below); runs per picture %d..%d, %.2f s each\n\n",
        rows.size(), loaded, loadMs, options.minRuns, options.maxRuns, options.seconds);
    return planes;
}

struct PictureWidths
{
    int file = static_cast<int>(std::strlen("file"));
    int category = static_cast<int>(std::strlen("category"));
};

PictureWidths MeasureWidths(const std::vector<Row>& rows)
{
    PictureWidths widths;
    for (const Row& row : rows) {
        widths.file = std::max(widths.file, static_cast<int>(row.file.size()));
        widths.category = std::max(widths.category, static_cast<int>(row.category.size()));
    }
    return widths;
}

void PrintPerPictureHeader(const PictureWidths& widths)
{
    std::printf("%-*s %-*s %4s %10s %10s %6s %5s\n", widths.file, "file", widths.category, "category", "runs",
                "min ms", "median ms", "bytes", "ok");
}

void PrintPerPictureLine(const PictureWidths& widths, const Row& row, const Plane& plane,
                         const Timing& timing)
{
    std::printf("%-*s %-*s %4d %10.2f %10.2f %6zu %5s%s\n", widths.file, row.file.c_str(), widths.category,
                row.category.c_str(), timing.runs, timing.minMs, timing.medianMs, timing.printed.size(),
                timing.passed ? "yes" : "NO", plane.loaded ? "" : "  (not loaded)");
    std::fflush(stdout);
}

int RunCorpus(const Options& options, const std::vector<Row>& rows)
{
    const std::vector<Plane> planes = LoadPlanes(options, rows);
    const PictureWidths widths = MeasureWidths(rows);
    if (options.perPicture) {
        PrintPerPictureHeader(widths);
    }
    Tally tally;
    double stageMs = 0.0;
    const Clock::time_point timedStart = Clock::now();
    for (size_t i = 0; i < rows.size(); ++i) {
        const Timing timing = TimePicture(planes[i], rows[i], options);
        tally.Add(rows[i], timing);
        if (options.perPicture) {
            PrintPerPictureLine(widths, rows[i], planes[i], timing);
        }
        if (options.stageRuns > 0 && planes[i].loaded) {
            const Clock::time_point stageStart = Clock::now();
            tally.AddStages(rows[i], planes[i], MeasureStages(planes[i], options.stageRuns), timing);
            stageMs += MillisSince(stageStart);
        }
    }
    const double benchMs = MillisSince(timedStart) - stageMs;
    if (options.perPicture) {
        std::printf("\n");
    }
    PrintSummaryTable(tally);
    std::printf("benchmark wall time %.1f s; peak resident memory %.1f MiB (all pictures held in memory)\n",
                benchMs / kMillisPerSecond, Mib(PeakRssKib()));
    if (options.stageRuns > 0) {
        PrintStageTables(tally, options.stageRuns);
        std::printf("stage runs wall time %.1f s (not in the benchmark wall time above)\n",
                    stageMs / kMillisPerSecond);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<Row> rows;
    if (!ReadManifest(options.manifest, rows)) {
        std::fprintf(stderr, "norvale-bench: cannot read manifest %s\n", options.manifest.c_str());
        return 2;
    }
    std::vector<Row> selected;
    for (const Row& row : rows) {
        if (options.categories.empty() || options.categories.count(row.category) > 0) {
            selected.push_back(row);
        }
    }
    if (options.bigWidth > 0 && MeasureBigPicture(options, rows) != 0) {
        return 1;
    }
    return options.bigOnly ? 0 : RunCorpus(options, selected);
}
