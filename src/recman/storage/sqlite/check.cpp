// Verification of one SQLite record file without changing it: SQLite's own
// integrity check (pages, indexes against rows), then every record's length
// and every key column recomputed from the record bytes.
#include "recman/storage/sqlite/check.h"

#include <sqlite3.h>

#include <string>
#include <vector>

#include "recman/os/os.h"
#include "recman/format/record_check.h"
#include "recman/storage/sqlite/file_locks.h"
#include "recman/storage/sqlite/schema.h"
#include "recman/storage/sqlite/statement.h"
#include "recman/storage/sqlite/table.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

// Opens path for reading only; as it stands when it has no index to share.
sqlite3* OpenForCheck(const std::string& path, FileLayout* layout, std::string* why) {
  sqlite3* db = nullptr;
  int status = B_NO_ERROR;
  // A check changes nothing; a process that may not write the file does not
  // even create the log or index beside it.
  const bool writable = os::CheckFileWritable(path) == os::Fail::kNone;
  const char* mode = writable ? "mode=ro" : (SqliteTable::CompanionsExist(path) ? "readonly_shm=1" : "immutable=1");
  int rc = sqlite3_open_v2(SqliteTable::Uri(path, mode).c_str(), &db,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) rc = SqliteTable::ReadHeader(db, layout, &status);
  if (rc != SQLITE_OK && (SqliteTable::NeedsImmutableRetry(rc) || (!writable && rc == SQLITE_PROTOCOL))) {
    sqlite3_close_v2(db);
    db = nullptr;
    rc = sqlite3_open_v2(SqliteTable::Uri(path, "immutable=1").c_str(), &db,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) rc = SqliteTable::ReadHeader(db, layout, &status);
  }
  if (rc != SQLITE_OK || status != B_NO_ERROR) {
    *why = rc != SQLITE_OK ? std::string("cannot read the file: ") + sqlite3_errstr(rc)
                           : "not a record file of this engine";
    sqlite3_close_v2(db);
    return nullptr;
  }
  return db;
}

void CheckStorage(sqlite3* db, CheckReport& report) {
  Statement check;
  if (check.Prepare(db, "PRAGMA integrity_check") != SQLITE_OK) {
    report.Problem(std::string("storage: ") + sqlite3_errmsg(db));
    return;
  }
  StatementUse use(check);
  int rc;
  while ((rc = sqlite3_step(*use)) == SQLITE_ROW) {
    const char* line = reinterpret_cast<const char*>(sqlite3_column_text(*use, 0));
    if (line != nullptr && std::string(line) != "ok") report.Problem(std::string("storage: ") + line);
  }
  if (rc != SQLITE_DONE) report.Problem(std::string("storage: ") + sqlite3_errstr(rc));
}

void CheckRecords(sqlite3* db, const FileLayout& layout, CheckReport& report) {
  Statement rows;
  if (rows.Prepare(db, CheckRowsSql(Dialect(), layout)) != SQLITE_OK) {
    report.Problem(std::string("records: ") + sqlite3_errmsg(db));
    return;
  }
  StatementUse use(rows);
  int rc;
  std::vector<StoredKey> keys(layout.keys.size());
  while ((rc = sqlite3_step(*use)) == SQLITE_ROW) {
    for (size_t k = 0; k < layout.keys.size(); ++k) {
      const int col = 2 + 2 * static_cast<int>(k);
      keys[k].null = sqlite3_column_type(*use, col) == SQLITE_NULL;
      const char* blob = static_cast<const char*>(sqlite3_column_blob(*use, col));
      keys[k].value.assign(blob != nullptr ? blob : "", static_cast<size_t>(sqlite3_column_bytes(*use, col)));
      keys[k].hasPlace = sqlite3_column_type(*use, col + 1) == SQLITE_INTEGER;
    }
    CheckStoredRecord(layout, sqlite3_column_int64(*use, 0),
                      static_cast<const uint8_t*>(sqlite3_column_blob(*use, 1)),
                      static_cast<uint32_t>(sqlite3_column_bytes(*use, 1)), keys.data(), report);
  }
  if (rc != SQLITE_DONE) report.Problem(std::string("records: ") + sqlite3_errstr(rc));
}

// Unique keys hold each value once (the index enforces it; a damaged index
// might not).
void CheckUnique(sqlite3* db, const FileLayout& layout, CheckReport& report) {
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    if (layout.keys[k].duplicates) continue;
    const std::string col = KeyColumn(k);
    Statement dup;
    if (dup.Prepare(db, "SELECT count(*) FROM (SELECT 1 FROM records NOT INDEXED WHERE " + col +
                            " IS NOT NULL GROUP BY " + col + " HAVING count(*) > 1)") != SQLITE_OK) {
      report.Problem(std::string("key ") + std::to_string(k) + ": " + sqlite3_errmsg(db));
      continue;
    }
    StatementUse use(dup);
    if (sqlite3_step(*use) == SQLITE_ROW && sqlite3_column_int64(*use, 0) > 0) {
      report.Problem("key " + std::to_string(k) + ": " + std::to_string(sqlite3_column_int64(*use, 0)) +
                     " values stored more than once on a unique key");
    }
  }
}

}  // namespace

int CheckFile(const std::string& path, BtrCheckSink sink, void* ctx) {
  CheckReport report(sink, ctx);
  if (!os::IsRegularFile(path)) {
    report.Problem("not a regular file: " + path);
    return -1;
  }
  // The process's locks of the file stay open while the check's connection
  // is: closing them under it would drop its locks.
  std::shared_ptr<FileLocks> locks;
  if (FileLocks::Acquire(path, &locks) != B_NO_ERROR) {
    report.Problem("cannot open " + path + ": " + os::LastErrorText());
    return -1;
  }
  FileLayout layout;
  std::string why;
  sqlite3* db = OpenForCheck(path, &layout, &why);
  if (db == nullptr) {
    report.Problem(why);
    return -1;
  }
  sqlite3_busy_timeout(db, 5000);
  CheckStorage(db, report);
  CheckRecords(db, layout, report);
  CheckUnique(db, layout, report);
  sqlite3_close_v2(db);
  return report.count();
}

}  // namespace recman::sqlite
