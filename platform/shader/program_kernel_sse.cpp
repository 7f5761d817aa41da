// The program routine four lanes wide, on the SSE2 every x86-64 has (and on
// other machines, through the compiler's generic vectors).
#include "shader/program_kernel.hpp"

#define KERNEL_WIDTH 4
#define KERNEL_ENTRY runWidth4
#define KERNEL_DOUBLE_LANES 2
#if defined(__SSE2__)
#define KERNEL_SQRT(v) __builtin_ia32_sqrtps(v)
#define KERNEL_SQRT_DOUBLES(v) __builtin_ia32_sqrtpd(v)
#else
#define KERNEL_SQRT(v) eachLane(v, [](float x) { return __builtin_sqrtf(x); })
#define KERNEL_SQRT_DOUBLES(v) eachLane(v, [](double x) { return __builtin_sqrt(x); })
#endif
#define KERNEL_FLOOR(v) eachLane(v, [](float x) { return __builtin_floorf(x); }) // SSE2 has no rounding to -inf
#include "shader/program_kernel_body.inl"
