// Cube text. Message character i owns grid columns 4i to 4i + 3; every '*'
// cell (r, c) becomes a 1.0-wide cube at (c * 1.2, -r * 1.2, 0), records
// ordered by row first and column second.
//
// Characters without a glyph (anything but 'a' to 'z') are left blank like
// spaces, and only the first 4,096 characters fit the grid; the rest of a
// longer message is not drawn.
#include "scroller/cube_text.hpp"

#include <cstring>

#include "common/allocation.hpp"
#include "data/embedded_data.hpp"
#include "mesh/grid_generators.hpp"
#include "mesh/vertex_attributes.hpp"
#include "scene/scene_object.hpp"

std::uint8_t textGrid[TextGridRows * TextGridColumns];
const char* scrollMessage = embeddedScrollMessage;
SceneObject* textCubes = nullptr;

namespace {

constexpr std::int32_t FontColumns = 104;
constexpr std::int32_t GlyphColumns = 4;
constexpr std::uint8_t LitCell = '*';
// The lattice spacing: the float nearest 1.2, multiplied in double precision
// with the cell's column or row and rounded to float.
constexpr float CubeSpacing = 1.2f;
constexpr float CubeHalfSize = 0.5f;
constexpr std::uint8_t TextCubeTexture = 2;

bool hasGlyph(char character)
{
    return character >= 'a' && character <= 'z';
}

std::int32_t countLitCells()
{
    std::int32_t count = 0;
    for (std::uint8_t cell : textGrid) {
        count += cell == LitCell ? 1 : 0;
    }
    return count;
}

float latticeCoordinate(std::int32_t cell)
{
    return static_cast<float>(static_cast<double>(cell) * CubeSpacing);
}

void makeTextCube(SceneObject& cube, std::int32_t row, std::int32_t column)
{
    cube.size = {CubeHalfSize, CubeHalfSize, CubeHalfSize};
    cube.kind = ObjectKind::Cube;
    cube.parent = NoParent;
    cube.drawable = 1;
    cube.animated = 0;
    cube.changed = 0;
    cube.detail = 0;
    cube.texture = TextCubeTexture;
    generateCube(cube);
    totalVertexCount += cube.vertexCount;
    totalIndexCount += 3 * cube.triangleCount;
    cube.position = {latticeCoordinate(column), latticeCoordinate(-row), 0.0f};
    cube.rotation = {0.0f, 0.0f, 0.0f};
    computeTexCoordsFromNormals(cube);
    computeTangents(cube);
}

} // namespace

void copyGlyph(char letter, std::int32_t position)
{
    const std::int32_t k = letter - 'a';
    for (std::int32_t r = 0; r < TextGridRows; ++r) {
        std::memcpy(&textGrid[r * TextGridColumns + GlyphColumns * position],
                    &fontBitmap[r * FontColumns + GlyphColumns * k], GlyphColumns);
    }
}

void rasterizeMessage()
{
    std::memset(textGrid, 0, sizeof textGrid);
    for (std::int32_t i = 0; i < MaxMessageLength && scrollMessage[i] != '\0'; ++i) {
        if (hasGlyph(scrollMessage[i])) {
            copyGlyph(scrollMessage[i], i);
        }
    }
}

std::int32_t makeTextCubes()
{
    const std::int32_t count = countLitCells();
    textCubes = allocateZeroed<SceneObject>(count);
    std::int32_t next = 0;
    for (std::int32_t r = 0; r < TextGridRows; ++r) {
        for (std::int32_t c = 0; c < TextGridColumns; ++c) {
            if (textGrid[r * TextGridColumns + c] == LitCell) {
                makeTextCube(textCubes[next++], r, c);
            }
        }
    }
    return count;
}
