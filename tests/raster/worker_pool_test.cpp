// The software device's worker pool: every worker takes part in a job, work
// taken from a shared counter is done exactly once whoever joins, a started
// job is finished by finish(), by the next start() and by the destructor.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "raster/worker_pool.hpp"

using raster::WorkerPool;

TEST(WorkerPool, everyItemIsDoneOnceAndEveryWorkerTakesPart)
{
    for (const std::int32_t workers : {1, 2, 5}) {
        WorkerPool pool(workers);
        ASSERT_EQ(pool.size(), workers);
        for (int round = 0; round < 50; ++round) {
            std::vector<std::atomic<int>> done(1000);
            std::vector<std::atomic<int>> joined(static_cast<std::size_t>(workers));
            std::atomic<int> next{0};
            pool.runOnAll([&](std::int32_t worker) {
                joined[static_cast<std::size_t>(worker)]++;
                for (int item = next++; item < 1000; item = next++) {
                    done[static_cast<std::size_t>(item)]++;
                }
            });
            for (const std::atomic<int>& d : done) {
                ASSERT_EQ(d.load(), 1);
            }
            for (const std::atomic<int>& j : joined) {
                ASSERT_EQ(j.load(), 1); // each worker ran the job once
            }
        }
    }
}

TEST(WorkerPool, aStartedJobIsFinishedByFinishTheNextStartOrTheDestructor)
{
    auto counter = std::make_shared<std::atomic<int>>(0);
    {
        WorkerPool pool(3);
        pool.start([counter](std::int32_t) { ++*counter; });
        EXPECT_TRUE(pool.started());
        pool.finish();
        EXPECT_FALSE(pool.started());
        EXPECT_EQ(counter->load(), 3);
        pool.finish(); // nothing started: nothing runs
        EXPECT_EQ(counter->load(), 3);
        pool.start([counter](std::int32_t) { ++*counter; });
        pool.start([counter](std::int32_t) { *counter += 10; }); // finishes the first
        EXPECT_GE(counter->load(), 6);
        pool.start([counter](std::int32_t) { *counter += 100; });
    } // the destructor finishes the last
    EXPECT_EQ(counter->load(), 6 + 30 + 300);
}
