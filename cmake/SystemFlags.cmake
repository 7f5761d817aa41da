# Compiler settings shared by every target, and the stricter set for the
# system code, whose generated data must be bit-identical on every machine,
# compiler, build type and target (the source compiled at -O0 is the
# reference). One place for every preset and toolchain:
# - no contraction of a*b+c into fused multiply-adds, no fast-math;
# - no vectorisation: at -O3 GCC's SLP vectoriser computes parts of
#   mat4InverseAffine in another order than its source;
# - on 32-bit x86, SSE2 scalar arithmetic instead of the x87 unit, whose
#   80-bit registers skip the single- and double-precision roundings;
# - no -march or vector flags;
# - in the optimised build types, -O3 rather than the type's -O2: the
#   program's every frame runs thousands of objects' matrices, and a seek
#   runs thousands of frames (about a tenth faster). With vectorisation
#   off, -O3 computes what -O0 does; the digest checks hold every level
#   to it.

add_compile_options(-Wall -Wextra)

# (Emscripten names its processor x86, but WebAssembly has no x87 unit.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" AND NOT EMSCRIPTEN)
  set(DEMO_X87_TARGET ON)
else()
  set(DEMO_X87_TARGET OFF)
endif()

function(demo_system_target target)
  target_compile_options(${target} PRIVATE
    -ffp-contract=off
    -fno-fast-math
    -fno-tree-vectorize
    -fno-tree-slp-vectorize
    $<$<CONFIG:Release,RelWithDebInfo>:-O3>)
  if(DEMO_X87_TARGET)
    target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse)
  endif()
endfunction()
