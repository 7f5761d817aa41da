// The program's embedded data: scene description, animation script, font,
// scroll message, texture script and song. Trusted, fixed at build time,
// read once at start-up.
#pragma once

#include <cstdint>

constexpr std::int32_t EmbeddedSceneObjectCount = 3;
extern const std::uint8_t embeddedSceneDescription[92];
extern const std::uint8_t embeddedAnimationScript[37];
// 5 rows of 104 characters, '*' lit and ' ' unlit; letter k at columns 4k to 4k + 3.
extern const char fontBitmap[5 * 104];
// 487 lower-case letters and spaces, zero-terminated.
extern const char embeddedScrollMessage[488];
// Six textures, closed by the end-of-script byte.
extern const std::uint8_t embeddedTextureScript[174];
// A Standard MIDI File: one truncated track of twelve notes.
extern const std::uint8_t embeddedSong[1179];
