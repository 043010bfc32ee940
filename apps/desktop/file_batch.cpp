// File batch: a pool of workers pulls file indexes; the caller drains reports in index order.
#include "apps/desktop/file_batch.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "apps/console_dialog.h"

namespace norvale::app {

namespace {

// A report for a job that could not finish (memory or threads exhausted).
FileReport FailedReport()
{
    FileReport report;
    report.status = kExitDecodeFailed;
    report.err = "vistrel: out of resources\n";
    return report;
}

// Runs one job on the calling worker; a job that throws gets the failure report.
FileReport RunJob(const FileJob& job, size_t index)
{
    try {
        return job(index);
    } catch (...) {
        return FailedReport();
    }
}

} // namespace

void RunFileBatch(size_t count, unsigned workers, const FileJob& job, const ReportSink& sink)
{
    // One worker is the calling thread itself: no pool to hand reports across, and no wake-up of
    // the caller for every file.
    if (workers <= 1 || count <= 1) {
        for (size_t index = 0; index < count; ++index) {
            FileReport report = RunJob(job, index);
            sink(index, report);
        }
        return;
    }
    std::vector<std::optional<FileReport>> reports(count);
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<size_t> next{0};

    const auto work = [&] {
        for (size_t index = next++; index < count; index = next++) {
            FileReport report = RunJob(job, index);
            {
                std::lock_guard<std::mutex> lock(mutex);
                reports[index] = std::move(report);
            }
            ready.notify_all();
        }
    };

    std::vector<std::thread> pool;
    for (unsigned w = 0; w < workers && w < count; ++w) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    if (pool.empty()) {
        work();
    }
    for (size_t index = 0; index < count; ++index) {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return reports[index].has_value(); });
        FileReport report = std::move(*reports[index]);
        reports[index].reset();
        lock.unlock();
        sink(index, report);
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
}

} // namespace norvale::app
