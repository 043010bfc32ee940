#include "apps/desktop/file_batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using norvale::app::FileReport;
using norvale::app::RunFileBatch;

class FileBatchTest : public ::testing::TestWithParam<unsigned>
{
};

TEST_P(FileBatchTest, ReportsComeBackInOrder)
{
    constexpr size_t kFiles = 23;
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    std::vector<size_t> order;
    RunFileBatch(
        kFiles, GetParam(),
        [&](size_t index) {
            const int now = ++running;
            for (int seen = mostRunning; now > seen && !mostRunning.compare_exchange_weak(seen, now);) {
            }
            // Later files finish first when run side by side.
            std::this_thread::yield();
            FileReport report;
            report.status = int(index % 3);
            report.out = std::to_string(index);
            --running;
            return report;
        },
        [&](size_t index, FileReport& report) {
            EXPECT_EQ(report.out, std::to_string(index));
            EXPECT_EQ(report.status, int(index % 3));
            order.push_back(index);
        });
    ASSERT_EQ(order.size(), kFiles);
    for (size_t i = 0; i < kFiles; ++i) {
        EXPECT_EQ(order[i], i);
    }
    EXPECT_LE(mostRunning.load(), int(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Workers, FileBatchTest, ::testing::Values(1u, 2u, 4u, 64u));

TEST(FileBatchTest, NoFilesNoReports)
{
    bool called = false;
    RunFileBatch(
        0, 4, [&](size_t) { return FileReport{}; }, [&](size_t, FileReport&) { called = true; });
    EXPECT_FALSE(called);
}

TEST_P(FileBatchTest, AThrowingJobReportsFailureAndTheOthersGoOn)
{
    std::vector<int> statuses;
    RunFileBatch(
        3, GetParam(),
        [](size_t index) {
            if (index == 1) {
                throw std::bad_alloc();
            }
            return FileReport{};
        },
        [&](size_t, FileReport& report) { statuses.push_back(report.status); });
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], 0);
    EXPECT_NE(statuses[1], 0);
    EXPECT_EQ(statuses[2], 0);
}

} // namespace
