# Compiler settings shared by every target, and the stricter set for the
# system code, whose generated data must be bit-identical on every machine:
# no contraction of a*b+c into fused multiply-adds, no fast-math, no vector
# or -march flags.

add_compile_options(-Wall -Wextra)

function(demo_system_target target)
  target_compile_options(${target} PRIVATE
    -ffp-contract=off
    -fno-fast-math)
endfunction()
