# 32-bit Windows, the system hosts load Quarlin.dll on.
set(QUARLIN_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# 32-bit Windows keeps the stack 4-byte aligned; functions with 16-byte
# aligned data (the SSE2 tier) realign it themselves.
set(CMAKE_CXX_FLAGS_INIT "-mstackrealign")
