# The Linux programs are hardened as Debian hardens its packages
# (dpkg-buildflags with hardening=+all): a stack protector, the C library's
# checked string and memory calls where the code is optimised (fortify needs
# optimisation; a target compiled at -O0 adds -U_FORTIFY_SOURCE), and
# relocations made read-only and bound at start. None of them touches
# floating-point arithmetic.
if(NOT WIN32 AND NOT EMSCRIPTEN)
  add_compile_options(-fstack-protector-strong)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
