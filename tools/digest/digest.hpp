// The generated data as digests, for comparing builds bit for bit: every
// object's mesh arrays after loading, the six textures' pixels, the song's
// events, and at each animation time the camera vectors, the view matrix,
// every world matrix and the four constant blocks each drawable object hands
// the vertex program. Runs the generation in the program's own order.
// One line a record; numbers as the hex of their bits, arrays as FNV-1a
// hashes, so the text is the same on every C library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// The default times: 0, the channel's interval from 40 to 81,640 ms in
// irregular steps, and past its end; `count` of them, ascending.
std::vector<std::int32_t> digestTimes(std::int32_t count);

// Writes the digest of a fresh process's generation and of the animation at
// `times` (ascending, as frames would come).
void writeDigest(std::FILE* out, const std::vector<std::int32_t>& times);
