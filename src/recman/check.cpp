// Verification of one record file without changing it: SQLite's own
// integrity check (pages, indexes against rows), then every record's length
// and every key column recomputed from the record bytes.
#include <sqlite3.h>

#include <string>

#include "recman/engine.h"
#include "recman/key_codec.h"
#include "recman/os.h"
#include "recman/path.h"
#include "recman/record_file.h"
#include "recman/schema.h"
#include "recman/statement.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace recman {
namespace {

// Collects problems for the caller's sink.
class Report {
 public:
  Report(BtrCheckSink sink, void* ctx) : sink_(sink), ctx_(ctx) {}
  void Problem(const std::string& text) {
    ++count_;
    if (sink_ != nullptr) sink_(ctx_, text.c_str());
  }
  int count() const { return count_; }

 private:
  BtrCheckSink sink_;  // the caller's receiver, may be null
  void* ctx_;          // handed back to sink_
  int count_ = 0;      // problems so far
};

// Opens path for reading only; on a read-only medium as immutable.
sqlite3* OpenForCheck(const std::string& path, FileLayout* layout, std::string* why) {
  sqlite3* db = nullptr;
  int status = B_NO_ERROR;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) rc = RecordFile::ReadHeader(db, layout, &status);
  if (rc != SQLITE_OK && RecordFile::NeedsImmutableRetry(rc)) {
    sqlite3_close_v2(db);
    db = nullptr;
    rc = sqlite3_open_v2(RecordFile::ImmutableUri(path).c_str(), &db,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) rc = RecordFile::ReadHeader(db, layout, &status);
  }
  if (rc != SQLITE_OK || status != B_NO_ERROR) {
    *why = rc != SQLITE_OK ? std::string("cannot read the file: ") + sqlite3_errstr(rc)
                           : "not a record file of this engine";
    sqlite3_close_v2(db);
    return nullptr;
  }
  return db;
}

void CheckStorage(sqlite3* db, Report& report) {
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

void CheckRecords(sqlite3* db, const FileLayout& layout, Report& report) {
  std::string sql = "SELECT pos, data";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += ", " + KeyColumn(k);
    sql += layout.keys[k].duplicates ? ", " + SeqColumn(k) : std::string(", 0");
  }
  sql += " FROM records NOT INDEXED ORDER BY pos";
  Statement rows;
  if (rows.Prepare(db, sql) != SQLITE_OK) {
    report.Problem(std::string("records: ") + sqlite3_errmsg(db));
    return;
  }
  StatementUse use(rows);
  int rc;
  std::string expected;
  while ((rc = sqlite3_step(*use)) == SQLITE_ROW) {
    const int64_t pos = sqlite3_column_int64(*use, 0);
    const std::string where = "record at position " + std::to_string(pos) + ": ";
    const uint8_t* data = static_cast<const uint8_t*>(sqlite3_column_blob(*use, 1));
    const uint32_t length = static_cast<uint32_t>(sqlite3_column_bytes(*use, 1));
    if (pos <= 0 || pos > static_cast<int64_t>(UINT32_MAX)) report.Problem(where + "position out of range");
    const bool lengthOk = layout.variableLength ? length >= layout.recordLength
                                                : length == layout.recordLength;
    if (!lengthOk || data == nullptr) {
      report.Problem(where + "length " + std::to_string(length) + ", the file's records have " +
                     std::to_string(layout.recordLength));
      if (length < layout.recordLength || data == nullptr) continue;  // keys cannot be read
    }
    for (size_t k = 0; k < layout.keys.size(); ++k) {
      const int col = 2 + 2 * static_cast<int>(k);
      const bool present = EncodeFromRecord(layout.keys[k], data, &expected);
      const bool storedNull = sqlite3_column_type(*use, col) == SQLITE_NULL;
      const char* blob = static_cast<const char*>(sqlite3_column_blob(*use, col));
      const std::string stored = blob == nullptr ? std::string()
                                                 : std::string(blob, static_cast<size_t>(sqlite3_column_bytes(*use, col)));
      if (present == storedNull || (present && stored != expected)) {
        report.Problem(where + "key " + std::to_string(k) + " in the index differs from the record");
      }
      if (layout.keys[k].duplicates && sqlite3_column_type(*use, col + 1) != SQLITE_INTEGER) {
        report.Problem(where + "key " + std::to_string(k) + " has no duplicate order");
      }
    }
  }
  if (rc != SQLITE_DONE) report.Problem(std::string("records: ") + sqlite3_errstr(rc));
}

// Unique keys hold each value once (the index enforces it; a damaged index
// might not).
void CheckUnique(sqlite3* db, const FileLayout& layout, Report& report) {
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
}  // namespace recman

extern "C" int BtrCheckFile(const char* path, BtrCheckSink sink, void* ctx) {
  using namespace recman;
  Report report(sink, ctx);
  try {
    // While the check's connection is open, no file of the engine may close:
    // the engine's close of its own descriptors would drop this connection's
    // locks (POSIX locks belong to the process, not to the descriptor).
    std::lock_guard<std::mutex> guard(Engine::Instance().mutex());
    const std::string name = NameFromKeyBuffer(path, path ? 4096 : 0);
    if (name.empty()) {
      report.Problem("no file name");
      return -1;
    }
    if (!os::IsRegularFile(name)) {
      report.Problem("not a regular file: " + name);
      return -1;
    }
    FileLayout layout;
    std::string why;
    sqlite3* db = OpenForCheck(name, &layout, &why);
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
  } catch (...) {
    report.Problem("out of memory");
    return -1;
  }
}
