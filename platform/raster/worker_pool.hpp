// Threads that live as long as the device and take one job at a time, all
// of them together: the calling thread is worker 0 and the helpers are 1 to
// size() - 1. A job is a function of the worker's number that takes its
// work from shared counters, so that it is done whichever workers join.
// start() sets the helpers on it and returns at once; finish() has the
// calling thread join in and returns when every worker is done with it. No
// thread is made per frame.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace raster {

class WorkerPool {
public:
    explicit WorkerPool(std::int32_t workers);
    ~WorkerPool(); // finishes a started job first
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::int32_t size() const { return static_cast<std::int32_t>(helpers_.size()) + 1; }
    // Starts job(worker) on the helpers (finishing any job still running).
    void start(std::function<void(std::int32_t worker)> job);
    // Runs the started job on the calling thread too and waits for it to be
    // done everywhere; nothing when no job was started.
    void finish();
    bool started() const { return started_; }
    // start, then finish.
    void runOnAll(std::function<void(std::int32_t worker)> job);

private:
    void serve(std::int32_t worker);

    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable jobReady_; // a new job, or the end
    std::condition_variable jobDone_;  // the last helper finished the job
    std::function<void(std::int32_t)> job_;
    bool started_ = false;         // a job is out, not yet finished (the calling thread's view)
    std::uint64_t generation_ = 0; // counts jobs, so that a helper takes each once
    std::int32_t running_ = 0;     // helpers still on the current job
    bool stopping_ = false;
};

} // namespace raster
