// The text wall: the message rasterised with the 3 x 5 font into a five-row
// grid, and one cube object for every lit cell of it.
#pragma once

#include <cstdint>

struct SceneObject;

constexpr std::int32_t TextGridRows = 5;
constexpr std::int32_t TextGridColumns = 16384; // 4 columns a character: 4,096 characters at most
constexpr std::int32_t MaxMessageLength = TextGridColumns / 4;

// Cell values: 0 = never written, ' ' = unlit pixel of a glyph, '*' = lit.
extern std::uint8_t textGrid[TextGridRows * TextGridColumns];
// The message being rasterised: the embedded one unless a caller points it
// elsewhere first. Zero-terminated.
extern const char* scrollMessage;
// The cube records made by makeTextCubes, until the loader takes them over.
extern SceneObject* textCubes;

void rasterizeMessage();
void copyGlyph(char letter, std::int32_t position);
// Makes one cube record per lit cell into textCubes, adds their counts to the
// scene totals and returns how many there are.
std::int32_t makeTextCubes();
