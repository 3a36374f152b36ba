# Cross build for 64-bit Windows with Debian's mingw-w64 x86_64 toolchain. The plug-in
# module is a 32-bit one; this build exists so that the same module source and its test host
# can run under 64-bit Wine where the machine cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KVDIB_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
