// The width of one batch: the vertices or pixels that every CPU executor of
// a program (the shader machine, the compiled routines) and the stages that
// feed them (vertex fetch, view rejection, the pixel batches) take in one run.
#pragma once

#include <cstdint>

namespace shader {

constexpr std::int32_t BatchLanes = 32;

} // namespace shader
