// Frames on their way from the device to a sink, so that rendering and
// writing run at the same time: each presented frame is copied once (only
// the part kept, in the layout the sink takes) into a buffer reused from
// frame to frame, and written by
// worker threads: one for a sink that takes frames in order (a video), as
// many as asked for one that takes them in any order (PNG files).
//
// The queue is bounded: push waits while `depth` frames are waiting, so a
// slow sink slows the renderer instead of filling memory.
//
// Entry point: CaptureQueue.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture_size.hpp"
#include "frame_output.hpp"

class CaptureQueue {
public:
    CaptureQueue(FrameSink& sink, int workers, std::size_t depth);
    // Stops the workers; frames still waiting are dropped (call drain first
    // to keep them).
    ~CaptureQueue();

    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    // The rectangle of a width x height frame that crop keeps (the whole
    // frame for an empty crop); a ToolError when it does not lie inside.
    static CropRect keptRect(int width, int height, const CropRect& crop);
    // Copies crop of the width x height frame and queues it as the next
    // frame. False, with nothing queued, once a write has failed. May be
    // called from any thread, one frame at a time.
    bool push(const std::uint32_t* pixels, int width, int height, const CropRect& crop, std::int32_t elapsedMs);
    // Waits until every queued frame is written; throws the first failure
    // of a write.
    void drain();
    // Frames written so far.
    std::int64_t written() const;

private:
    struct Buffer {
        std::vector<std::uint32_t> pixels; // words, whatever the layout (bytes are read through them)
        FrameView view;
    };

    void work();

    FrameSink& sink_;
    FrameLayout layout_; // the sink's
    std::size_t depth_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Buffer>> waiting_;
    std::vector<std::unique_ptr<Buffer>> spare_;
    std::size_t writing_ = 0;
    std::int64_t next_ = 0;
    std::int64_t written_ = 0;
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
