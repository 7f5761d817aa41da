// The program routine eight lanes wide. This file alone is built with
// -mavx2 (not -mfma: no fused multiply-add may change a result), and runs
// only where the processor says it has AVX2.
#include "shader/program_kernel.hpp"

#if defined(__AVX2__)
#define KERNEL_WIDTH 8
#define KERNEL_ENTRY runAvx2Width8
#define KERNEL_SQRT(v) __builtin_ia32_sqrtps256(v)
#define KERNEL_FLOOR(v) __builtin_ia32_roundps256(v, 0x9) // towards -infinity, no exception
#define KERNEL_DOUBLE_LANES 4
#define KERNEL_SQRT_DOUBLES(v) __builtin_ia32_sqrtpd256(v)
#include "shader/program_kernel_body.inl"
#else
namespace shader::kernel {
void runAvx2Width8(const Instruction* code, std::size_t count, float* file, std::int32_t batches,
                   const Sampler* samplers)
{
    runWidth4(code, count, file, batches * 2, samplers); // never chosen without AVX2
}
} // namespace shader::kernel
#endif
