# The record manager's server backend needs libpq, PostgreSQL's client
# library; the targets link it as PostgreSQL::libpq.
# - Linux: the system's libpq (libpq-dev, which scripts/setup installs),
#   found through pkg-config, and required.
# - Windows: libpq and OpenSSL as static libraries for the MinGW-w64 target,
#   which scripts/setup builds from Debian's sources
#   (scripts/build-mingw-libpq) into the directory RECLINK_MINGW_LIBPQ_DIR
#   names (the presets: build/cache/libpq-<target>). The backend is built
#   when they are there, linked into wbtrv32.dll, which so needs no other DLL.
# RECMAN_SERVER_BACKEND=OFF builds a record manager that keeps every file in
# SQLite.
set(RECLINK_MINGW_LIBPQ_DIR "" CACHE PATH
    "Windows: libpq and OpenSSL built for the target (include/, lib/), from scripts/build-mingw-libpq")
set(recman_server_default ON)
if(WIN32 AND NOT EXISTS "${RECLINK_MINGW_LIBPQ_DIR}/lib/libpq.a")
  set(recman_server_default OFF)
endif()
option(RECMAN_SERVER_BACKEND "Build the PostgreSQL server backend (needs libpq)" ${recman_server_default})
if(NOT RECMAN_SERVER_BACKEND)
  return()
endif()

add_library(PostgreSQL::libpq INTERFACE IMPORTED GLOBAL)
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
  target_link_libraries(PostgreSQL::libpq INTERFACE PkgConfig::LIBPQ)
  return()
endif()

set(libpq_dir "${RECLINK_MINGW_LIBPQ_DIR}")
set(libpq_archives libpq libpgcommon_shlib libpgport_shlib libssl libcrypto)  # users before what they use
set(libpq_paths "")
foreach(archive ${libpq_archives})
  if(NOT EXISTS "${libpq_dir}/lib/${archive}.a")
    message(FATAL_ERROR "RECMAN_SERVER_BACKEND is ON but ${libpq_dir}/lib/${archive}.a is missing: "
      "'scripts/setup mingw32' (or mingw64) builds libpq and OpenSSL for Windows there "
      "(or configure with -DRECMAN_SERVER_BACKEND=OFF)")
  endif()
  list(APPEND libpq_paths "${libpq_dir}/lib/${archive}.a")
endforeach()
file(READ "${libpq_dir}/KEY" libpq_key)
string(STRIP "${libpq_key}" libpq_key)
message(STATUS "libpq for Windows: ${libpq_dir} (${libpq_key})")
target_include_directories(PostgreSQL::libpq INTERFACE "${libpq_dir}/include")
# What libpq (sockets, the user's profile directory, SSPI) and OpenSSL
# (sockets, the system's certificate store) take from Windows.
target_link_libraries(PostgreSQL::libpq INTERFACE ${libpq_paths} secur32 shell32 ws2_32 crypt32 gdi32 advapi32 user32)
