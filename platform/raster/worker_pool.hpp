// Threads that live as long as the device and take one job at a time, all
// of them together: the calling thread is worker 0 and the helpers are 1 to
// size() - 1. A job is a function of the worker's number; runOnAll returns
// when every worker has finished it. No thread is made per frame.
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
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::int32_t size() const { return static_cast<std::int32_t>(helpers_.size()) + 1; }
    // Runs job(worker) on every worker at once; returns when all are done.
    void runOnAll(const std::function<void(std::int32_t worker)>& job);

private:
    void serve(std::int32_t worker);

    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable started_;  // a new job, or the end
    std::condition_variable finished_; // the last helper finished the job
    const std::function<void(std::int32_t)>* job_ = nullptr;
    std::uint64_t generation_ = 0; // counts jobs, so that a helper takes each once
    std::int32_t running_ = 0;     // helpers still on the current job
    bool stopping_ = false;
};

} // namespace raster
