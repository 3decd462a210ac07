# 64-bit Windows (x86-64) with Debian's MinGW-w64 cross compiler.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(RECLINK_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
