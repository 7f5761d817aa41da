# The installed Linux programs' relocations are made read-only and bound at
# start (-z relro -z now), as Debian's hardened packages have them; it costs
# only start-up. Only demo and demokit: under -z now the 32-bit x86 build's
# digest program computed other curve values (libm's variants are chosen
# when symbols are bound), and that build is the one that checks the x86
# arithmetic. The C library's fortified calls and the stack protector are
# left out: measured with callgrind over the program's frames they cost 1.4
# and a further 1.9 % of the instructions (the checked copies of the
# constant uploads, the canaries of the rasterizer's loops), for programs
# whose only input is their command line and files read through bounded
# readers. The package's lintian override says the same.
function(demo_harden_program target)
  if(NOT WIN32 AND NOT EMSCRIPTEN)
    target_link_options(${target} PRIVATE -Wl,-z,relro -Wl,-z,now)
  endif()
endfunction()
