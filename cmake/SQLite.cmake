# SQLite for the record manager: the system's library, or SQLite compiled here
# from an amalgamation (sqlite3.c and sqlite3.h) when RECLINK_SQLITE_SOURCE_DIR
# names one. The Windows presets do the latter with the amalgamation that
# scripts/setup makes from Debian's source package. Either way the target is
# SQLite::SQLite3.
set(RECLINK_SQLITE_SOURCE_DIR "" CACHE PATH
    "Directory of an SQLite amalgamation to compile instead of the system's SQLite")

if(NOT RECLINK_SQLITE_SOURCE_DIR)
  find_package(SQLite3 REQUIRED)
  return()
endif()

if(NOT EXISTS ${RECLINK_SQLITE_SOURCE_DIR}/sqlite3.c OR
   NOT EXISTS ${RECLINK_SQLITE_SOURCE_DIR}/sqlite3.h)
  message(FATAL_ERROR "SQLite's amalgamation (sqlite3.c, sqlite3.h) is not in "
    "${RECLINK_SQLITE_SOURCE_DIR}: scripts/setup <preset> makes it from Debian's source package")
endif()
add_library(reclink_sqlite3 STATIC ${RECLINK_SQLITE_SOURCE_DIR}/sqlite3.c)
add_library(SQLite::SQLite3 ALIAS reclink_sqlite3)
target_include_directories(reclink_sqlite3 SYSTEM PUBLIC ${RECLINK_SQLITE_SOURCE_DIR})
# Serialized threading, as the engine's threads share connections; no loading
# of extensions; deleted content overwritten, as Debian builds it.
target_compile_definitions(reclink_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION=1 SQLITE_SECURE_DELETE=1)
# SQLite's own source is not held to the project's warning flags.
target_compile_options(reclink_sqlite3 PRIVATE
  $<$<C_COMPILER_ID:GNU,Clang>:-w> $<$<C_COMPILER_ID:MSVC>:/w>)
set_target_properties(reclink_sqlite3 PROPERTIES POSITION_INDEPENDENT_CODE ON)
