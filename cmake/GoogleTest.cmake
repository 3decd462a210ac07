# GoogleTest: the system's when building for the machine we run on; when cross
# compiling, built here from its sources (Debian's libgtest-dev ships them in
# /usr/src/googletest) with the cross compiler. Either way the targets are
# GTest::gtest and GTest::gtest_main.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

set(RECLINK_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest's sources, built with the cross compiler")
if(NOT EXISTS ${RECLINK_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are not in ${RECLINK_GTEST_SOURCE_DIR}: "
    "install libgtest-dev (scripts/setup <preset>) or set RECLINK_GTEST_SOURCE_DIR")
endif()
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)  # the command tests use its matchers
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)  # MSVC: the runtime the project uses
# GoogleTest names its targets GTest::gtest and GTest::gtest_main itself.
add_subdirectory(${RECLINK_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The test programs list their tests when ctest runs, under the emulator,
# rather than at build time: building needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
