// Vistrel, the desktop front end: the load button decodes an image file by path, the hidden
// button 1002 (--buffer) decodes the same file from memory. For scripts, several files can be
// given at once, decoded in parallel (-j), reported as JSON lines (--json), and a picture's
// symbol outline drawn into a copy (--annotate).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "apps/console_dialog.h"
#include "apps/desktop/annotation.h"
#include "apps/desktop/file_batch.h"
#include "apps/desktop/json_report.h"
#include "norvale/datamatrix.h"
#include "norvale/datamatrix.hpp"

namespace {

using namespace norvale::app;

constexpr int32_t kPathBufferSize = 1000;
constexpr int32_t kMemoryBufferSize = 100;
constexpr unsigned kMaxJobs = 64;

const char* const kUsage =
    "usage: vistrel [--buffer] [--all] [--json] [-j N] [--annotate OUT.png] IMAGE...\n"
    "Decodes the Data Matrix symbol in each IMAGE (.bmp, .png, .jpg, .jpeg) and prints its text.\n"
    "  --buffer          read the whole file into memory and decode it from there (BMP only)\n"
    "  --all             every symbol of each IMAGE, one line each (the format is recognised by\n"
    "                    the file's content)\n"
    "  --json            one JSON object per IMAGE and line: file, ok, text, hex, side, startMode,\n"
    "                    corrected, corners, symbologyIdentifier, gs1, eci, structuredAppend,\n"
    "                    readerProgramming, milliseconds, error (the file's format is recognised\n"
    "                    by its content); with --all the symbol fields of every symbol come in\n"
    "                    an array, symbols\n"
    "  -j N              decode up to N files at a time (1 to 64); output stays in argument order\n"
    "  --annotate OUT    also write OUT, a PNG copy of IMAGE with the symbol's outline drawn\n"
    "                    (green: decoded; red: a candidate that failed); one IMAGE only\n"
    "With several IMAGEs each line of output starts with \"IMAGE: \". Exit status: 0 when every\n"
    "IMAGE decoded, 1 when one did not, 2 for wrong usage, a file that cannot be opened or an\n"
    "annotated copy that cannot be written.\n";

struct Options
{
    bool buffer = false;
    bool all = false;
    bool json = false;
    unsigned jobs = 1;
    const char* annotate = nullptr;
    std::vector<const char*> files;
};

enum class Command {
    kDecode,
    kHelp,
    kUsageError,
};

bool ParseJobs(const char* text, unsigned& jobs)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > long{kMaxJobs}) {
        return false;
    }
    jobs = static_cast<unsigned>(value);
    return true;
}

Command ParseArguments(int argc, char** argv, Options& options)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (optionsEnded || (arg[0] != '-')) {
            options.files.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            return Command::kHelp;
        } else if (std::strcmp(arg, "--buffer") == 0) {
            options.buffer = true;
        } else if (std::strcmp(arg, "--json") == 0) {
            options.json = true;
        } else if (std::strcmp(arg, "--all") == 0) {
            options.all = true;
        } else if (std::strcmp(arg, "-j") == 0 && hasValue) {
            if (!ParseJobs(argv[++i], options.jobs)) {
                return Command::kUsageError;
            }
        } else if (std::strncmp(arg, "-j", 2) == 0 && arg[2] != '\0') {
            if (!ParseJobs(arg + 2, options.jobs)) {
                return Command::kUsageError;
            }
        } else if (std::strcmp(arg, "--annotate") == 0 && hasValue) {
            options.annotate = argv[++i];
        } else {
            return Command::kUsageError;
        }
    }
    // The memory button is the dialog's own test of DecodeImage1: it has no JSON or annotation.
    const bool buttonOnly = options.buffer && (options.json || options.all || options.annotate != nullptr);
    const bool annotateOne = options.annotate == nullptr || options.files.size() == 1;
    if (options.files.empty() || buttonOnly || !annotateOne) {
        return Command::kUsageError;
    }
    return Command::kDecode;
}

bool CanOpenQuietly(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// What both buttons do around their decode: the open test, then the text or the failure message.
// `decode` fills a zeroed text buffer and returns the entry's count.
template <typename Decode> FileReport PressButton(const char* path, const std::string& prefix, Decode decode)
{
    FileReport report;
    if (!CanOpenQuietly(path)) {
        report.err = prefix + MessageLine(std::string(kOpenFailure) + path);
        report.status = kExitOpenFailed;
        return report;
    }
    char text[kPathBufferSize] = {};
    if (decode(text) > 0) {
        report.out = prefix + text + "\n";
        report.status = kExitDecoded;
    } else {
        report.err = prefix + MessageLine(kDecodeFailure);
        report.status = kExitDecodeFailed;
    }
    return report;
}

// Load button: decode by path into a 1000-byte buffer.
FileReport LoadImageFile(const char* path, const std::string& prefix)
{
    return PressButton(path, prefix, [&](char* text) { return DecodeImage(path, kPathBufferSize, text); });
}

// Hidden button 1002: the whole file from memory into a 100-byte buffer.
FileReport TestMemoryBuffer(const char* path, const std::string& prefix)
{
    return PressButton(path, prefix, [&](char* text) {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(path, bytes)) {
            return 0;
        }
        return DecodeImage1(bytes.data(), static_cast<uint32_t>(bytes.size()), kMemoryBufferSize, text);
    });
}

// Runs `decode`, storing its result in `decoded` and its wall time in `milliseconds`.
template <typename Result, typename Decode>
void TimeDecode(Result& decoded, double& milliseconds, Decode decode)
{
    const auto start = std::chrono::steady_clock::now();
    decoded = decode();
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    milliseconds = elapsed.count();
}

// --json: the full result of the C++ API, timed.
FileReport ReportAsJson(const char* path, JsonOutcome& outcome)
{
    FileReport report;
    outcome.opened = CanOpenQuietly(path);
    if (outcome.opened) {
        TimeDecode(outcome.decoded, outcome.milliseconds, [path] { return norvale::DecodePath(path); });
    }
    report.out = FormatJsonLine(path, outcome);
    report.status = !outcome.opened        ? kExitOpenFailed
                    : outcome.decoded.ok() ? kExitDecoded
                                           : kExitDecodeFailed;
    return report;
}

// --all: every symbol of the file, one line each (or one JSON line with all of them).
FileReport ReportEverySymbol(const Options& options, const char* path, const std::string& prefix,
                             JsonAllOutcome& outcome)
{
    FileReport report;
    outcome.opened = CanOpenQuietly(path);
    if (!outcome.opened) {
        report.err = options.json ? "" : prefix + MessageLine(std::string(kOpenFailure) + path);
        report.out = options.json ? FormatJsonAllLine(path, outcome) : "";
        report.status = kExitOpenFailed;
        return report;
    }
    TimeDecode(outcome.decoded, outcome.milliseconds, [path] { return norvale::DecodeAllPath(path); });
    report.status = outcome.decoded.ok() ? kExitDecoded : kExitDecodeFailed;
    if (options.json) {
        report.out = FormatJsonAllLine(path, outcome);
    } else if (outcome.decoded.ok()) {
        for (const norvale::Decoded& symbol : outcome.decoded.symbols) {
            report.out += prefix + symbol.text() + "\n";
        }
    } else {
        report.err = prefix + MessageLine(kDecodeFailure);
    }
    return report;
}

// --annotate: draws `decoded` over the picture into `out`; a picture that cannot be written is
// reported and fails the file.
void Annotate(FileReport& report, const char* path, const norvale::Decoded& decoded, const char* out)
{
    if (!WriteAnnotatedPicture(path, decoded, out)) {
        report.err += "vistrel: no annotated picture written to " + std::string(out) + "\n";
        report.status = kExitOpenFailed;
    }
}

FileReport DecodeOneFile(const Options& options, const char* path)
{
    const std::string prefix = options.files.size() > 1 ? std::string(path) + ": " : std::string();
    if (options.all) {
        JsonAllOutcome outcome;
        FileReport report = ReportEverySymbol(options, path, prefix, outcome);
        if (options.annotate != nullptr && outcome.opened) {
            // The first symbol of the sweep is the one the first-symbol call finds; a failed
            // sweep is decoded once more for the corners of its last candidate.
            Annotate(report, path,
                     outcome.decoded.ok() ? outcome.decoded.symbols.front() : norvale::DecodePath(path),
                     options.annotate);
        }
        return report;
    }
    if (!options.json) {
        FileReport report = options.buffer ? TestMemoryBuffer(path, prefix) : LoadImageFile(path, prefix);
        if (options.annotate != nullptr && report.status != kExitOpenFailed) {
            Annotate(report, path, norvale::DecodePath(path), options.annotate);
        }
        return report;
    }
    JsonOutcome outcome;
    FileReport report = ReportAsJson(path, outcome);
    if (options.annotate != nullptr && outcome.opened) {
        Annotate(report, path, outcome.decoded, options.annotate);
    }
    return report;
}

} // namespace

int main(int argc, char** argv)
{
#if defined(__GLIBC__)
    // A batch decodes file after file, each with pictures and planes of a few megabytes. Kept in
    // the heap after a file, they serve the next one without the kernel mapping and zeroing
    // fresh pages for every picture.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    Options options;
    switch (ParseArguments(argc, argv, options)) {
    case Command::kHelp:
        std::fputs(kUsage, stdout);
        return kExitDecoded;
    case Command::kUsageError:
        std::fputs(kUsage, stderr);
        return kExitOpenFailed;
    case Command::kDecode:
        break;
    }
    // The worst file decides: an open failure (2) over a decode failure (1) over success (0).
    int status = kExitDecoded;
    RunFileBatch(
        options.files.size(), options.jobs,
        [&](size_t index) { return DecodeOneFile(options, options.files[index]); },
        [&](size_t, FileReport& report) {
            std::fputs(report.out.c_str(), stdout);
            std::fflush(stdout);
            std::fputs(report.err.c_str(), stderr);
            status = std::max(status, report.status);
        });
    return status;
}
