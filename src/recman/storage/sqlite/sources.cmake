# The SQLite backend: record files on this machine, one SQLite database
# each. Always built: files kept locally are the default.
target_sources(recman PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/busy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/create.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_locks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/freeze.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mapping.cpp
  ${CMAKE_CURRENT_LIST_DIR}/memory_budget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/multi_commit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/schema.cpp
  ${CMAKE_CURRENT_LIST_DIR}/session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snapshots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_map.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_reads.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_snapshots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_transaction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_writes.cpp
)
target_link_libraries(recman PRIVATE SQLite::SQLite3)
