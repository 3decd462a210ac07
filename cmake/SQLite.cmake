# SQLite for the record manager, as SQLite::SQLite3. The presets compile it
# here, from the amalgamation (sqlite3.c, sqlite3.h) that scripts/setup makes
# from Debian's source package, with the options below; a build without
# RECLINK_SQLITE_SOURCE_DIR takes the system's library as its packager built
# it (Debian's leaves out SQLite's small-allocation cache, and every read pays
# for that: docs/performance.md).
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
if(WIN32)
  # A copy inside wbtrv32.dll: a DLL exports only what it names.
  add_library(reclink_sqlite3 STATIC ${RECLINK_SQLITE_SOURCE_DIR}/sqlite3.c)
else()
  # A shared library of its own, so that the record manager and whatever else
  # in its process opens its files (tests, benchmarks) share one SQLite: two
  # copies in one process drop each other's POSIX locks on a file both have
  # open, and a hook set in one would not reach the other.
  add_library(reclink_sqlite3 SHARED ${RECLINK_SQLITE_SOURCE_DIR}/sqlite3.c)
  set_target_properties(reclink_sqlite3 PROPERTIES
    C_VISIBILITY_PRESET default
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
  target_link_libraries(reclink_sqlite3 PRIVATE Threads::Threads)
  # SQLite's calls to its own entry points stay inside it, direct and open
  # to inlining, whatever else in the process defines the same names.
  target_compile_options(reclink_sqlite3 PRIVATE $<$<C_COMPILER_ID:GNU,Clang>:-fno-semantic-interposition>)
  # What SQLite's configure script would find on this system, found the same
  # way. Without them the amalgamation falls back to the least any Unix has:
  # lseek and read for every page read, fsync for fdatasync, and sleeps of
  # whole seconds where it waits for a lock.
  include(CheckIncludeFile)
  include(CheckSymbolExists)
  set(CMAKE_REQUIRED_DEFINITIONS -D_GNU_SOURCE)
  check_include_file(malloc.h RECLINK_SQLITE_HAVE_MALLOC_H)
  foreach(check IN ITEMS usleep:unistd.h fdatasync:unistd.h pread:unistd.h pwrite:unistd.h
                         localtime_r:time.h gmtime_r:time.h strchrnul:string.h isnan:math.h
                         posix_fallocate:fcntl.h malloc_usable_size:malloc.h)
    string(REPLACE ":" ";" check ${check})
    list(GET check 0 symbol)
    list(GET check 1 header)
    string(TOUPPER ${symbol} name)
    check_symbol_exists(${symbol} ${header} RECLINK_SQLITE_HAVE_${name})
    if(RECLINK_SQLITE_HAVE_${name})
      target_compile_definitions(reclink_sqlite3 PRIVATE HAVE_${name}=1)
    endif()
  endforeach()
  if(RECLINK_SQLITE_HAVE_MALLOC_H)
    target_compile_definitions(reclink_sqlite3 PRIVATE HAVE_MALLOC_H=1)
  endif()
  unset(CMAKE_REQUIRED_DEFINITIONS)
endif()
add_library(SQLite::SQLite3 ALIAS reclink_sqlite3)
target_include_directories(reclink_sqlite3 SYSTEM PUBLIC $<BUILD_INTERFACE:${RECLINK_SQLITE_SOURCE_DIR}>)
# - serialized threading, as the engine's threads share connections (each
#   opened without its own mutex, used by one thread at a time);
# - no loading of extensions;
# - deleted content overwritten, as Debian builds it;
# - then SQLite's own advice for speed: no memory statistics (a process-wide
#   mutex on every allocation), no double-quoted strings, no shared cache, no
#   deprecated or progress calls, no expression-depth count, alloca for
#   temporaries, LIKE never matching a blob.
target_compile_definitions(reclink_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION=1 SQLITE_SECURE_DELETE=1
  SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_DQS=0 SQLITE_OMIT_SHARED_CACHE SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_PROGRESS_CALLBACK SQLITE_MAX_EXPR_DEPTH=0 SQLITE_USE_ALLOCA
  SQLITE_LIKE_DOESNT_MATCH_BLOBS)
# SQLite's own source is not held to the project's warning flags. It is
# optimised in every build and left out of the sanitizers, as a system
# library is: the tests of debug builds run at the speed of the real thing,
# and the sanitizers watch the project's code (calls into SQLite included).
target_compile_options(reclink_sqlite3 PRIVATE
  $<$<C_COMPILER_ID:GNU,Clang>:-w>
  $<$<C_COMPILER_ID:GNU,Clang>:-fno-sanitize=all>
  $<$<AND:$<C_COMPILER_ID:GNU,Clang>,$<CONFIG:Debug>>:-O2>
  $<$<C_COMPILER_ID:MSVC>:/w>)
set_target_properties(reclink_sqlite3 PROPERTIES POSITION_INDEPENDENT_CODE ON)
