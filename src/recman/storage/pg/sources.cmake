# The server backend: record files kept by a PostgreSQL server, through
# libpq. Built wherever libpq is (scripts/setup installs it on Debian); a
# build without it keeps every file on this machine and refuses a configured
# server with a status.
if(RECMAN_SERVER_BACKEND)
  target_sources(recman PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/backend.cpp
    ${CMAKE_CURRENT_LIST_DIR}/check.cpp
    ${CMAKE_CURRENT_LIST_DIR}/connection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/notices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/schema.cpp
    ${CMAKE_CURRENT_LIST_DIR}/session.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sqlstate_map.cpp
    ${CMAKE_CURRENT_LIST_DIR}/table.cpp
    ${PROJECT_SOURCE_DIR}/src/recman/os/$<IF:$<PLATFORM_ID:Windows>,socket_win32.cpp,socket_posix.cpp>)
  target_link_libraries(recman PRIVATE PostgreSQL::libpq $<$<PLATFORM_ID:Windows>:ws2_32>)
  target_compile_definitions(recman PRIVATE RECMAN_SERVER_BACKEND=1)
  if(WIN32)  # OpenSSL is inside wbtrv32.dll there
    target_sources(recman PRIVATE ${PROJECT_SOURCE_DIR}/src/recman/os/openssl_win32.cpp)
  endif()
endif()
