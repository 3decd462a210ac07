// One record file as this process holds it: one SQLite connection shared by
// every position block that opened the file, with its prepared statements.
#pragma once

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "recman/file_layout.h"
#include "recman/os.h"
#include "recman/schema.h"
#include "recman/statement.h"

namespace recman {

// A walk statement left stepping between calls, inside one read snapshot.
struct Walk {
  Statement stmt;         // WalkSql of its key and direction
  uint64_t owner = 0;     // id of the cursor it stands for (0: none)
  uint64_t snapshot = 0;  // the snapshot it was started in
};

// Statements of one key path.
struct KeyStatements {
  std::array<Statement, kSeekCount> seek;  // indexed by Seek
  Walk forward;                            // Get Next within a snapshot
  Walk backward;                           // Get Previous within a snapshot
};

class RecordFile {
 public:
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Opens the file at the canonical path, with the shared open-mode claim
  // taken first (so that a Create replacing the file keeps it out). Returns 0
  // and the file, or 12 missing, 30 not ours, 46 no access, 85 busy (held
  // exclusively elsewhere), 2 unreadable.
  static int Open(const std::string& path, std::unique_ptr<RecordFile>* out);

  // Reads and checks the identification row of db. Returns the SQLite code
  // of a failure, or SQLITE_OK with *status 0 (layout filled) or 30.
  static int ReadHeader(sqlite3* db, FileLayout* layout, int* status);
  // True when SQLite result rc means the WAL index cannot be set up (a
  // read-only medium): the file can still be read as immutable.
  static bool NeedsImmutableRetry(int rc);
  // The URI that opens path read-only as immutable.
  static std::string ImmutableUri(const std::string& path);

  const std::string& path() const { return path_; }
  const FileLayout& layout() const { return layout_; }
  sqlite3* db() const { return db_; }
  // False when the storage cannot be written (read-only medium or file).
  bool writable() const { return writable_; }

  // Changes the process-wide claim on the file that open modes need from
  // shared to exclusive: 0, or 88 when others have it open.
  int ClaimExclusive();
  void DropExclusive();

  // In a forked child: lets go of the open-mode claim descriptor so that the
  // parent's claim ends with the parent's close. The connection is left alone.
  void DropClaimAfterFork();

  // Sets how hard commits go to disk: full (every commit synced) or normal
  // (accelerated: consistent after a crash, last commits may be lost).
  void SetDurable(bool full);

  // Reads outside the client's transaction share one read snapshot across
  // calls, so that a walk does not pay for a read transaction per record.
  // Before each read: keeps the snapshot while no commit has happened since
  // it was taken (the WAL index header is unchanged) and it is younger than
  // kSnapshotAge; otherwise starts afresh.
  void PrepareRead();
  // Ends the shared read snapshot (before writes, transactions, settings).
  void EndSnapshot();
  // Ends the snapshot if it is older than kSnapshotAge (the engine's reaper
  // calls this, so that an idle process does not hold back checkpoints).
  void EndSnapshotIfStale();
  static constexpr std::chrono::milliseconds kSnapshotAge{50};
  bool snapshotOpen() const { return snapshotOpen_; }
  // Changes whenever a new snapshot begins.
  uint64_t snapshotGeneration() const { return snapshotGeneration_; }
  Walk& WalkOf(size_t key, bool forward) { return forward ? keys_[key].forward : keys_[key].backward; }

  // Runs one control statement (begin, commit, ...). Returns the SQLite code.
  int BeginWrite() { return RunOnce(begin_); }
  int BeginRead() { return RunOnce(beginRead_); }
  int Commit() { return RunOnce(commit_); }
  int Rollback() { return RunOnce(rollback_); }
  bool InSqlTransaction() const { return !sqlite3_get_autocommit(db_); }

  const Statement& Seek(size_t key, recman::Seek s) const { return keys_[key].seek[static_cast<int>(s)]; }
  const Statement& StepStatement(recman::Step s) const { return step_[static_cast<int>(s)]; }
  const Statement& insert() const { return insert_; }
  const Statement& update() const { return update_; }
  const Statement& erase() const { return erase_; }
  const Statement& row() const { return row_; }
  const Statement& bumpSeq() const { return bumpSeq_; }
  const Statement& count() const { return count_; }
  const Statement& saveBefore() const { return saveBefore_; }
  const Statement& saveInserted() const { return saveInserted_; }

  // Open position blocks in this process, and how many of them are exclusive
  // or accelerated.
  int openCount = 0;         // position blocks that hold the file open
  int exclusiveCount = 0;    // of those, opened exclusive
  int acceleratedCount = 0;  // of those, opened accelerated
  bool inTransaction = false;  // joined the process's transaction
  bool txnWritten = false;     // written since it joined

 private:
  RecordFile() = default;
  int PrepareAll();

  std::string path_;     // canonical path
  FileLayout layout_;    // as read from the file
  sqlite3* db_ = nullptr;  // owned connection
  os::LockHandle lock_;  // holds the open-mode claim; closed after the connection
  bool writable_ = true;  // storage accepts writes
  bool durable_ = true;   // synchronous FULL in force
  bool snapshotOpen_ = false;  // a read transaction is held across calls
  uint64_t snapshotGeneration_ = 0;  // counts snapshots begun
  std::chrono::steady_clock::time_point snapshotSince_;  // when it began
  unsigned char snapshotHeader_[48] = {};  // WAL index header seen before it began
  const unsigned char* shm_ = nullptr;     // start of SQLite's mapping of the WAL index (not owned)
  bool MapWalIndex();
  std::unique_ptr<KeyStatements[]> keys_;  // one per key of the layout
  std::array<Statement, kStepCount> step_;  // physical order, by Step
  Statement insert_, update_, erase_, row_, bumpSeq_, count_;  // record work
  Statement saveBefore_, saveInserted_;  // undo images for transactions over several files
  Statement begin_, beginRead_, commit_, rollback_;  // control
};

}  // namespace recman
