// Hot loops of the rasterizer built twice, for the SSE2 every x86-64 has and
// for AVX2, the processor choosing at load time (an ifunc, GCC on Linux
// only; elsewhere one build). flatten inlines what they call into each
// copy. Neither build uses fused multiply-add, and the file's contraction
// is off: both give the same bits.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define RASTER_HOT_LOOP __attribute__((target_clones("avx2", "default"), flatten))
#else
#define RASTER_HOT_LOOP
#endif
