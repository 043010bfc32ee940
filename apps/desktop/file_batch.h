// Several files in one vistrel call: up to N workers decode them side by side, and the reports
// come back in argument order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace norvale::app {

// What one file printed (held back until the files before it are shown) and its exit status.
struct FileReport
{
    int status = 0;
    std::string out; // for standard output
    std::string err; // for standard error
};

using FileJob = std::function<FileReport(size_t index)>;
using ReportSink = std::function<void(size_t index, FileReport& report)>;

// Runs job(0) .. job(count - 1) with at most `workers` running at once and calls sink on the
// calling thread in index order, each as soon as its report and all earlier ones are ready.
// Each worker runs its jobs one after the other: the decoder keeps nothing between calls, so a
// file reads the same whatever its worker decoded before. A job that throws reports failure.
// With one worker (or one file) the jobs run on the calling thread itself.
void RunFileBatch(size_t count, unsigned workers, const FileJob& job, const ReportSink& sink);

} // namespace norvale::app
