// The boundary between what the classic interface means and where records
// are kept. The operations (currency, key encoding, statuses, locks,
// transactions as the client sees them) live above it; a backend (files on
// this machine, a PostgreSQL server) implements what is below.
//
// A Backend is one place records live (the record files of this machine,
// one server). A Session is what one client holds of a backend (its connections)
// and ends that client's transaction there. A Table is one record file as one
// client reaches it: every call on it runs with its mutex held.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recman/format/file_layout.h"
#include "recman/format/key_codec.h"
#include "recman/storage/access.h"
#include "reclink/recman_check.h"

namespace recman {

class Backend;
class Session;

// One stored record as storage hands it over. The bytes stay valid until
// the next call on the same table.
struct Row {
  int64_t pos = 0;                // position: the record's id, never reused
  int64_t ver = 0;                // version: 1 when inserted, one more per Update
  const uint8_t* data = nullptr;  // record bytes (not owned)
  uint32_t length = 0;            // bytes at data
  const uint8_t* key = nullptr;   // encoded value on the key read along (key reads only)
  uint32_t keyLength = 0;         // bytes at key
  int64_t seq = 0;                // place among duplicates on that key (0 on unique keys)
};

// Where a keyed read goes, from the value (and place) it is given.
enum class Seek : uint8_t { kFirst, kLast, kEqual, kGreaterEq, kGreater, kLessEq, kLess, kNext, kPrevious };
inline constexpr int kSeekCount = 9;

// Where a read in physical order goes.
enum class Step : uint8_t { kFirst, kLast, kNext, kPrevious };
inline constexpr int kStepCount = 4;

// Receives the records of a scan (Table::Scan) one by one.
class ScanVisitor {
 public:
  virtual ~ScanVisitor() = default;
  // The next record (its pos, data and length; valid during the call).
  // Returns false to end the scan there.
  virtual bool Visit(const Row& row) = 0;
};

// A file's owner name (Set Owner): who may open the file, and how.
struct Owner {
  std::string name;          // empty: the file has no owner
  bool readWithout = false;  // without the name the file opens for reading only
};

// A record file as a backend names it: the backend and a name unique to it
// (a canonical path; a server and a file name).
struct FileId {
  Backend* backend = nullptr;  // where the file lives (process-wide, never destroyed)
  std::string name;            // the backend's name of the file
  bool operator==(const FileId&) const = default;
};

// One record file as one client reaches it.
class Table {
 public:
  virtual ~Table() = default;
  Table() = default;
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Held for every call on the table (by the operations, the transaction
  // ending, the backend's own housekeeping).
  std::mutex& mutex() { return mu_; }
  virtual const FileLayout& layout() const = 0;
  // The version of the storage's format, as Stat reports it.
  virtual uint8_t fileVersion() const = 0;
  // The session this table belongs to.
  virtual Session& session() = 0;
  // False when the storage cannot be written (read-only medium or file).
  virtual bool writable() const = 0;
  // Sets how hard commits go to disk: full, or accelerated (consistent after
  // a crash, the last commits may be lost).
  virtual void SetDurable(bool full) = 0;
  // Ends a call on the table: lets go of what its reads held (a row handed
  // out is not valid after it).
  virtual void EndCall() = 0;

  // --- reads: 0 with *row filled, 9 when nothing qualifies (4 for Get
  // Equal), or another status. walker names the position block reading (0:
  // none), so that a backend may keep a scan open from one of its calls to
  // the next.

  // Along key `key`: value (encoded) and seq say where from (kFirst and
  // kLast ignore them; kNext and kPrevious go on from (value, seq)).
  virtual int Seek(size_t key, recman::Seek seek, const std::string& value, int64_t seq,
                   uint64_t walker, Row* row) = 0;
  // In physical (position) order from position `from`.
  virtual int Step(recman::Step step, int64_t from, uint64_t walker, Row* row) = 0;
  // The record at pos (43 when there is none); with key >= 0 also its place
  // on that key (row->seq).
  virtual int ReadAt(int64_t pos, int key, Row* row) = 0;
  // Many records in one call: visitor gets each record along key `key`
  // after (value, seq), or with key -1 each in physical order after
  // position `from`, forward or back, until it declines one (0) or the
  // records end (9). The rows carry pos, data and length only. This one
  // steps with Seek or Step as walker; a backend may read them in one go.
  virtual int Scan(int key, bool forward, std::string value, int64_t seq, int64_t from, uint64_t walker,
                   ScanVisitor& visitor) {
    const recman::Step step = forward ? recman::Step::kNext : recman::Step::kPrevious;
    const recman::Seek seek = forward ? recman::Seek::kNext : recman::Seek::kPrevious;
    for (Row row;;) {
      const int status = key < 0 ? Step(step, from, walker, &row)
                                 : Seek(static_cast<size_t>(key), seek, value, seq, walker, &row);
      if (status != 0) return status;
      from = row.pos;
      if (key >= 0) value.assign(reinterpret_cast<const char*>(row.key), row.keyLength), seq = row.seq;
      if (!visitor.Visit(row)) return 0;
    }
  }
  // Records stored; distinct non-null values of key `key`.
  virtual int CountRecords(uint64_t* n) = 0;
  virtual int CountValues(size_t key, uint64_t* n) = 0;
  // For scroll bars, both growing with the length of the path: the records
  // on the path of key `key` (physical order with key -1), all of them, or
  // with `before` those before (value, seq) on a key, before position pos
  // in physical order; and the record n records from the path's start (0:
  // the first), with its key and place on a key path (9 past the end).
  virtual int CountOnPath(int key, bool before, const std::string& value, int64_t seq, int64_t pos,
                          uint64_t* n) = 0;
  virtual int ReadNth(int key, uint64_t n, Row* row) = 0;
  // The owner the file has now, read afresh: another process may have
  // given it one since the table was opened.
  virtual int ReadOwner(Owner* owner) = 0;

  // --- writes. A write is framed by BeginWrite and FinishWrite: atomic,
  // and outside the client's transaction durable when FinishWrite(true)
  // returns 0; inside it, a failed write undoes only itself. access says
  // what a lock conflict concerns (85 file, 84 record).

  virtual int BeginWrite(Access access) = 0;
  virtual int FinishWrite(bool commit, Access access) = 0;
  // The highest value stored on key `key` (empty when none): autoincrement.
  virtual int HighestValue(size_t key, std::string* value) = 0;
  // Stores a new record; *pos receives its position, which is also its
  // place among duplicates on every key. 5 on a unique key's duplicate, 18
  // when the file is out of positions.
  virtual int Insert(const uint8_t* data, uint32_t length, const EncodedKeys& keys, int64_t* pos) = 0;
  // The stored record at pos for a change: version, bytes and places on
  // every key (80 when it is gone).
  virtual int ReadForUpdate(int64_t pos, int64_t* ver, std::string* data, std::vector<int64_t>* seqs) = 0;
  // A new place, after every other, for a record joining a group of duplicates.
  virtual int NewSequence(int64_t* seq) = 0;
  // Replaces the record at pos; its version goes up by one. 5 as Insert.
  virtual int Update(int64_t pos, const uint8_t* data, uint32_t length, const EncodedKeys& keys,
                     const std::vector<int64_t>& seqs) = 0;
  // Removes the record at pos if it still has version ver (80 otherwise).
  virtual int Delete(int64_t pos, int64_t ver) = 0;
  // Gives the file owner, or 50 when it has one already; an empty name
  // takes its owner away. Inside a write.
  virtual int WriteOwner(const Owner& owner) = 0;

  // --- the keys (Create and Drop Index): one write of their own, outside
  // any transaction, by a table that has the file to itself. AddKey gives
  // the file the keys of `to`, its layout with one key more, last, whose
  // values it takes from every record: 5 when that key is unique and two
  // records share a value. DropKey gives it the keys of `to`, its layout
  // without key `key`: the keys after it move down one. On 0 the table
  // reads and writes by `to` from then on; otherwise nothing changed.
  virtual int AddKey(const FileLayout& to) = 0;
  virtual int DropKey(const FileLayout& to, size_t key) = 0;

  // --- the client's transaction. Join takes the file's write lock for the
  // client (waiting as configured, or not at all unless wait; 85 when it is
  // held) and makes every later call on the table part of the transaction,
  // until the session ends it.
  virtual int Join(bool wait) = 0;
  virtual bool joined() const = 0;

  // --- claims and record locks, against other processes (other clients of
  // this process are the operations' business). TryClaim takes or changes
  // the table's claim on the whole file: shared while open, exclusive for an
  // exclusive open (88 when others have the file open).
  virtual int TryClaim(bool exclusive) = 0;
  // An exclusive lock on the record at pos: 0, 84 when another process
  // holds it, or 85 when another process's transaction holds the file (its
  // Join marks the file for others, until the session ends it). Release
  // drops it; LockedElsewhere says whether another process holds it.
  virtual int TryLockRecord(int64_t pos) = 0;
  virtual void ReleaseRecord(int64_t pos) = 0;
  virtual bool LockedElsewhere(int64_t pos) = 0;
  // Changes whenever the record locks the table took are lost behind its
  // back (a new connection to a server); the caller holds the table's mutex.
  virtual uint64_t lockEpoch() const = 0;

 private:
  std::mutex mu_;  // see mutex()
};

// What one client holds of one backend.
class Session {
 public:
  virtual ~Session() = default;
  // End: makes what the client's transaction did on tables (every one
  // joined, all of this session) permanent as one. Returns 0, or the status
  // of the failure after undoing all of it. Leaves the tables unjoined.
  virtual int Commit(const std::vector<Table*>& tables) = 0;
  // Abort: undoes it and leaves the tables unjoined.
  virtual void Rollback(const std::vector<Table*>& tables) = 0;
  // Whether something outside the process (a server that restarts) can
  // lose the transaction before End: such sessions commit first.
  virtual bool remote() const = 0;
};

// Keeps a record file's bytes on disk as they are, so that a backup can copy
// the file while it stays in use (continuous operation): writes go on
// meanwhile, and reach the file once the freeze is destroyed.
class FileFreeze {
 public:
  virtual ~FileFreeze() = default;
};

// One place where record files live. Backends are process-wide and live
// until the process ends.
class Backend {
 public:
  virtual ~Backend() = default;
  // A new session, for a client's first use of this backend.
  virtual std::shared_ptr<Session> NewSession() = 0;
  // Opens the file for a client's session: 0 and the table, or 12, 30, 46,
  // 85 (claimed exclusively elsewhere), 2.
  virtual int Open(Session& session, const std::string& name, std::unique_ptr<Table>* out) = 0;
  // Creates an empty file with layout: replace says whether an existing one
  // is overwritten (85 when any process has it open) or refused (59).
  virtual int Create(const std::string& name, const FileLayout& layout, bool replace) = 0;
  // Freezes the file (see FileFreeze) as it stands with every write
  // committed so far: 0, 30, 85 when writers keep it from settling within
  // the lock timeout, 2; 1 where the backend's files are not on this
  // machine, and a backup is the server's business.
  virtual int Freeze(const std::string& name, std::unique_ptr<FileFreeze>* out) = 0;
  // Checks the file without changing it; sink receives each problem. The
  // number of problems, or -1 when it cannot be read as a record file.
  virtual int Check(const std::string& name, BtrCheckSink sink, void* ctx) = 0;
  // In a forked child: forgets every resource inherited from the parent
  // without touching it.
  virtual void ForgetAfterFork() = 0;
  // Sets the memory that the backend's caches in this process take
  // together, in KiB (0: the default, see BtrSetMemoryBudget).
  virtual void SetMemoryBudgetKiB(uint64_t kib) = 0;
};

}  // namespace recman
