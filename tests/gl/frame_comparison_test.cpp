// The OpenGL device against the software device: a dozen frames across the
// timeline recorded headless with both must agree within 2/255 a channel on
// at least 99.5% of the pixels, and every pixel that differs must lie on a
// triangle edge. The edge mask is the set of pixels whose software picture
// differs between one and four samples (exactly the pixels a triangle edge
// crosses, where coverage is partial), widened by one pixel, since the two
// rasterizers may place an edge's pixels a sample apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "host/headless/headless_host.hpp"

namespace {

const std::vector<std::int32_t> Times = {0, 7000, 14000, 20000, 27000, 34000, 41000, 48000, 55000, 62000, 70000, 81000};

using Frames = std::map<std::int32_t, std::vector<std::uint32_t>>;

Frames record(headless::Device device, bool multisample)
{
    Frames frames;
    headless::HeadlessOptions options;
    options.device = device;
    options.multisample = multisample;
    options.threads = 2;
    options.keep = Times;
    options.onFrame = [&frames](const raster::PresentedFrame& frame, std::int32_t at) {
        frames[at].assign(frame.pixels, frame.pixels + static_cast<std::size_t>(frame.width) * frame.height);
    };
    const headless::HeadlessResult result = headless::runHeadless(options);
    EXPECT_EQ(result.deviceError, "");
    EXPECT_EQ(result.exitCode, 0);
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

constexpr int Width = 1024, Height = 768;

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

void compare(const Frames& gl, const Frames& software, const Frames& single, const Frames& multi, const char* label)
{
    for (std::int32_t at : Times) {
        ASSERT_EQ(gl.count(at), 1u) << at;
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
        EXPECT_EQ(offEdge, 0u) << at;
    }
}

} // namespace

TEST(GlFrames, DISABLED_matchTheSoftwareDeviceExceptOnEdges)
{
    const Frames single = record(headless::Device::Software, false);
    const Frames multi = record(headless::Device::Software, true);
    compare(record(headless::Device::Gl, false), single, single, multi, "1 sample ");
    compare(record(headless::Device::Gl, true), multi, single, multi, "4 samples");
}
