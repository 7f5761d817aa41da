// The vertex and pixel program texts the renderer assembles at start-up.
// Lines are separated by a single line feed, with none after the last line;
// the terminating zero is not part of the text (500 and 359 characters).
#pragma once

extern const char vertexShaderText[501];
extern const char pixelShaderText[360];
