// The OpenGL device against the software device: a dozen frames across the
// timeline recorded headless with both must agree within 2/255 a channel on
// at least 99.5% of the pixels, and the pixels that differ must lie on
// triangle edges (every one with one sample; see compare for four). The edge mask is the set of pixels whose software picture
// differs between one and four samples (exactly the pixels a triangle edge
// crosses, where coverage is partial), widened by one pixel, since the two
// rasterizers may place an edge's pixels a sample apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "host/headless/headless_host.hpp"

namespace {

const std::vector<std::int32_t> Times = {0, 7000, 14000, 20000, 27000, 34000, 41000, 48000, 55000, 62000, 70000, 81000};

using Frames = std::map<std::int32_t, std::vector<std::uint32_t>>;

constexpr int Width = 1024, Height = 768;
constexpr std::size_t FramePixels = static_cast<std::size_t>(Width) * Height;

// Runs body in a forked child; its exit code (-1 if it did not exit).
template <typename Body>
int runForked(const Body& body)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Each run in a child process of its own: the program's tables are made
// once a process, as on Windows. The child writes the kept frames, in
// order, to a file that the parent reads back.
Frames record(const std::string& device, bool multisample)
{
    const std::string path = std::string(GL_TEST_DIR) + "/frames-" + device +
                             (multisample ? "-4" : "-1") + ".raw";
    const int code = runForked([&] {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) {
            return 3;
        }
        headless::HeadlessOptions options;
        options.device = device;
        options.multisample = multisample;
        options.threads = 2;
        options.keep = Times;
        options.onFrame = [out](const d3d9::Frame& frame, std::int32_t) {
            std::fwrite(frame.pixels(), sizeof(std::uint32_t), FramePixels, out);
        };
        const headless::HeadlessResult result = headless::runHeadless(options);
        std::fclose(out);
        return result.deviceError.empty() ? result.exitCode : 4;
    });
    EXPECT_EQ(code, 0);
    Frames frames;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return frames;
    }
    for (std::int32_t at : Times) {
        std::vector<std::uint32_t> pixels(FramePixels);
        if (std::fread(pixels.data(), sizeof(std::uint32_t), FramePixels, in) != FramePixels) {
            break;
        }
        frames[at] = std::move(pixels);
    }
    std::fclose(in);
    std::remove(path.c_str());
    return frames;
}

int channelDifference(std::uint32_t a, std::uint32_t b)
{
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        most = std::max(most, std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)));
    }
    return most;
}

std::vector<bool> edgeMask(const std::vector<std::uint32_t>& single, const std::vector<std::uint32_t>& multi)
{
    std::vector<bool> mask(single.size(), false);
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            if (single[y * Width + x] == multi[y * Width + x]) {
                continue;
            }
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && nx < Width && ny >= 0 && ny < Height) {
                        mask[ny * Width + nx] = true;
                    }
                }
            }
        }
    }
    return mask;
}

// offEdgeAllowed: differing pixels the edge mask may miss. With four
// samples an edge can pass a sample within the two rasterizers' different
// sub-pixel precision (28.4 here, finer in Mesa) between two triangles that
// the software frame shows alike at one and at four samples, so the mask
// cannot see that edge; such a pixel differs by one sample's share (64).
void compare(const Frames& gl, const Frames& software, const Frames& single, const Frames& multi, const char* label,
             std::size_t offEdgeAllowed)
{
    for (std::int32_t at : Times) {
        ASSERT_EQ(gl.count(at), 1u) << at;
        ASSERT_EQ(software.count(at), 1u) << at;
        ASSERT_EQ(single.count(at), 1u) << at;
        ASSERT_EQ(multi.count(at), 1u) << at;
        const std::vector<bool> edges = edgeMask(single.at(at), multi.at(at));
        const std::vector<std::uint32_t>& a = gl.at(at);
        const std::vector<std::uint32_t>& b = software.at(at);
        std::size_t equal = 0, offEdge = 0;
        int most = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const int d = channelDifference(a[i], b[i]);
            most = std::max(most, d);
            equal += d <= 2 ? 1 : 0;
            offEdge += d > 2 && !edges[i] ? 1 : 0;
        }
        const double percent = 100.0 * static_cast<double>(equal) / static_cast<double>(a.size());
        std::printf("%s %6d ms: %.3f%% equal within 2/255, max difference %d, %zu off-edge\n", label, at, percent, most,
                    offEdge);
        EXPECT_GE(percent, 99.5) << at;
        EXPECT_LE(offEdge, offEdgeAllowed) << at;
    }
}

} // namespace

TEST(GlFrames, matchTheSoftwareDeviceExceptOnEdges)
{
    const Frames single = record("software", false);
    const Frames multi = record("software", true);
    compare(record("gl", false), single, single, multi, "1 sample ", 0);
    compare(record("gl", true), multi, single, multi, "4 samples", FramePixels / 10000);
}
