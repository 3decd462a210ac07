# The record manager's server backend needs libpq, PostgreSQL's client
# library. On Debian scripts/setup installs it (libpq-dev), and there it is
# required; the Windows presets build without it. RECMAN_SERVER_BACKEND=OFF
# builds a record manager that keeps every file in SQLite.
if(WIN32)
  set(recman_server_default OFF)
else()
  set(recman_server_default ON)
endif()
option(RECMAN_SERVER_BACKEND "Build the PostgreSQL server backend (needs libpq)" ${recman_server_default})
if(RECMAN_SERVER_BACKEND)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
endif()
