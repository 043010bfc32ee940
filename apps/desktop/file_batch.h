// Several files in one vistrel call: each file is decoded on a thread of its own, up to N at a
// time, and the reports come back in argument order.
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
// Every job runs on a thread of its own. The decoder keeps nothing between calls, so this is not
// needed for the results; it keeps one job's stack and thread state away from the next.
void RunFileBatch(size_t count, unsigned workers, const FileJob& job, const ReportSink& sink);

} // namespace norvale::app
