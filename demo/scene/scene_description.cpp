// Bounded little-endian readers over the scene description.
#include "scene/scene_description.hpp"

#include <cstring>

#include "data/embedded_data.hpp"
#include "scene/scene_object.hpp"

const std::uint8_t* sceneDescription = embeddedSceneDescription;
std::int32_t sceneDescriptionSize = sizeof(embeddedSceneDescription);

namespace {

// Copies count bytes at pos into out, zero where they lie past the end.
void copySceneBytes(std::int32_t pos, std::uint8_t* out, std::int32_t count)
{
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int64_t at = static_cast<std::int64_t>(pos) + k;
        out[k] = (at >= 0 && at < sceneDescriptionSize) ? sceneDescription[at] : 0;
    }
}

} // namespace

float readSceneFloat(std::int32_t pos)
{
    std::uint8_t bytes[4];
    copySceneBytes(pos, bytes, 4);
    const std::uint32_t bits = static_cast<std::uint32_t>(bytes[0]) |
                               static_cast<std::uint32_t>(bytes[1]) << 8 |
                               static_cast<std::uint32_t>(bytes[2]) << 16 |
                               static_cast<std::uint32_t>(bytes[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint8_t takeSceneByte()
{
    std::uint8_t byte;
    copySceneBytes(sceneReadPos, &byte, 1);
    sceneReadPos += 1;
    return byte;
}

std::uint16_t takeSceneU16()
{
    std::uint8_t bytes[2];
    copySceneBytes(sceneReadPos, bytes, 2);
    sceneReadPos += 2;
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

float takeSceneFloat()
{
    const float value = readSceneFloat(sceneReadPos);
    sceneReadPos += 4;
    return value;
}

Vec3 takeSceneVec3()
{
    const float x = takeSceneFloat();
    const float y = takeSceneFloat();
    const float z = takeSceneFloat();
    return {x, y, z};
}
