# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 compilers
# (package g++-mingw-w64-i686). The programs link the C and C++
# run-times statically (see the top-level CMakeLists.txt), so they need only
# DLLs that Windows itself ships, besides the D3DX run-time they load by name.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

# Headers and libraries come from the MinGW-w64 sysroot only; programs the
# build runs come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
