// The capture queue: a bounded hand-over between the thread that renders and
// the threads that write, with the buffers recycled.
//
// Entry point: CaptureQueue.
#include "capture_queue.hpp"

#include <algorithm>
#include <cstring>

#include "tool_errors.hpp"

CaptureQueue::CaptureQueue(FrameSink& sink, int workers, std::size_t depth)
    : sink_(sink), depth_(std::max<std::size_t>(depth, 1))
{
    const int count = sink.takesConcurrentWrites() ? std::max(workers, 1) : 1;
    for (int k = 0; k < count; ++k) {
        workers_.emplace_back([this] { work(); });
    }
}

CaptureQueue::~CaptureQueue()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

bool CaptureQueue::push(const std::uint32_t* pixels, int width, int height, const CropRect& crop,
                        std::int32_t elapsedMs)
{
    const bool whole = crop.width <= 0 || crop.height <= 0;
    const int x = whole ? 0 : crop.x;
    const int y = whole ? 0 : crop.y;
    const int keptWidth = whole ? width : crop.width;
    const int keptHeight = whole ? height : crop.height;
    if (pixels == nullptr || x < 0 || y < 0 || keptWidth <= 0 || keptHeight <= 0 || x + keptWidth > width ||
        y + keptHeight > height) {
        throw ToolError("the crop " + std::to_string(keptWidth) + " x " + std::to_string(keptHeight) + " at " +
                        std::to_string(x) + "," + std::to_string(y) + " does not lie inside the " +
                        std::to_string(width) + " x " + std::to_string(height) + " frame");
    }

    std::unique_ptr<Buffer> buffer;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return failure_ != nullptr || waiting_.size() < depth_; });
        if (failure_ != nullptr) {
            return false;
        }
        if (!spare_.empty()) {
            buffer = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (buffer == nullptr) {
        buffer = std::make_unique<Buffer>();
    }
    // The one copy a frame costs: out of the device's frame, which is reused
    // as soon as this returns.
    const auto rowWords = static_cast<std::size_t>(keptWidth);
    buffer->pixels.resize(rowWords * static_cast<std::size_t>(keptHeight));
    for (int row = 0; row < keptHeight; ++row) {
        std::memcpy(buffer->pixels.data() + static_cast<std::size_t>(row) * rowWords,
                    pixels + static_cast<std::size_t>(y + row) * static_cast<std::size_t>(width) + x, rowWords * 4);
    }
    buffer->view = {buffer->pixels.data(), keptWidth, keptHeight, 0, elapsedMs};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        buffer->view.index = next_++;
        waiting_.push_back(std::move(buffer));
    }
    changed_.notify_all();
    return true;
}

void CaptureQueue::drain()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failure_ != nullptr || (waiting_.empty() && writing_ == 0); });
    if (failure_ != nullptr) {
        std::rethrow_exception(failure_);
    }
}

std::int64_t CaptureQueue::written() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

void CaptureQueue::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || (!waiting_.empty() && failure_ == nullptr); });
        if (stopping_) {
            return;
        }
        std::unique_ptr<Buffer> buffer = std::move(waiting_.front());
        waiting_.pop_front();
        ++writing_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            sink_.write(buffer->view);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        --writing_;
        if (failure != nullptr) {
            if (failure_ == nullptr) {
                failure_ = failure;
            }
        } else {
            ++written_;
        }
        spare_.push_back(std::move(buffer));
        changed_.notify_all();
    }
}
