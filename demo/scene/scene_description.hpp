// Reading the scene description: a little-endian, unaligned byte stream
// consumed front to back through sceneReadPos.
//
// The readers never look past the end of the description: a field that runs
// past it reads as 0, so a truncated description gives zeros, not a fault.
#pragma once

#include <cstdint>

#include "math/vector.hpp"

// The description being loaded and its length in bytes; the embedded one
// unless a caller (a tool, a test) points them elsewhere before loadScene.
extern const std::uint8_t* sceneDescription;
extern std::int32_t sceneDescriptionSize;

// The float whose four bytes start at byte pos; does not move sceneReadPos.
float readSceneFloat(std::int32_t pos);
// The next byte, 16-bit value or float at sceneReadPos, advancing past it.
std::uint8_t takeSceneByte();
std::uint16_t takeSceneU16();
float takeSceneFloat();
Vec3 takeSceneVec3();
