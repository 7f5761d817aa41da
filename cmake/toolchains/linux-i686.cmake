# Builds 32-bit x86 Linux programs with the machine's own GCC (package
# g++-multilib): the target whose x87 unit the system's arithmetic must not
# use, checked here without Windows or Wine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
