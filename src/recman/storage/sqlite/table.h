// One record file kept in SQLite, as one client reaches it: a connection of
// its own (so that clients' transactions stay apart), its prepared
// statements, and the read snapshot it keeps between calls. Its work is
// split by concern: opening (table.cpp), the read snapshot
// (table_snapshots.cpp), reads, writes and the client's transaction
// (table_reads.cpp, table_writes.cpp, table_transaction.cpp).
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recman/storage/sqlite/file_locks.h"
#include "recman/storage/sqlite/snapshots.h"
#include "recman/storage/sqlite/statement.h"
#include "recman/storage/storage.h"

namespace recman::sqlite {

class SqliteSession;

class SqliteTable final : public Table {
 public:
  using Clock = SnapshotReaper::Clock;

  // Opens the file at the canonical path for session, with the process's
  // shared claim on it taken first (so that a Create replacing the file
  // keeps it out). Returns 0 and the table, or 12, 30, 46, 85, 2.
  static int Open(SqliteSession& session, const std::string& path, std::unique_ptr<SqliteTable>* out);
  ~SqliteTable() override;

  // Reads and checks the identification row of db. Returns the SQLite code
  // of a failure, or SQLITE_OK with *status 0 (layout filled) or 30.
  static int ReadHeader(sqlite3* db, FileLayout* layout, int* status);
  // True when SQLite result rc means the WAL index cannot be set up (a
  // read-only medium, or an index this process may not create): the file
  // can still be read as it stands.
  static bool NeedsImmutableRetry(int rc);
  // True when the log and index a writer keeps beside the file are there.
  static bool CompanionsExist(const std::string& path);
  // The URI that opens path with the query parameter param.
  static std::string Uri(const std::string& path, const char* param);

  const std::string& path() const { return path_; }
  sqlite3* db() const { return db_; }
  FileLocks& locks() { return *locks_; }

  // Table: the file and its claims (table.cpp).
  const FileLayout& layout() const override { return layout_; }
  uint8_t fileVersion() const override;
  Session& session() override;
  bool writable() const override { return writable_; }
  void SetDurable(bool full) override;
  void EndCall() override;
  int TryClaim(bool exclusive) override;
  int TryLockRecord(int64_t pos) override { return locks_->TryLockRecord(pos); }
  void ReleaseRecord(int64_t pos) override { locks_->ReleaseRecord(pos); }
  bool LockedElsewhere(int64_t pos) override { return locks_->LockedElsewhere(pos); }
  uint64_t lockEpoch() const override { return 0; }  // the process's own locks: never lost while open

  // Reads (table_reads.cpp): one record by position, along a key or in
  // physical order, many at once; counts and the record n from a path's
  // start; the owner.
  int ReadAt(int64_t pos, int key, Row* row) override;
  int Seek(size_t key, recman::Seek seek, const std::string& value, int64_t seq, uint64_t walker,
           Row* row) override;
  int Step(recman::Step step, int64_t from, uint64_t walker, Row* row) override;
  int Scan(int key, bool forward, std::string value, int64_t seq, int64_t from, uint64_t walker,
           ScanVisitor& visitor) override;
  int ReadNth(int key, uint64_t n, Row* row) override;
  int CountRecords(uint64_t* n) override;
  int CountValues(size_t key, uint64_t* n) override;
  int CountOnPath(int key, bool before, const std::string& value, int64_t seq, int64_t pos,
                  uint64_t* n) override;
  int ReadOwner(Owner* owner) override;

  // Writes (table_writes.cpp): records, then what they need (the record as
  // stored, places among duplicates, autoincrement values), then the file's
  // owner and keys.
  int BeginWrite(Access access) override;
  int FinishWrite(bool commit, Access access) override;
  int Insert(const uint8_t* data, uint32_t length, const EncodedKeys& keys, int64_t* pos) override;
  int Update(int64_t pos, const uint8_t* data, uint32_t length, const EncodedKeys& keys,
             const std::vector<int64_t>& seqs) override;
  int Delete(int64_t pos, int64_t ver) override;
  int ReadForUpdate(int64_t pos, int64_t* ver, std::string* data, std::vector<int64_t>* seqs) override;
  int NewSequence(int64_t* seq) override;
  int HighestValue(size_t key, std::string* value) override;
  int WriteOwner(const Owner& owner) override;
  int AddKey(const FileLayout& to) override;
  int DropKey(const FileLayout& to, size_t key) override;

  // The client's transaction (table_transaction.cpp).
  int Join(bool wait) override;
  bool joined() const override { return joined_; }

  // --- for the session, which ends the client's transaction. The caller
  // holds the table's mutex.
  bool written() const { return written_; }   // written since it joined
  int lost() const { return lost_; }          // status of a failure that undid the transaction here
  int Commit();                               // COMMIT; the SQLite code
  void Rollback();                            // ROLLBACK, if a transaction is open
  // Undoes the client's transaction here, except that the positions it
  // handed out are never handed out again.
  void Abandon();
  void Unjoin();                              // the transaction is over here
  // The transaction is ending here: other processes' lock requests no
  // longer meet its mark. Before the write lock goes (commit or undo).
  void Unmark();
  bool InSqlTransaction() const { return !sqlite3_get_autocommit(db_); }

  // --- for the reaper: ends the snapshot if it began before `before` and
  // returns nothing; otherwise returns when the open snapshot began.
  std::optional<Clock::time_point> EndSnapshotIfOlder(Clock::time_point before);

 private:
  SqliteTable(SqliteSession& session, std::string path) : session_(session), path_(std::move(path)) {}

  // A statement stepped along between calls within one snapshot.
  struct Walk {
    Statement stmt;         // the walk's statement (prepared on first use)
    uint64_t owner = 0;     // the walker it stands for (0: none)
    uint64_t snapshot = 0;  // the snapshot it was started in
    std::string atValue;    // encoded key of the record it returned last (key walks)
    int64_t atSeq = 0;      // that record's place among duplicates, or its position (physical walks)
  };

  int OpenConnection(bool forWriting);
  // Finalizes every statement (ending the call and the snapshot first);
  // makes room for the statements of the layout's keys.
  void ForgetStatements();
  void SizeStatements();
  // A change of the file's keys: change() runs the statements (returning
  // a status) within one write that also stores to's image; on 0 the table
  // reads by to.
  int ChangeKeys(const FileLayout& to, const std::function<int()>& change);
  // The prepared statement s, prepared on first use from the SQL that sql()
  // makes (no text is made on later calls). Returns the SQLite code.
  template <typename MakeSql>
  int Ready(Statement& s, MakeSql&& sql) {
    return s.get() != nullptr ? SQLITE_OK : s.Prepare(db_, sql());
  }
  // Leaves the statement stepped until the end of the call (its row is read
  // by the caller), then resets it.
  sqlite3_stmt* Hold(const Statement& s);
  // Status of a failed step rc; notes when SQLite undid the client's
  // transaction on its own (disk full, I/O).
  int Failure(int rc, Access access);
  // Reads outside a transaction share one snapshot across calls while no
  // commit has happened since it began and it is young.
  void PrepareRead();
  void EndSnapshot();
  bool MapWalIndex();
  void ApplyBudget();
  // Takes the file's write lock (BEGIN IMMEDIATE) with nothing left to
  // settle: what a transaction over several files left here is settled and
  // committed first, so that no write ever lands on records such a
  // transaction may still have to put back. Returns 0 or a status (85 after
  // the wait, also when a coordinator cannot be asked within it).
  int TakeWriteLock(Access access);
  // At Open: what a process that stopped while ending a transaction over
  // several files left in this file, as participant and as coordinator.
  void SettleLeftovers();
  // Inside a transaction over several files: keeps what undo needs before
  // record pos is written (inserted: that it did not exist).
  int NoteWrite(int64_t pos, bool inserted);
  int RunControl(Statement& s, const char* sql);
  // The last number the position counter handed out, or -1 on failure.
  int64_t HandedOut();

  SqliteSession& session_;           // the client's session; outlives the table
  const std::string path_;           // canonical path
  std::shared_ptr<FileLocks> locks_; // the process's locks of the file; released after db_ closes
  bool claimed_ = false;             // holds a count of the process's shared claim
  bool exclusive_ = false;           // holds the exclusive claim
  FileLayout layout_;                // as read from the file
  sqlite3* db_ = nullptr;            // owned connection
  bool writable_ = true;             // storage accepts writes
  bool durable_ = true;              // synchronous FULL in force
  bool joined_ = false;              // part of the client's transaction
  bool marked_ = false;              // its transaction marked the file (FileLocks)
  bool written_ = false;             // written since it joined
  int lost_ = 0;                     // status of a failure that undid the joined transaction
  bool ownWrite_ = false;            // BeginWrite opened an SQLite transaction of its own
  uint64_t budgetGeneration_ = 0;    // the budget share last applied

  bool snapshotOpen_ = false;            // a read transaction is held across calls
  uint64_t snapshotGeneration_ = 0;      // counts snapshots begun
  Clock::time_point snapshotSince_;      // when it began
  unsigned char snapshotHeader_[48] = {};  // WAL index header seen when it began
  const unsigned char* shm_ = nullptr;   // SQLite's mapping of the WAL index (not owned)

  sqlite3_stmt* held_ = nullptr;         // statement left stepped for the call's reader
  std::vector<Statement> seek_;          // by SeekSlot
  std::vector<Walk> walks_;              // by DirectedSlot of path and backward
  std::vector<Statement> scans_;         // as walks_: the statements of Scan
  Statement step_[kStepCount];           // physical order
  Statement row_, insert_, update_, erase_, nextSeq_, count_, pending_;  // record work
  std::vector<Statement> countValues_;   // per key
  std::vector<Statement> countOnPath_;   // by DirectedSlot of path and before
  std::vector<Statement> nth_;           // by PathOf
  Statement saveBefore_, saveInserted_;  // undo images for transactions over several files
  Statement begin_, beginRead_, commit_, rollback_;  // control
  Statement savepoint_, rollbackTo_;     // where the client's transaction began here
  Statement hasOwner_, readOwner_;       // the file's owner (ReadOwner)
};

}  // namespace recman::sqlite
