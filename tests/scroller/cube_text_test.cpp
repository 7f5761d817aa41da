#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "support/scene_fixture.hpp"

namespace {

class CubeText : public SceneFixture {
protected:
    void TearDown() override
    {
        releaseCubes();
        SceneFixture::TearDown();
    }

    std::int32_t build(const char* message)
    {
        releaseCubes();
        scrollMessage = message;
        rasterizeMessage();
        count_ = makeTextCubes();
        return count_;
    }

    void releaseCubes()
    {
        for (std::int32_t i = 0; i < count_; ++i) {
            freeObjectMesh(textCubes[i]);
        }
        releaseBlock(textCubes);
        count_ = 0;
    }

    std::int32_t count_ = 0;
};

std::int32_t glyphPixels(char letter)
{
    std::int32_t lit = 0;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 4; ++c) {
            lit += fontBitmap[r * 104 + 4 * (letter - 'a') + c] == '*' ? 1 : 0;
        }
    }
    return lit;
}

// White, tangent-less vertices; the +y face (normal (0, 0.5, 0)) maps to
// (0.5, asin(0.5) / pi + 0.5).
void expectTextCubeVertices(const SceneObject& cube)
{
    for (std::int32_t k = 0; k < cube.vertexCount; ++k) {
        const MeshVertex& vertex = cube.vertices[k];
        EXPECT_EQ(vertex.color, 0xFFFFFFFFu);
        EXPECT_TRUE(vec3Equal(vertex.tangent, {0.0f, 0.0f, 0.0f}));
    }
    for (std::int32_t k = 0; k < 4; ++k) {
        EXPECT_TRUE(vec3Equal(cube.vertices[k].normal, {0.0f, 0.5f, 0.0f}));
        EXPECT_EQ(cube.vertices[k].u, 0.5f);
        EXPECT_NEAR(cube.vertices[k].v, 0.66667f, 1e-5f);
    }
}

TEST_F(CubeText, fontGlyphsAreThreeColumnsWideWithBetweenFiveAndTwelvePixels)
{
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        for (int r = 0; r < 5; ++r) {
            EXPECT_EQ(fontBitmap[r * 104 + 4 * (letter - 'a') + 3], ' ') << letter;
        }
        EXPECT_GE(glyphPixels(letter), 5) << letter;
        EXPECT_LE(glyphPixels(letter), 12) << letter;
    }
    EXPECT_EQ(glyphPixels('i'), 5);
    EXPECT_EQ(glyphPixels('a'), 12);
    EXPECT_EQ(glyphPixels('m'), 12);
    // 'k' rows: X.X X.X XX. X.X X.X
    EXPECT_EQ(std::string(&fontBitmap[2 * 104 + 40], 4), "**  ");
}

TEST_F(CubeText, storedMessageMeetsItsFigures)
{
    const std::string message = embeddedScrollMessage;
    EXPECT_EQ(message.size(), 487u);
    std::int32_t spaces = 0, run = 0, longestRun = 0, pixels = 0;
    for (char c : message) {
        ASSERT_TRUE(c == ' ' || (c >= 'a' && c <= 'z')) << "character " << int(c);
        run = c == ' ' ? run + 1 : 0;
        longestRun = std::max(longestRun, run);
        spaces += c == ' ' ? 1 : 0;
        pixels += c == ' ' ? 0 : glyphPixels(c);
    }
    EXPECT_EQ(spaces, 109);
    EXPECT_LE(longestRun, 6);
    EXPECT_EQ(pixels, 3616);
    EXPECT_EQ(build(embeddedScrollMessage), 3616);
    EXPECT_EQ(totalVertexCount, 86784);
    EXPECT_EQ(totalIndexCount, 130176);
}

TEST_F(CubeText, letterIGivesAColumnOfFiveCubesTopDown)
{
    ASSERT_EQ(build("i"), 5);
    const float rows[5] = {0.0f, -1.20000005f, -2.4000001f, -3.60000014f, -4.80000019f};
    for (int k = 0; k < 5; ++k) {
        const SceneObject& cube = textCubes[k];
        EXPECT_EQ(cube.position.x, 1.20000005f);
        EXPECT_EQ(cube.position.y, rows[k]);
        // Row 0 lies at +0 (the row is negated before it is scaled).
        EXPECT_EQ(std::signbit(cube.position.y), k > 0);
        EXPECT_EQ(cube.position.z, 0.0f);
        EXPECT_EQ(cube.kind, ObjectKind::Cube);
        EXPECT_EQ(cube.parent, NoParent);
        EXPECT_EQ(cube.texture, 2);
        EXPECT_EQ(cube.drawable, 1);
        EXPECT_EQ(cube.vertexCount, 24);
        EXPECT_EQ(cube.triangleCount, 12);
        expectTextCubeVertices(cube);
    }
}

TEST_F(CubeText, cubesComeRowByRowAcrossTheWholeMessage)
{
    ASSERT_EQ(build("ab"), 22);
    // Row 0: a at columns 0, 1, 2 and b at 4, 5; row 1: a at 0, 2, b at 4, 6.
    const std::int32_t columns[] = {0, 1, 2, 4, 5, 0, 2, 4, 6};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(textCubes[k].position.x, static_cast<float>(columns[k] * 1.2000000476837158))
            << "cube " << k;
        EXPECT_EQ(textCubes[k].position.y, k < 5 ? 0.0f : -1.20000005f);
    }
    // A space leaves its four columns blank.
    ASSERT_EQ(build("i i"), 10);
    EXPECT_EQ(textCubes[1].position.x, static_cast<float>(9 * 1.2000000476837158));
}

TEST_F(CubeText, emptyOddAndOverlongMessagesStaySafe)
{
    EXPECT_EQ(build(""), 0);
    EXPECT_EQ(build("      "), 0);
    // Characters without a glyph are blank like spaces.
    EXPECT_EQ(build("I!9\x7f\xff"), 0);
    EXPECT_EQ(build("x-x"), 2 * glyphPixels('x'));
    // Only the first 4,096 characters fit the grid.
    const std::string longMessage(5000, 'i');
    EXPECT_EQ(build(longMessage.c_str()), 5 * 4096);
    EXPECT_EQ(textCubes[4095].position.x, static_cast<float>((4 * 4095 + 1) * 1.2000000476837158));
}

} // namespace

// A message of every letter: each one's four columns of the grid hold
// exactly its glyph, so a letter the text forgot shows as an empty cell.
TEST_F(CubeText, everyLetterOfTheAlphabetIsDrawnWithItsGlyph)
{
    const char* const alphabet = "abcdefghijklmnopqrstuvwxyz";
    scrollMessage = alphabet;
    rasterizeMessage();
    for (std::int32_t k = 0; k < 26; ++k) {
        const char letter = alphabet[k];
        std::int32_t lit = 0;
        for (int r = 0; r < TextGridRows; ++r) {
            for (int c = 0; c < 4; ++c) {
                const std::uint8_t cell = textGrid[r * TextGridColumns + 4 * k + c];
                EXPECT_EQ(cell == '*', fontBitmap[r * 104 + 4 * (letter - 'a') + c] == '*') << letter;
                lit += cell == '*' ? 1 : 0;
            }
        }
        EXPECT_EQ(lit, glyphPixels(letter)) << letter;
    }
    scrollMessage = embeddedScrollMessage;
}
