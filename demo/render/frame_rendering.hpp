// Drawing one frame: clear, rewrite the vertex buffer, bind buffers and
// programs once, then per drawable object (table order) switch the texture
// when its number changes, load four sets of vertex-program constants and
// issue one indexed draw; present.
#pragma once

#include <cstdint>

// The texture number last handled, -1 before the first. Kept across frames
// and never reset. Signed 8 bits: numbers from 128 up never compare equal to
// it, so such a texture is handled again for every object that carries it.
extern std::int8_t currentTexture;

void renderFrame();
