// Tests for demokit's frame output: A8R8G8B8 to RGBA conversion and its
// resize, PNG files, the single, sequence and video sinks, the capture queue
// and the progress bar. Videos are read back with ffprobe where there is one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include <unistd.h>

#include "capture_queue.hpp"
#include "tool_errors.hpp"
#include "frame_output.hpp"
#include "png_file.hpp"
#include "progress_bar.hpp"

namespace fs = std::filesystem;

namespace {

std::uint32_t argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return a << 24 | r << 16 | g << 8 | b;
}

// The R, G, B of output pixel k.
std::vector<int> rgbAt(const std::vector<std::uint8_t>& rgba, std::size_t k)
{
    return {rgba[k * 4], rgba[k * 4 + 1], rgba[k * 4 + 2]};
}

// A frame whose neighbouring pixels differ in every channel, alpha included.
std::vector<std::uint32_t> patternFrame(int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t k = 0; k < pixels.size(); ++k) {
        pixels[k] = argb(k * 7 % 256, k * 13 % 256, k * 29 % 256, k * 53 % 256);
    }
    return pixels;
}

// The message of the ToolError that work throws; empty if it throws none.
template <typename Work>
std::string toolErrorOf(Work work)
{
    try {
        work();
    } catch (const ToolError& error) {
        return error.what();
    }
    return "";
}

class ScratchFolder : public testing::Test {
protected:
    void SetUp() override
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("frame_output_" + std::to_string(getpid()) + "_" + test->test_suite_name() + "_" + test->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

} // namespace

TEST(FrameConversion, PlacesRedGreenBlueInOrderAndMakesEveryPixelOpaque)
{
    const std::vector<std::uint32_t> pixels = {argb(0x00, 0x11, 0x22, 0x33), argb(0x80, 0xFF, 0x00, 0x7F)};
    const std::vector<std::uint8_t> expected = {0x11, 0x22, 0x33, 0xFF, 0xFF, 0x00, 0x7F, 0xFF};
    EXPECT_EQ(convertFrame(pixels.data(), 2, 1, 0, 0), expected);
}

TEST(FrameConversion, CopiesEveryPixelExactlyAtTheFramesOwnSize)
{
    const std::vector<std::uint32_t> pixels = patternFrame(37, 23);
    const std::vector<std::uint8_t> rgba = convertFrame(pixels.data(), 37, 23, 0, 0);
    EXPECT_EQ(rgba, convertFrame(pixels.data(), 37, 23, 37, 23));
    ASSERT_EQ(rgba.size(), pixels.size() * 4);
    for (std::size_t k = 0; k < pixels.size(); ++k) {
        ASSERT_EQ(rgba[k * 4] << 16 | rgba[k * 4 + 1] << 8 | rgba[k * 4 + 2], int(pixels[k] & 0xFFFFFF)) << k;
    }
}

// The exact mean of the source area output pixel (ox, oy) covers, channel
// shift (16 red, 8 green, 0 blue): a plain box filter, independent of the
// library's.
double boxFiltered(const std::vector<std::uint32_t>& pixels, int width, int height, int outWidth, int outHeight,
                   int ox, int oy, int shift)
{
    const double x0 = double(ox) * width / outWidth, x1 = double(ox + 1) * width / outWidth;
    const double y0 = double(oy) * height / outHeight, y1 = double(oy + 1) * height / outHeight;
    double sum = 0.0;
    for (int y = int(y0); y < int(std::ceil(y1)); ++y) {
        for (int x = int(x0); x < int(std::ceil(x1)); ++x) {
            const double share = (std::min(x1, x + 1.0) - std::max(x0, double(x))) *
                                 (std::min(y1, y + 1.0) - std::max(y0, double(y)));
            sum += share * ((pixels[std::size_t(y) * width + x] >> shift) & 0xFF);
        }
    }
    return sum / ((x1 - x0) * (y1 - y0));
}

// A frame like the demo's: black, with white blocks of sharp edges and a few
// coloured ones.
std::vector<std::uint32_t> blocksFrame(int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, argb(255, 0, 0, 0));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((x / 37 + y / 23) % 3 == 0) {
                pixels[std::size_t(y) * width + x] = argb(255, 255, 255, 255);
            } else if ((x / 11 * 7 + y / 13) % 17 == 0) {
                pixels[std::size_t(y) * width + x] = argb(255, x * 3 % 256, y * 5 % 256, (x + y) % 256);
            }
        }
    }
    return pixels;
}

TEST(FrameConversion, ASmallerSizeIsTheBoxFilteredFrameWithinOneLevel)
{
    // Sizes the device does not draw (below the program's own): a quarter,
    // and uneven shares of a source pixel. The library weighs the edges of
    // an uneven share in fixed point: at 1.6 and 1.024 source pixels an
    // output pixel that comes to a quarter of a level more (the last two).
    const int sizes[][5] = {{1024, 640, 256, 160, 4}, {1024, 640, 320, 200, 4}, {1024, 640, 800, 500, 4},
                            {1024, 768, 800, 600, 4}, {1024, 640, 640, 400, 5}, {1024, 640, 1000, 625, 5}};
    for (const auto& size : sizes) {
        const std::vector<std::uint32_t> pixels = blocksFrame(size[0], size[1]);
        const std::vector<std::uint8_t> rgba = convertFrame(pixels.data(), size[0], size[1], size[2], size[3]);
        ASSERT_EQ(rgba.size(), static_cast<std::size_t>(size[2]) * size[3] * 4);
        double worst = 0.0;
        for (int y = 0; y < size[3]; ++y) {
            for (int x = 0; x < size[2]; ++x) {
                const std::size_t k = (std::size_t(y) * size[2] + x) * 4;
                for (int c = 0; c < 3; ++c) {
                    const double expected = boxFiltered(pixels, size[0], size[1], size[2], size[3], x, y, 16 - 8 * c);
                    worst = std::max(worst, std::abs(rgba[k + c] - expected));
                }
                ASSERT_EQ(rgba[k + 3], 255);
            }
        }
        EXPECT_LE(worst, size[4] / 4.0 + 1e-9) << size[0] << "x" << size[1] << " to " << size[2] << "x" << size[3];
    }
}

TEST(FrameConversion, KeepsAUniformColourUniformAtUnevenScales)
{
    const int sizes[][4] = {{7, 5, 3, 2}, {640, 480, 333, 187}, {5, 7, 11, 9}, {100, 3, 7, 3}};
    for (const auto& size : sizes) {
        const std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size[0]) * size[1], argb(64, 201, 7, 133));
        const std::vector<std::uint8_t> rgba = convertFrame(pixels.data(), size[0], size[1], size[2], size[3]);
        ASSERT_EQ(rgba.size(), static_cast<std::size_t>(size[2]) * size[3] * 4);
        for (std::size_t k = 0; k < rgba.size(); k += 4) {
            ASSERT_EQ((std::vector<int>{rgba[k], rgba[k + 1], rgba[k + 2], rgba[k + 3]}),
                      (std::vector<int>{201, 7, 133, 255}))
                << size[0] << "x" << size[1] << " to " << size[2] << "x" << size[3] << ", byte " << k;
        }
    }
}

using PngFile = ScratchFolder;

TEST_F(PngFile, ReadsBackTheExactBytesWrittenAlphaIncluded)
{
    std::vector<std::uint8_t> rgba(5 * 3 * 4);
    for (std::size_t k = 0; k < rgba.size(); ++k) {
        rgba[k] = static_cast<std::uint8_t>(k * 37 + 11);
    }
    writePngFile(path("round.png"), rgba.data(), 5, 3);
    std::int32_t width = 0;
    std::int32_t height = 0;
    EXPECT_EQ(readPngFile(path("round.png"), width, height), rgba);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
}

TEST_F(PngFile, FailuresNameTheFile)
{
    const std::uint8_t rgba[4] = {};
    const std::string missing = path("no/such/folder/x.png");
    EXPECT_EQ(toolErrorOf([&] { writePngFile(missing, rgba, 1, 1); }).rfind("cannot write '" + missing + "': ", 0),
              0u);
    std::ofstream(path("text.png")) << "not a picture";
    std::int32_t width = 0;
    std::int32_t height = 0;
    EXPECT_NE(toolErrorOf([&] { readPngFile(path("text.png"), width, height); }).find(path("text.png")),
              std::string::npos);
}

using FrameSinks = ScratchFolder;

TEST_F(FrameSinks, PngSinkWritesOneOpaqueFrameAndRefusesASecond)
{
    const std::vector<std::uint32_t> pixels = patternFrame(6, 4);
    auto sink = makePngSink(path("still.png"));
    sink->write(FrameView::ofWords(pixels.data(), 6, 4, 0, 1500));
    EXPECT_THROW(sink->write(FrameView::ofWords(pixels.data(), 6, 4, 1, 1540)), ToolError);
    sink->finish();
    std::int32_t width = 0;
    std::int32_t height = 0;
    EXPECT_EQ(readPngFile(path("still.png"), width, height), convertFrame(pixels.data(), 6, 4, 0, 0));
    EXPECT_THROW(makePngSink(path("never.png"))->finish(), ToolError);
}

TEST_F(FrameSinks, SequenceSinkNumbersScaledFilesInWriteOrderInANewFolderSilently)
{
    const std::string dir = path("deep/frames");
    auto sink = makePngSequenceSink(dir, 4, 2);
    testing::internal::CaptureStdout();
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::vector<std::uint32_t> frame(8 * 4, argb(0, k * 80, 0, 0));
        sink->write(FrameView::ofWords(frame.data(), 8, 4, k, static_cast<std::int32_t>(k) * 40));
    }
    sink->finish();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names, (std::vector<std::string>{"frame_000000.png", "frame_000001.png", "frame_000002.png"}));
    for (int k = 0; k < 3; ++k) {
        std::int32_t width = 0;
        std::int32_t height = 0;
        const auto rgba = readPngFile(dir + "/" + names[k], width, height);
        EXPECT_EQ(std::vector<int>({width, height}), std::vector<int>({4, 2}));
        EXPECT_EQ(rgbAt(rgba, 0), (std::vector<int>{k * 80, 0, 0})) << names[k];
    }
}

// "width,height,frames" of a video's first stream, from ffprobe; empty
// where there is no ffprobe.
std::string probeVideo(const std::string& file)
{
    const std::string probe = "command -v ffprobe > /dev/null && ffprobe -v error -count_frames -select_streams v:0 "
                              "-show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
                              file + "'";
    std::FILE* pipe = popen(probe.c_str(), "r");
    char line[128] = {};
    const bool read = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return read ? line : "";
}

TEST_F(FrameSinks, VideoSinkRefusesOddSizesForHalvedChromaAndLeavesNoFile)
{
    auto sink = makeVideoSink(path("a.mp4"), VideoSettings{}, 0, 0);
    const std::vector<std::uint32_t> pixels = patternFrame(5, 4);
    EXPECT_THROW(sink->write(FrameView::ofWords(pixels.data(), 5, 4, 0, 0)), ToolError);
    sink.reset();
    EXPECT_FALSE(fs::exists(path("a.mp4")));
    EXPECT_FALSE(fs::exists(path("a.mp4.part")));
    // RGB kept losslessly has no such limit. Lossless in .mkv with no codec
    // named is FFV1; in .mp4, H.264's RGB.
    VideoSettings lossless;
    lossless.lossless = true;
    for (const char* name : {"odd.mkv", "odd.mp4"}) {
        sink = makeVideoSink(path(name), lossless, 0, 0);
        sink->write(FrameView::ofWords(pixels.data(), 5, 4, 0, 0));
        sink->finish();
        EXPECT_TRUE(fs::exists(path(name)));
    }
    const std::string mkv = probeVideo(path("odd.mkv"));
    const std::string mp4 = probeVideo(path("odd.mp4"));
    if (!mkv.empty()) {
        EXPECT_EQ(mkv, "ffv1,5,4,1\n");
        EXPECT_EQ(mp4, "h264,5,4,1\n");
    }
}

TEST_F(FrameSinks, VideoSinkEncodesEveryFrameAtTheRequestedSizeAndNamesTheFileOnlyWhenDone)
{
    const std::string file = path("clip.mp4");
    VideoSettings settings;
    settings.fps = 25;
    auto sink = makeVideoSink(file, settings, 64, 48);
    std::vector<std::uint32_t> pixels = patternFrame(96, 72);
    for (int k = 0; k < 12; ++k) {
        std::rotate(pixels.begin(), pixels.begin() + 5, pixels.end());
        sink->write(FrameView::ofWords(pixels.data(), 96, 72, k, k * 40));
    }
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fs::exists(file + ".part"));
    sink->finish();
    ASSERT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(file + ".part"));
    const std::string probed = probeVideo(file);
    if (!probed.empty()) {
        EXPECT_EQ(probed, "h264,64,48,12\n");
    }
}

TEST_F(FrameSinks, VideoSettingsAreCheckedBeforeAnyFrame)
{
    auto settingsWith = [](const char* codec, bool lossless, const char* format) {
        VideoSettings settings;
        settings.codec = codec;
        settings.lossless = lossless;
        settings.pixelFormat = format;
        return settings;
    };
    EXPECT_THROW(makeVideoSink(path("a.mp4"), settingsWith("mpeg1", false, ""), 0, 0), UsageError);
    EXPECT_THROW(makeVideoSink(path("a.webm"), settingsWith("h264", false, ""), 0, 0), UsageError);
    EXPECT_THROW(makeVideoSink(path("a.mp4"), settingsWith("ffv1", false, ""), 0, 0), UsageError);
    EXPECT_THROW(makeVideoSink(path("a.avi"), settingsWith("h264", false, ""), 0, 0), UsageError);
    EXPECT_THROW(makeVideoSink(path("a.mp4"), settingsWith("h264", false, "rgb565"), 0, 0), UsageError);
    EXPECT_THROW(makeVideoSink(path("a.mkv"), settingsWith("h264", true, "yuv444p"), 0, 0), UsageError);
    VideoSettings tooFast;
    tooFast.fps = 241;
    EXPECT_THROW(makeVideoSink(path("a.mp4"), tooFast, 0, 0), UsageError);
    VideoSettings presetForFfv1 = settingsWith("ffv1", true, "");
    presetForFfv1.preset = "fast";
    EXPECT_THROW(makeVideoSink(path("a.mkv"), presetForFfv1, 0, 0), UsageError);
    // A folder that is not there fails at once, naming the file.
    const std::string missing = path("missing/folder/clip.mp4");
    const std::string error = toolErrorOf([&] { makeVideoSink(missing, VideoSettings{}, 0, 0); });
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(dir_));
}

// A sink that keeps what it is given, optionally failing at one frame.
class KeepingSink final : public FrameSink {
public:
    explicit KeepingSink(bool concurrent, std::int64_t failAt = -1) : concurrent_(concurrent), failAt_(failAt) {}

    void write(const FrameView& frame) override
    {
        if (frame.index == failAt_) {
            throw ToolError("disk full");
        }
        std::lock_guard<std::mutex> lock(mutex_);
        order.push_back(frame.index);
        firstPixels.push_back(frame.pixels[0]);
        sizes.push_back(frame.width * 1000 + frame.height);
    }
    void finish() override {}
    bool takesConcurrentWrites() const override { return concurrent_; }

    std::vector<std::int64_t> order;
    std::vector<std::uint32_t> firstPixels;
    std::vector<int> sizes;

private:
    bool concurrent_;
    std::int64_t failAt_;
    std::mutex mutex_;
};

TEST(CaptureQueueWork, KeepsOrderForOrderedSinksAndEveryFrameForConcurrentOnes)
{
    for (const bool concurrent : {false, true}) {
        KeepingSink sink(concurrent);
        {
            CaptureQueue queue(sink, 3, 2);
            std::vector<std::uint32_t> frame(8 * 6);
            for (std::uint32_t k = 0; k < 40; ++k) {
                std::fill(frame.begin(), frame.end(), k); // the queue's copy must not see later frames
                ASSERT_TRUE(queue.push(frame.data(), 8, 6, CropRect{}, static_cast<std::int32_t>(k)));
            }
            queue.drain();
            EXPECT_EQ(queue.written(), 40);
        }
        std::vector<std::int64_t> expected(40);
        for (std::int64_t k = 0; k < 40; ++k) {
            expected[static_cast<std::size_t>(k)] = k;
        }
        std::vector<std::int64_t> order = sink.order;
        if (concurrent) {
            std::sort(order.begin(), order.end());
        } else {
            EXPECT_EQ(sink.firstPixels, std::vector<std::uint32_t>(expected.begin(), expected.end()));
        }
        EXPECT_EQ(order, expected) << (concurrent ? "concurrent" : "ordered");
    }
}

TEST(CaptureQueueWork, CopiesOnlyTheCropAndRefusesOneOutsideTheFrame)
{
    KeepingSink sink(false);
    CaptureQueue queue(sink, 1, 4);
    std::vector<std::uint32_t> frame(10 * 8);
    for (std::size_t k = 0; k < frame.size(); ++k) {
        frame[k] = static_cast<std::uint32_t>(k);
    }
    ASSERT_TRUE(queue.push(frame.data(), 10, 8, CropRect{2, 3, 6, 4}, 0));
    queue.drain();
    ASSERT_EQ(sink.sizes, std::vector<int>{6004});
    EXPECT_EQ(sink.firstPixels, std::vector<std::uint32_t>{3 * 10 + 2});
    EXPECT_THROW(queue.push(frame.data(), 10, 8, CropRect{6, 0, 6, 4}, 0), ToolError);
    EXPECT_THROW(queue.push(frame.data(), 10, 8, CropRect{0, -1, 6, 4}, 0), ToolError);
}

TEST(CaptureQueueWork, PacksBlueGreenRedBytesForASinkThatTakesThemAtEveryRowLength)
{
    // A sink that asks for packed bytes, and keeps them.
    class PackedSink final : public FrameSink {
    public:
        void write(const FrameView& frame) override
        {
            EXPECT_EQ(frame.pixels, nullptr);
            bytes.assign(frame.bytes, frame.bytes + static_cast<std::size_t>(frame.width) * frame.height * 3);
        }
        void finish() override {}
        FrameLayout takesLayout() const override { return FrameLayout::Bgr24Bytes; }
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint32_t> frame(13 * 3);
    for (std::size_t k = 0; k < frame.size(); ++k) {
        frame[k] = 0xA0000000u | static_cast<std::uint32_t>(k * 0x010203u + 0x0F1E2Du);
    }
    // Row lengths around the four-pixel steps, cropped out of a wider frame,
    // against the bytes picked one at a time.
    for (int width = 1; width <= 13; ++width) {
        PackedSink sink;
        {
            CaptureQueue queue(sink, 1, 2);
            ASSERT_TRUE(queue.push(frame.data(), 13, 3, CropRect{13 - width, 1, width, 2}, 0));
            queue.drain();
        }
        std::vector<std::uint8_t> expected;
        for (int y = 1; y < 3; ++y) {
            for (int x = 13 - width; x < 13; ++x) {
                const std::uint32_t word = frame[static_cast<std::size_t>(y) * 13 + x];
                expected.insert(expected.end(), {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                                                 static_cast<std::uint8_t>(word >> 16)});
            }
        }
        EXPECT_EQ(sink.bytes, expected) << width << " pixels a row";
    }
    // The packer writes nothing past its rows.
    std::vector<std::uint8_t> out(7 * 3 + 4, 0xEE);
    packBgr24(reinterpret_cast<const std::uint8_t*>(frame.data()), 7, 1, 13 * 4, FrameLayout::Argb32Words, out.data());
    EXPECT_EQ(std::vector<std::uint8_t>(out.end() - 4, out.end()), std::vector<std::uint8_t>(4, 0xEE));
}

TEST(CaptureQueueWork, AFailedWriteStopsThePushesAndIsThrownByDrain)
{
    KeepingSink sink(false, 5);
    CaptureQueue queue(sink, 1, 2);
    std::vector<std::uint32_t> frame(4 * 4);
    int accepted = 0;
    for (int k = 0; k < 100 && queue.push(frame.data(), 4, 4, CropRect{}, k); ++k) {
        ++accepted;
    }
    EXPECT_GE(accepted, 6);
    EXPECT_LT(accepted, 100); // the bounded queue let the failure be seen long before the end
    EXPECT_THROW(queue.drain(), ToolError);
    EXPECT_EQ(sink.order, (std::vector<std::int64_t>{0, 1, 2, 3, 4}));
}

namespace {

// What draw writes to a file it is given.
std::string textWrittenBy(const std::function<void(std::FILE*)>& draw)
{
    std::FILE* out = std::tmpfile();
    draw(out);
    std::string text;
    std::rewind(out);
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
        text += static_cast<char>(c);
    }
    std::fclose(out);
    return text;
}

// What a bar counting from 0 to total, one step at a time, writes to a file.
std::string drawnText(bool terminal, std::int64_t total)
{
    return textWrittenBy([&](std::FILE* out) {
        ProgressBar bar("frames", total, out, terminal);
        for (std::int64_t k = 0; k <= total; ++k) {
            bar.update(k);
        }
    });
}

} // namespace

TEST(ProgressBarOutput, WritesNothingWhenNotATerminal)
{
    EXPECT_EQ(drawnText(false, 100), "");
}

TEST(ProgressBarOutput, RedrawsOneLineInPlaceOncePerPercentAndEndsItOnFinish)
{
    const std::string text = drawnText(true, 20000);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.front(), '\r');
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_NE(text.find("frames ["), std::string::npos);
    EXPECT_EQ(text.substr(text.rfind('\r')), "\rframes [" + std::string(30, '#') + "] 100%  20000/20000\n");
    // Once for each percentage, plus a few for the clock: not once an update.
    const auto redraws = std::count(text.begin(), text.end(), '\r');
    EXPECT_GE(redraws, 100);
    EXPECT_LE(redraws, 150);
}

TEST(ProgressBarOutput, ShowsTheRateAndTheTimeLeftWhenAsked)
{
    const std::string text = textWrittenBy([](std::FILE* out) {
        ProgressBar bar("record", 100, out, true);
        bar.showRate("fps");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        bar.update(50);
    });
    // 50 frames in about 20 ms: some thousands a second, the other 50 in no time.
    EXPECT_NE(text.find(" 50/100  "), std::string::npos) << text;
    EXPECT_NE(text.find(" fps  0:00 left"), std::string::npos) << text;
}
