// The capture queue: a bounded hand-over between the thread that renders and
// the threads that write, with the buffers recycled.
//
// Entry point: CaptureQueue.
#include "capture_queue.hpp"

#include <algorithm>
#include <cstring>

#include "tool_errors.hpp"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

CaptureQueue::CaptureQueue(FrameSink& sink, int workers, std::size_t depth)
    : sink_(sink), layout_(sink.takesLayout()), depth_(std::max<std::size_t>(depth, 1))
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

CropRect CaptureQueue::keptRect(int width, int height, const CropRect& crop)
{
    const bool whole = crop.width <= 0 || crop.height <= 0;
    const CropRect kept = whole ? CropRect{0, 0, width, height} : crop;
    if (kept.x < 0 || kept.y < 0 || kept.width <= 0 || kept.height <= 0 || kept.x + kept.width > width ||
        kept.y + kept.height > height) {
        throw ToolError("the crop " + std::to_string(kept.width) + " x " + std::to_string(kept.height) + " at " +
                        std::to_string(kept.x) + "," + std::to_string(kept.y) + " does not lie inside the " +
                        std::to_string(width) + " x " + std::to_string(height) + " frame");
    }
    return kept;
}

bool CaptureQueue::push(const std::uint32_t* pixels, int width, int height, const CropRect& crop,
                        std::int32_t elapsedMs)
{
    if (pixels == nullptr) {
        throw ToolError("no frame pixels to capture");
    }
    const CropRect kept = keptRect(width, height, crop);
    const int x = kept.x, y = kept.y, keptWidth = kept.width, keptHeight = kept.height;
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
    const std::uint32_t* first = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x;
    if (layout_ == FrameLayout::Bgr24Bytes) {
        buffer->pixels.resize((rowWords * 3 * static_cast<std::size_t>(keptHeight) + 3) / 4);
        auto* packed = reinterpret_cast<std::uint8_t*>(buffer->pixels.data());
        packBgr24(reinterpret_cast<const std::uint8_t*>(first), keptWidth, keptHeight,
                  static_cast<std::ptrdiff_t>(width) * 4, FrameLayout::Argb32Words, packed);
        buffer->view = {nullptr, packed, layout_, keptWidth, keptHeight, 0, elapsedMs};
    } else {
        buffer->pixels.resize(rowWords * static_cast<std::size_t>(keptHeight));
        for (int row = 0; row < keptHeight; ++row) {
            std::memcpy(buffer->pixels.data() + static_cast<std::size_t>(row) * rowWords,
                        first + static_cast<std::size_t>(row) * static_cast<std::size_t>(width), rowWords * 4);
        }
        buffer->view = FrameView::ofWords(buffer->pixels.data(), keptWidth, keptHeight, 0, elapsedMs);
    }
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

namespace {

// Writers yield to the renderer, which every frame waits on: at a lower
// priority they take the cores' idle time and never preempt a rendering
// thread that the others wait for (the queue's bound keeps them from
// falling far behind). Threads they start, an encoder's, inherit it.
void lowerThisThreadsPriority()
{
#if defined(__linux__)
    constexpr int WriterNice = 10;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), WriterNice); // this thread alone on Linux
#endif
}

} // namespace

void CaptureQueue::work()
{
    lowerThisThreadsPriority();
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
