#include "recman/storage/sqlite/status_map.h"

#include <sqlite3.h>

#include "reclink/btrieve.h"

namespace recman {
namespace {

// One row per SQLite primary result code that needs its own status.
struct SqliteRow {
  int rc;         // primary SQLite result code
  int status[3];  // by Access: when opening, working on the file, working on one record
};

constexpr SqliteRow kSqliteTable[] = {
    {SQLITE_BUSY, {B_FILE_INUSE, B_FILE_INUSE, B_RECORD_INUSE}},
    {SQLITE_LOCKED, {B_FILE_INUSE, B_FILE_INUSE, B_RECORD_INUSE}},
    {SQLITE_FULL, {B_DISK_FULL, B_DISK_FULL, B_DISK_FULL}},
    {SQLITE_READONLY, {B_ACCESS_DENIED, B_ACCESS_DENIED, B_ACCESS_DENIED}},
    {SQLITE_PERM, {B_ACCESS_DENIED, B_ACCESS_DENIED, B_ACCESS_DENIED}},
    {SQLITE_AUTH, {B_ACCESS_DENIED, B_ACCESS_DENIED, B_ACCESS_DENIED}},
    {SQLITE_CONSTRAINT, {B_NOT_A_BTRIEVE_FILE, B_DUPLICATE_KEY_VALUE, B_DUPLICATE_KEY_VALUE}},
    {SQLITE_TOOBIG, {B_NOT_A_BTRIEVE_FILE, B_DATALENGTH_ERROR, B_DATALENGTH_ERROR}},
    {SQLITE_NOTADB, {B_NOT_A_BTRIEVE_FILE, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_CORRUPT, {B_NOT_A_BTRIEVE_FILE, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_ERROR, {B_NOT_A_BTRIEVE_FILE, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_SCHEMA, {B_NOT_A_BTRIEVE_FILE, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_FORMAT, {B_NOT_A_BTRIEVE_FILE, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_MISMATCH, {B_NOT_A_BTRIEVE_FILE, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_CANTOPEN, {B_FILE_NOT_FOUND, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_IOERR, {B_IO_ERROR, B_IO_ERROR, B_IO_ERROR}},
    {SQLITE_NOMEM, {B_IO_ERROR, B_IO_ERROR, B_IO_ERROR}},
};

}  // namespace

int StatusFromSqlite(int rc, Access access) {
  const int primary = rc & 0xff;
  // A WAL file that cannot be created or mapped on a read-only medium.
  if (rc == SQLITE_IOERR_SHMOPEN || rc == SQLITE_READONLY_CANTINIT ||
      rc == SQLITE_READONLY_DIRECTORY) {
    return B_ACCESS_DENIED;
  }
  for (const SqliteRow& row : kSqliteTable) {
    if (row.rc == primary) return row.status[static_cast<int>(access)];
  }
  return B_IO_ERROR;
}

}  // namespace recman
