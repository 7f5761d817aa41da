# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 compilers
# (package g++-mingw-w64-i686).
set(MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
