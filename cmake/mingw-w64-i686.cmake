# Cross build for 32-bit Windows with Debian's mingw-w64 i686 toolchain:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KVDIB_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# SSE2 arithmetic instead of the x87 unit: x87 keeps intermediates in 80 bits, which could
# make a reduction's floating-point decisions differ from the 64-bit builds. With SSE2 every
# build computes the same palettes and indices.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
