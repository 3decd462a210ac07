# 32-bit Windows (i686) with Debian's MinGW-w64 cross compiler.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(RECLINK_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
