// The whole program, recorded headless with the software device, read back
// from its picture: the text wall must spell the stored message where the
// camera is. Each text cell's centre is projected with the frame's own
// matrices, the pixel there tells whether a cube is drawn, and each
// character's 3 x 5 cells are matched against the font.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "data/embedded_data.hpp"
#include "host/headless/headless_host.hpp"
#include "math/matrix.hpp"
#include "render/renderer.hpp"
#include "scroller/cube_text.hpp"
#include "support/test_host.hpp"
#include "win32/api_trace.hpp"

namespace {

constexpr float Spacing = 1.2f;  // the text lattice
constexpr int GlyphRows = 5;
constexpr int GlyphColumns = 3;  // and one blank column between characters

struct ScreenPoint {
    bool visible;
    std::int32_t x;
    std::int32_t y;
};

// The cell (row, column) of the wall on screen, as the device maps it.
ScreenPoint projectCell(std::int32_t row, std::int32_t column, const Mat4& viewProjection)
{
    const double p[4] = {static_cast<double>(column) * Spacing, -static_cast<double>(row) * Spacing, 0.0, 1.0};
    double clip[4];
    for (int c = 0; c < 4; ++c) {
        clip[c] = 0;
        for (int k = 0; k < 4; ++k) {
            clip[c] += p[k] * viewProjection.e[4 * k + c];
        }
    }
    if (clip[3] < 0.5) {
        return {false, 0, 0};
    }
    const double x = (1.0 + clip[0] / clip[3]) * 512.0;
    const double y = 64.0 + (1.0 - clip[1] / clip[3]) * 320.0;
    // Keep away from the band's edges, where a cell is cut.
    const bool inside = x >= 8 && x < 1016 && y >= 72 && y < 696;
    return {inside, static_cast<std::int32_t>(x + 0.5), static_cast<std::int32_t>(y + 0.5)};
}

bool litAt(const d3d9::Frame& frame, ScreenPoint point)
{
    const std::uint32_t pixel = frame.pixels()[static_cast<std::size_t>(point.y) * frame.width + point.x];
    const std::uint32_t brightest = std::max({(pixel >> 16) & 255u, (pixel >> 8) & 255u, pixel & 255u});
    return brightest > 24; // the background is cleared to black
}

// The character whose glyph is this pattern (15 bits, row by row), ' ' for
// none lit, '?' for no match.
char matchGlyph(const bool lit[GlyphRows][GlyphColumns])
{
    bool any = false;
    for (int r = 0; r < GlyphRows; ++r) {
        for (int c = 0; c < GlyphColumns; ++c) {
            any = any || lit[r][c];
        }
    }
    if (!any) {
        return ' ';
    }
    for (int letter = 0; letter < 26; ++letter) {
        bool same = true;
        for (int r = 0; r < GlyphRows && same; ++r) {
            for (int c = 0; c < GlyphColumns && same; ++c) {
                same = (fontBitmap[r * 104 + 4 * letter + c] == '*') == lit[r][c];
            }
        }
        if (same) {
            return static_cast<char>('a' + letter);
        }
    }
    return '?';
}

// Decodes every character whose 15 cells are all on screen and logs it
// with the character the message has there.
void readMessage(const d3d9::Frame& frame)
{
    const Mat4 viewProjection = mat4Multiply(*viewMatrix, *projectionMatrix);
    std::string decoded;
    std::string expected;
    const std::int32_t length = static_cast<std::int32_t>(std::strlen(scrollMessage));
    for (std::int32_t k = 0; k < length; ++k) {
        bool lit[GlyphRows][GlyphColumns];
        bool allVisible = true;
        for (int r = 0; r < GlyphRows; ++r) {
            for (int c = 0; c < GlyphColumns; ++c) {
                const ScreenPoint point = projectCell(r, 4 * k + c, viewProjection);
                allVisible = allVisible && point.visible;
                lit[r][c] = point.visible && litAt(frame, point);
            }
        }
        if (allVisible) {
            decoded += matchGlyph(lit);
            const char m = scrollMessage[k];
            expected += (m >= 'a' && m <= 'z') ? m : ' ';
        }
    }
    win32::trace("decoded [" + decoded + "]");
    win32::trace("expected [" + expected + "]");
}

} // namespace

TEST(EndToEnd, theFrameAt20440MsSpellsTheStoredMessageWhereTheCameraIs)
{
    const testhost::RunResult result = testhost::runInChild([] {
        headless::HeadlessOptions options;
        options.keep = {20440};
        options.onFrame = [](const d3d9::Frame& frame, std::int32_t elapsedMs) {
            win32::trace("frame at " + std::to_string(elapsedMs) + (frame.rendered ? " rendered" : " skipped"));
            readMessage(frame);
        };
        const headless::HeadlessResult run = headless::runHeadless(options);
        return run.exitCode;
    });
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(testhost::linesStartingWith(result.log, "frame at"), std::vector<std::string>{"frame at 20440 rendered"});
    const std::vector<std::string> decoded = testhost::linesStartingWith(result.log, "decoded");
    const std::vector<std::string> expected = testhost::linesStartingWith(result.log, "expected");
    ASSERT_EQ(decoded.size(), 1u);
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_EQ(decoded[0].substr(std::strlen("decoded ")), expected[0].substr(std::strlen("expected ")));
    // The camera is close to the wall here: three whole characters fill the screen.
    EXPECT_EQ(expected[0], "expected [cub]");
}
