# The SQLite backend: record files on this machine, one SQLite database
# each. Always built: files kept locally are the default.
set(recman_sqlite_sources
    backend busy check create file_locks freeze
    mapping memory_budget multi_commit schema session snapshots
    status_map table table_reads table_snapshots table_transaction table_writes)
list(TRANSFORM recman_sqlite_sources PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM recman_sqlite_sources APPEND .cpp)
target_sources(recman PRIVATE ${recman_sqlite_sources})
target_link_libraries(recman PRIVATE SQLite::SQLite3)
