# 32-bit x86 Linux on a 64-bit Debian machine with g++-multilib: 32-bit
# pointers, the 32-bit calling convention and the SSE2 tier on i686.
# GoogleTest comes from its source (QUARLIN_GOOGLETEST_SOURCE); no libpng.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
