# Installation: the two shared libraries (and, on Linux, the record manager's
# SQLite), the public headers (with the generated export headers), the
# reclink command (tools/) with its manual page, a CMake package "reclink"
# with the targets reclink::reclink and reclink::recman, a pkg-config file
# reclink.pc, and the manuals (docs/*.md).
# The static layers are compiled into libreclink.so and appear in no
# installed link interface.
include(CMakePackageConfigHelpers)

set(RECLINK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/reclink)

install(TARGETS reclink recman
  EXPORT reclinkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# The record manager's own SQLite, where it is a library of its own (on
# Windows it is inside wbtrv32.dll): the run-time file, no headers and no link
# name; the package names it only so that a program linked against the record
# manager finds it.
if(TARGET reclink_sqlite3)
  get_target_property(sqlite_type reclink_sqlite3 TYPE)
  if(sqlite_type STREQUAL "SHARED_LIBRARY")
    install(TARGETS reclink_sqlite3 EXPORT reclinkTargets
      LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
  endif()
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/reclink
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
  FILES_MATCHING PATTERN "*.h" PATTERN "*.tbl")
install(FILES
    ${PROJECT_BINARY_DIR}/include/reclink/reclink_export.h
    ${PROJECT_BINARY_DIR}/include/reclink/recman_export.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/reclink COMPONENT development)

install(EXPORT reclinkTargets
  NAMESPACE reclink::
  FILE reclinkTargets.cmake
  DESTINATION ${RECLINK_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/reclinkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/reclinkConfig.cmake
  INSTALL_DESTINATION ${RECLINK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/reclinkConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/reclinkConfig.cmake
    ${PROJECT_BINARY_DIR}/reclinkConfigVersion.cmake
  DESTINATION ${RECLINK_CMAKE_DIR} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place, so the file
# stays right after `cmake --install --prefix <elsewhere>`.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(RECLINK_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  string(REGEX REPLACE "[^/]+" ".." RECLINK_PC_UP "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(RECLINK_PC_PREFIX "\${pcfiledir}/${RECLINK_PC_UP}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/reclink.pc.in ${PROJECT_BINARY_DIR}/reclink.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/reclink.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime
  FILES_MATCHING PATTERN "*.md")
