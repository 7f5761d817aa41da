# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers
# (package g++-mingw-w64-x86-64).
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
