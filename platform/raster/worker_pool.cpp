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
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    started_.notify_all();
    for (std::thread& helper : helpers_) {
        helper.join();
    }
}

void WorkerPool::runOnAll(const std::function<void(std::int32_t)>& job)
{
    if (helpers_.empty()) {
        job(0);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
        job_ = &job;
        running_ = static_cast<std::int32_t>(helpers_.size());
        ++generation_;
    }
    started_.notify_all();
    job(0);
    std::unique_lock<std::mutex> hold(mutex_);
    finished_.wait(hold, [this] { return running_ == 0; });
    job_ = nullptr;
}

void WorkerPool::serve(std::int32_t worker)
{
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        started_.wait(hold, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) {
            return;
        }
        seen = generation_;
        const std::function<void(std::int32_t)>* job = job_;
        hold.unlock();
        (*job)(worker);
        hold.lock();
        if (--running_ == 0) {
            finished_.notify_one();
        }
    }
}

} // namespace raster
