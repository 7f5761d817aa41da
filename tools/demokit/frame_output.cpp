// Recorded frames turned into files: the A8R8G8B8 to RGBA conversion with its
// area-averaging resize, and the three sinks (one PNG, a PNG sequence, an .mp4
// encoded by a child ffmpeg process fed through a pipe, started without a shell).
//
// Entry points: convertFrame, makePngSink, makePngSequenceSink, makeVideoSink,
// videoEncoderAvailable.
#include "frame_output.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "command_line.hpp"
#include "png_file.hpp"

extern char** environ;

namespace {

// The largest side handled, which keeps every weighted sum inside 64 bits.
constexpr int MaxSide = 1 << 16;

void checkSize(int width, int height, const char* what)
{
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) {
        throw ToolError(std::string(what) + " size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is out of range (1 to " + std::to_string(MaxSide) + " a side)");
    }
}

void checkRequestedSize(int outWidth, int outHeight)
{
    if (outWidth < 0 || outHeight < 0 || outWidth > MaxSide || outHeight > MaxSide) {
        throw ToolError("output size " + std::to_string(outWidth) + " x " + std::to_string(outHeight) +
                        " is out of range (0 keeps the frame's size)");
    }
}

// One source pixel's share of an output pixel along one axis.
struct Tap {
    int index;
    std::uint32_t weight;
};

// For each output pixel along an axis, the source pixels it covers and by how
// much. Measured in units of 1/out of a source pixel, output pixel o spans
// [o*src, (o+1)*src) and source pixel i spans [i*out, (i+1)*out), so every
// overlap is a whole number and each output pixel's weights add up to src.
struct AxisTaps {
    std::vector<std::size_t> begin; // out + 1 offsets into taps
    std::vector<Tap> taps;
};

AxisTaps axisTaps(int src, int out)
{
    AxisTaps axis;
    axis.begin.reserve(static_cast<std::size_t>(out) + 1);
    for (std::int64_t o = 0; o < out; ++o) {
        axis.begin.push_back(axis.taps.size());
        const std::int64_t lo = o * src;
        const std::int64_t hi = lo + src;
        for (std::int64_t i = lo / out; i <= (hi - 1) / out; ++i) {
            const std::int64_t weight = std::min(hi, (i + 1) * out) - std::max(lo, i * out);
            axis.taps.push_back({static_cast<int>(i), static_cast<std::uint32_t>(weight)});
        }
    }
    axis.begin.push_back(axis.taps.size());
    return axis;
}

std::vector<std::uint8_t> copyOpaque(const std::uint32_t* pixels, std::size_t count)
{
    std::vector<std::uint8_t> rgba(count * 4);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint32_t pixel = pixels[k];
        rgba[k * 4 + 0] = static_cast<std::uint8_t>(pixel >> 16);
        rgba[k * 4 + 1] = static_cast<std::uint8_t>(pixel >> 8);
        rgba[k * 4 + 2] = static_cast<std::uint8_t>(pixel);
        rgba[k * 4 + 3] = 255;
    }
    return rgba;
}

std::vector<std::uint8_t> resampleOpaque(const std::uint32_t* pixels, int width, int height, int outWidth,
                                         int outHeight)
{
    const AxisTaps columns = axisTaps(width, outWidth);
    const AxisTaps rows = axisTaps(height, outHeight);
    const std::uint64_t total = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight) * 4);
    std::size_t out = 0;
    for (int oy = 0; oy < outHeight; ++oy) {
        for (int ox = 0; ox < outWidth; ++ox) {
            std::uint64_t red = 0;
            std::uint64_t green = 0;
            std::uint64_t blue = 0;
            for (std::size_t ty = rows.begin[oy]; ty < rows.begin[oy + 1]; ++ty) {
                const std::uint32_t* row = pixels + static_cast<std::size_t>(rows.taps[ty].index) * width;
                std::uint64_t rowRed = 0;
                std::uint64_t rowGreen = 0;
                std::uint64_t rowBlue = 0;
                for (std::size_t tx = columns.begin[ox]; tx < columns.begin[ox + 1]; ++tx) {
                    const std::uint32_t pixel = row[columns.taps[tx].index];
                    const std::uint64_t weight = columns.taps[tx].weight;
                    rowRed += ((pixel >> 16) & 0xFF) * weight;
                    rowGreen += ((pixel >> 8) & 0xFF) * weight;
                    rowBlue += (pixel & 0xFF) * weight;
                }
                const std::uint64_t weight = rows.taps[ty].weight;
                red += rowRed * weight;
                green += rowGreen * weight;
                blue += rowBlue * weight;
            }
            // Weights total width * height; round to the nearest level.
            rgba[out++] = static_cast<std::uint8_t>((red + total / 2) / total);
            rgba[out++] = static_cast<std::uint8_t>((green + total / 2) / total);
            rgba[out++] = static_cast<std::uint8_t>((blue + total / 2) / total);
            rgba[out++] = 255;
        }
    }
    return rgba;
}

class PngSink final : public FrameSink {
public:
    PngSink(std::string path, int outWidth, int outHeight)
        : path_(std::move(path)), outWidth_(outWidth), outHeight_(outHeight)
    {
    }

    void write(const std::uint32_t* pixels, int width, int height, std::int32_t) override
    {
        if (written_) {
            throw ToolError("'" + path_ + "' takes one frame; a second was given");
        }
        const int w = outWidth_ > 0 ? outWidth_ : width;
        const int h = outHeight_ > 0 ? outHeight_ : height;
        const std::vector<std::uint8_t> rgba = convertFrame(pixels, width, height, w, h);
        writePngFile(path_, rgba.data(), w, h);
        written_ = true;
    }

    void finish() override
    {
        if (!written_) {
            throw ToolError("no frame was written to '" + path_ + "'");
        }
    }

private:
    std::string path_;
    int outWidth_;
    int outHeight_;
    bool written_ = false;
};

class PngSequenceSink final : public FrameSink {
public:
    PngSequenceSink(std::string dir, int outWidth, int outHeight)
        : dir_(std::move(dir)), outWidth_(outWidth), outHeight_(outHeight)
    {
    }

    void write(const std::uint32_t* pixels, int width, int height, std::int32_t) override
    {
        const int outWidth = outWidth_ != 0 ? outWidth_ : width;
        const int outHeight = outHeight_ != 0 ? outHeight_ : height;
        const std::vector<std::uint8_t> rgba = convertFrame(pixels, width, height, outWidth, outHeight);
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(next_));
        writePngFile((std::filesystem::path(dir_) / name).string(), rgba.data(), outWidth, outHeight);
        ++next_;
    }

    void finish() override {}

private:
    std::string dir_;
    int outWidth_;
    int outHeight_;
    std::int64_t next_ = 0;
};

// Holds SIGPIPE back in this thread while it lives, so that writing to an
// encoder that has already exited fails with EPIPE, to be reported, instead of
// ending the process. A SIGPIPE raised meanwhile is taken off the queue.
class SigpipeHold {
public:
    SigpipeHold()
    {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
    }

    ~SigpipeHold()
    {
        if (!alreadyPending_) {
            const timespec noWait{};
            while (sigtimedwait(&pipeOnly_, nullptr, &noWait) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

    SigpipeHold(const SigpipeHold&) = delete;
    SigpipeHold& operator=(const SigpipeHold&) = delete;

private:
    sigset_t pipeOnly_;
    sigset_t previous_;
    bool alreadyPending_ = false;
};

std::string describeExit(int status)
{
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "stopped by signal " + std::to_string(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

void checkEvenSize(int width, int height)
{
    if (width % 2 != 0 || height % 2 != 0) {
        throw ToolError("video size " + std::to_string(width) + " x " + std::to_string(height) +
                        " must be even on both sides");
    }
}

class VideoSink final : public FrameSink {
public:
    VideoSink(std::string path, int fps, int outWidth, int outHeight)
        : path_(std::move(path)), fps_(fps), outWidth_(outWidth), outHeight_(outHeight)
    {
    }

    ~VideoSink() override
    {
        if (child_ > 0) {
            closeAndWait();
        }
    }

    VideoSink(const VideoSink&) = delete;
    VideoSink& operator=(const VideoSink&) = delete;

    void write(const std::uint32_t* pixels, int width, int height, std::int32_t) override
    {
        if (finished_) {
            throw ToolError("'" + path_ + "' is already finished");
        }
        if (child_ <= 0) {
            // The video's size is settled by the first frame where not given.
            outWidth_ = outWidth_ != 0 ? outWidth_ : width;
            outHeight_ = outHeight_ != 0 ? outHeight_ : height;
            checkEvenSize(outWidth_, outHeight_);
        }
        const std::vector<std::uint8_t> rgba = convertFrame(pixels, width, height, outWidth_, outHeight_);
        if (child_ <= 0) {
            start();
        }
        send(rgba.data(), rgba.size());
        ++frames_;
    }

    void finish() override
    {
        if (finished_) {
            return;
        }
        finished_ = true;
        if (frames_ == 0) {
            throw ToolError("no frames to encode into '" + path_ + "'");
        }
        const int status = closeAndWait();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            throw ToolError("ffmpeg could not encode '" + path_ + "' (" + describeExit(status) + ")");
        }
    }

private:
    void start()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            throw ToolError("cannot make a pipe to ffmpeg: " + std::string(std::strerror(errno)));
        }
        // The path goes through the file protocol so that a name with a colon
        // or a leading dash is never read as a protocol or an option.
        const std::vector<std::string> arguments = {
            "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgba", "-s",
            std::to_string(outWidth_) + "x" + std::to_string(outHeight_), "-r", std::to_string(fps_), "-i", "-",
            "-c:v", "libx264", "-pix_fmt", "yuv420p", "-movflags", "+faststart", "-f", "mp4",
            "file:" + path_};
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);

        // The child's standard input is the pipe's read end; both ends carry
        // close-on-exec, so neither stays open in ffmpeg beyond that.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        pid_t child = -1;
        const int error = posix_spawnp(&child, "ffmpeg", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        if (error != 0) {
            close(fds[1]);
            throw ToolError("cannot run ffmpeg to encode '" + path_ + "': " + std::strerror(error));
        }
        child_ = child;
        pipe_ = fds[1];
    }

    void send(const std::uint8_t* bytes, std::size_t size)
    {
        int failure = 0;
        {
            SigpipeHold hold;
            while (size > 0) {
                const ssize_t sent = ::write(pipe_, bytes, size);
                if (sent < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    failure = errno;
                    break;
                }
                bytes += sent;
                size -= static_cast<std::size_t>(sent);
            }
        }
        if (failure != 0) {
            finished_ = true;
            const int status = closeAndWait();
            throw ToolError("ffmpeg stopped while encoding '" + path_ + "' (" +
                            (failure == EPIPE ? describeExit(status) : std::string(std::strerror(failure))) + ")");
        }
    }

    // Ends the input, which tells ffmpeg to complete the file, and reaps it.
    int closeAndWait()
    {
        if (pipe_ >= 0) {
            close(pipe_);
            pipe_ = -1;
        }
        int status = 0;
        while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
        child_ = -1;
        return status;
    }

    std::string path_;
    int fps_;
    int outWidth_;
    int outHeight_;
    pid_t child_ = -1;
    int pipe_ = -1;
    std::int64_t frames_ = 0;
    bool finished_ = false;
};

} // namespace

std::vector<std::uint8_t> convertFrame(const std::uint32_t* pixels, int width, int height, int outWidth,
                                       int outHeight)
{
    checkSize(width, height, "frame");
    checkRequestedSize(outWidth, outHeight);
    if (pixels == nullptr) {
        throw ToolError("no frame pixels to convert");
    }
    outWidth = outWidth != 0 ? outWidth : width;
    outHeight = outHeight != 0 ? outHeight : height;
    if (outWidth == width && outHeight == height) {
        return copyOpaque(pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    return resampleOpaque(pixels, width, height, outWidth, outHeight);
}

std::unique_ptr<FrameSink> makePngSink(const std::string& path, int outWidth, int outHeight)
{
    checkRequestedSize(outWidth, outHeight);
    return std::make_unique<PngSink>(path, outWidth, outHeight);
}

std::unique_ptr<FrameSink> makePngSequenceSink(const std::string& dir, int outWidth, int outHeight)
{
    checkRequestedSize(outWidth, outHeight);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error || !std::filesystem::is_directory(dir, error)) {
        throw ToolError("cannot make the folder '" + dir + "'");
    }
    return std::make_unique<PngSequenceSink>(dir, outWidth, outHeight);
}

std::unique_ptr<FrameSink> makeVideoSink(const std::string& path, int fps, int outWidth, int outHeight)
{
    checkRequestedSize(outWidth, outHeight);
    checkEvenSize(outWidth, outHeight);
    if (fps <= 0 || fps > 1000) {
        throw ToolError("video frame rate " + std::to_string(fps) + " is out of range (1 to 1000)");
    }
    return std::make_unique<VideoSink>(path, fps, outWidth, outHeight);
}

bool videoEncoderAvailable()
{
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return false;
    }
    const std::string directories = path;
    std::size_t start = 0;
    while (start <= directories.size()) {
        std::size_t end = directories.find(':', start);
        if (end == std::string::npos) {
            end = directories.size();
        }
        // An empty entry stands for the current folder.
        std::string directory = directories.substr(start, end - start);
        if (directory.empty()) {
            directory = ".";
        }
        const std::string candidate = directory + "/ffmpeg";
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}
