#include "raster/worker_pool.hpp"

#include <algorithm>

namespace raster {

WorkerPool::WorkerPool(std::int32_t workers)
{
    for (std::int32_t worker = 1; worker < std::max(workers, 1); ++worker) {
        helpers_.emplace_back([this, worker] { serve(worker); });
    }
}

WorkerPool::~WorkerPool()
{
    finish();
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    jobReady_.notify_all();
    for (std::thread& helper : helpers_) {
        helper.join();
    }
}

void WorkerPool::start(std::function<void(std::int32_t)> job)
{
    finish();
    {
        std::lock_guard<std::mutex> hold(mutex_);
        job_ = std::move(job);
        running_ = static_cast<std::int32_t>(helpers_.size());
        ++generation_;
    }
    started_ = true;
    jobReady_.notify_all();
}

void WorkerPool::finish()
{
    if (!started_) {
        return;
    }
    job_(0); // helpers only read job_ while the job runs: it is not changed before they are done
    std::unique_lock<std::mutex> hold(mutex_);
    jobDone_.wait(hold, [this] { return running_ == 0; });
    started_ = false;
}

void WorkerPool::runOnAll(std::function<void(std::int32_t)> job)
{
    start(std::move(job));
    finish();
}

void WorkerPool::serve(std::int32_t worker)
{
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        jobReady_.wait(hold, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) {
            return;
        }
        seen = generation_;
        hold.unlock();
        job_(worker);
        hold.lock();
        if (--running_ == 0) {
            jobDone_.notify_one();
        }
    }
}

} // namespace raster
