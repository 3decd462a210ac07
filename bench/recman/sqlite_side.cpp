// SQLite itself on the engine's own file, with the engine's own statements
// and the best settings for reading: the whole file mapped, one read
// transaction over each measured loop, statements prepared once. What the
// engine cannot beat, by construction; the ratio is the engine's cost.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "recman/format/file_layout.h"
#include "recman/storage/sqlite/schema.h"
#include "reclink/btrieve.h"
#include "side.h"

namespace bench {
namespace {

using recman::FileLayout;
namespace schema = recman::sqlite;

class Db {
 public:
  explicit Db(const std::string& path) {
    // Without memory statistics, as the engine starts SQLite (whichever side
    // starts it first, both run with this setting).
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    // One thread uses the connection, as the engine's own connections are
    // used: no mutex around each call, as the engine opens them too.
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      Fail("open " + path);
    }
    Exec("PRAGMA mmap_size = 1099511627776; PRAGMA cache_size = -65536; PRAGMA temp_store = MEMORY; "
         "PRAGMA synchronous = FULL");
  }
  ~Db() {
    for (sqlite3_stmt* s : stmts_) sqlite3_finalize(s);
    sqlite3_close(db_);
  }
  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql + ": " + sqlite3_errmsg(db_));
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
      Fail(sql + ": " + sqlite3_errmsg(db_));
    }
    stmts_.push_back(s);
    return s;
  }
  sqlite3* handle() const { return db_; }
  FileLayout Layout() {
    sqlite3_stmt* s = Prepare(schema::ReadHeaderSql());
    if (sqlite3_step(s) != SQLITE_ROW) Fail("no header");
    FileLayout layout;
    if (recman::ParseLayout(static_cast<const uint8_t*>(sqlite3_column_blob(s, 2)),
                            static_cast<uint32_t>(sqlite3_column_bytes(s, 2)), &layout) != 0) {
      Fail("bad header");
    }
    sqlite3_reset(s);
    return layout;
  }

 private:
  sqlite3* db_ = nullptr;              // owned
  std::vector<sqlite3_stmt*> stmts_;   // owned
};

// The row a statement stands on, handed over as the engine hands it: the
// record into the caller's buffer, the key into a key buffer.
void Deliver(sqlite3_stmt* s, char* out, char* key) {
  std::memcpy(out, sqlite3_column_blob(s, 2), static_cast<size_t>(sqlite3_column_bytes(s, 2)));
  if (key != nullptr) std::memcpy(key, out, kKey0Length);
}

class SqliteSide final : public Side {
 public:
  std::string name() const override { return "sqlite"; }

  void Open(const Workload&, const std::string& dir) override {
    // The engine's file: the engine side builds it first.
    db_ = std::make_unique<Db>(dir + "/engine.btr");
    layout_ = db_->Layout();
    equal_ = db_->Prepare(recman::SeekSql(schema::Dialect(), layout_, 0, recman::Seek::kEqual));
    greaterEq_ = db_->Prepare(recman::SeekSql(schema::Dialect(), layout_, 0, recman::Seek::kGreaterEq));
    walkKey_ = db_->Prepare(schema::WalkSql(layout_, 0, true));
    walkPositions_ = db_->Prepare(schema::StepWalkSql(true));
    const std::string k = recman::KeyColumn(0);
    walkIndex_ = db_->Prepare("SELECT pos, " + k + " FROM records INDEXED BY key0 WHERE " + k + " > ?1 ORDER BY " + k);
    db_->Exec("BEGIN");
  }

  void Close() override {
    if (blob_ != nullptr) sqlite3_blob_close(blob_);
    blob_ = nullptr;
    db_->Exec("COMMIT");
    db_.reset();
  }

  void GetEqual(const std::string& key, char* out) override {
    sqlite3_bind_blob(equal_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (sqlite3_step(equal_) != SQLITE_ROW) Fail("Get Equal found nothing");
    Deliver(equal_, out, key_);
    sqlite3_reset(equal_);
  }

  bool GetGreaterOrEqual(const std::string& key, char* out) override {
    sqlite3_bind_blob(greaterEq_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    const bool found = sqlite3_step(greaterEq_) == SQLITE_ROW;
    if (found) Deliver(greaterEq_, out, key_);
    sqlite3_reset(greaterEq_);
    return found;
  }

  uint64_t WalkKey(char* out) override {
    const std::string start(kKey0Length, '\0');
    sqlite3_bind_blob(walkKey_, 1, start.data(), static_cast<int>(start.size()), SQLITE_STATIC);
    uint64_t n = 0;
    for (; sqlite3_step(walkKey_) == SQLITE_ROW; ++n) Deliver(walkKey_, out, key_);
    sqlite3_reset(walkKey_);
    return n;
  }

  uint64_t WalkPositions(char* out) override {
    sqlite3_bind_int64(walkPositions_, 1, 0);
    uint64_t n = 0;
    for (; sqlite3_step(walkPositions_) == SQLITE_ROW; ++n) Deliver(walkPositions_, out, nullptr);
    sqlite3_reset(walkPositions_);
    return n;
  }

  // The key's index walked alone (it holds the key and the position), and
  // each record read in place by its position straight into out: one copy
  // where a statement's column makes two, no version read. What no walk in
  // key order over records kept in position order can undercut.
  uint64_t WalkKeyLeast(char* out) override {
    const std::string start(kKey0Length, '\0');
    sqlite3_bind_blob(walkIndex_, 1, start.data(), static_cast<int>(start.size()), SQLITE_STATIC);
    uint64_t n = 0;
    for (; sqlite3_step(walkIndex_) == SQLITE_ROW; ++n) {
      const sqlite3_int64 pos = sqlite3_column_int64(walkIndex_, 0);
      const int rc = blob_ == nullptr ? sqlite3_blob_open(db_->handle(), "main", "records", "data", pos, 0, &blob_)
                                      : sqlite3_blob_reopen(blob_, pos);
      if (rc != SQLITE_OK || sqlite3_blob_read(blob_, out, sqlite3_blob_bytes(blob_), 0) != SQLITE_OK) {
        Fail("reading the record at position " + std::to_string(pos) + " in place");
      }
      std::memcpy(key_, sqlite3_column_blob(walkIndex_, 1), kKey0Length);
    }
    sqlite3_reset(walkIndex_);
    return n;
  }

  void PrepareInsert(const Workload&, const std::string& dir) override {
    // A file the engine made, emptied.
    insertPath_ = dir + "/sqlite-insert.btr";
    RemoveRecordFile(insertPath_);
    CopyEmpty(dir + "/engine-insert.btr", insertPath_);
  }

  void Insert(const Workload& w, const std::vector<uint32_t>& numbers, uint32_t batch) override {
    // The engine's INSERT.
    Db db(insertPath_);
    sqlite3_stmt* insert = db.Prepare(schema::InsertSql(db.Layout()));
    for (size_t i = 0; i < numbers.size(); ++i) {
      if (batch > 1 && i % batch == 0) db.Exec("BEGIN IMMEDIATE");
      const std::vector<char> r = Record(w, numbers[i]);
      sqlite3_bind_blob(insert, 1, r.data(), static_cast<int>(r.size()), SQLITE_STATIC);
      sqlite3_bind_blob(insert, 2, r.data(), kKey0Length, SQLITE_STATIC);
      sqlite3_bind_blob(insert, 3, r.data() + kKey1Offset, kKey1Length, SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) Fail("INSERT");
      sqlite3_reset(insert);
      if (batch > 1 && (i % batch == batch - 1 || i + 1 == numbers.size())) db.Exec("COMMIT");
    }
  }

 private:
  // The engine's empty file of the same layout, copied byte for byte (the
  // engine side made it for its own insert run; its records are removed).
  static void CopyEmpty(const std::string& from, const std::string& to) {
    Db source(from);
    source.Exec("VACUUM INTO '" + to + "'");
    Db copy(to);
    copy.Exec("DELETE FROM records; DELETE FROM sqlite_sequence; PRAGMA journal_mode = WAL");
  }

  std::unique_ptr<Db> db_;    // the engine's file
  FileLayout layout_;         // as its header says
  sqlite3_stmt* equal_ = nullptr;          // the engine's Get Equal on key 0
  sqlite3_stmt* greaterEq_ = nullptr;      // its Get Greater or Equal
  sqlite3_stmt* walkKey_ = nullptr;        // its walk along key 0
  sqlite3_stmt* walkPositions_ = nullptr;  // its walk in position order
  sqlite3_stmt* walkIndex_ = nullptr;      // key 0's index alone, for WalkKeyLeast
  sqlite3_blob* blob_ = nullptr;           // the record WalkKeyLeast reads in place
  char key_[B_MAX_KEY_LENGTH] = {};        // the key buffer
  std::string insertPath_;                 // the file PrepareInsert made
};

}  // namespace

std::unique_ptr<Side> MakeSqliteSide() { return std::make_unique<SqliteSide>(); }

}  // namespace bench
