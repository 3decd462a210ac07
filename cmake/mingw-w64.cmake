# Cross compiling for Windows with Debian's MinGW-w64 compilers. Included by
# mingw32.cmake and mingw64.cmake, which name the target in RECLINK_MINGW_TARGET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7: the oldest system the builds are for

# The posix thread model: g++ 12's std::thread and std::mutex need it.
set(CMAKE_C_COMPILER ${RECLINK_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RECLINK_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${RECLINK_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RECLINK_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)  # build tools (iconv, wine) are the host's
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libstdc++, libgcc, winpthread) is linked into every
# module, so that each DLL and program stands alone beside the application.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)

# ctest runs the Windows programs under Wine, through a runner that tells a
# crash of Wine's own at process exit from the program's result.
find_program(RECLINK_WINE wine)
if(RECLINK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine_run.sh ${RECLINK_WINE})
endif()
