// Marks a function whose plain float and integer loops run twice as wide
// with AVX2: it is built for AVX2 as well and the loader picks the copy the
// processor runs. Only the vector width changes (no fused multiply-add: the
// results are the same bits); elsewhere the mark is empty. Not under
// ThreadSanitizer: the loader runs the choosing function before the
// sanitizer's runtime is up, and the program crashes before main.
#pragma once

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define RASTER_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RASTER_WIDE_CLONES
#endif
