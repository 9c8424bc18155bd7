# Cross-compiling for 32-bit Windows with MinGW-w64 (posix thread model).
set(PICTARO_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
