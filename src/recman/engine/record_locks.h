// Record locks: what the position blocks of this process hold on the records
// of one file, the rules between them, and the backend's lock on each
// record held, which keeps every other process out (and goes when this one
// dies).
//
// Each block holds its own locks: at most one single-record lock (a new one
// replaces it), any number of multiple-record locks, never both kinds. Blocks
// of one client may lock the same record; a record is free for another
// client only when every block that locked it has let go. Reads without a
// lock are never refused; a lock request or a write of another client on a
// locked record gives 84.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "recman/storage/storage.h"

namespace recman {

class Client;
struct Cursor;

enum class LockKind : uint8_t {
  kNone,      // no lock asked
  kSingle,    // +100 wait, +200 no-wait
  kMultiple,  // +300 wait, +400 no-wait
};

// What a call's lock bias (0, 100, 200, 300, 400) asks.
struct LockRequest {
  LockKind kind = LockKind::kNone;  // which lock, if any
  bool wait = false;                // wait for a record another client holds
};
LockRequest RequestOf(uint16_t lockBias);

// The locks of one file in this process. Every call takes the locks' own
// mutex after the caller's table mutex, and reaches the backend through the
// table of the client whose blocks hold the record (whose mutex the caller
// holds: the caller is one of them, or is ending their client's
// transaction).
class RecordLocks {
 public:
  // Locks the record at pos for cursor. Returns 0; 84 when another client
  // (of this process or another) holds it; 85 when another client's
  // transaction (likewise) holds the file; 93 when the block holds locks of
  // the other kind. inTransaction: the lock goes at End or Abort.
  // On 84 and 85, *holder (when given) is the client of this process in
  // the way, or null for another process.
  int Lock(Cursor& cursor, int64_t pos, LockKind kind, bool inTransaction,
           const Client** holder = nullptr);

  // Whether a write of cursor's client on pos must give 84: another client
  // of this process or another process holds the record.
  bool HeldAgainst(const Cursor& writer, int64_t pos);

  // Unlock: the block's single lock (kSingle), its multiple lock on pos
  // (kMultiple), or all its multiple locks (kMultiple, pos 0). Returns 0, or
  // 81 when the block holds nothing of that to release.
  int Unlock(const Cursor& cursor, LockKind kind, int64_t pos);

  // After cursor wrote the record at pos: an Update lets go of the block's
  // single lock on it, a Delete of every lock the block held on it.
  void ReleaseAfterWrite(const Cursor& cursor, int64_t pos, bool deleted);

  // Close, Reset, Stop: every lock of the block.
  void ReleaseAll(const Cursor& cursor);

  // The client's transaction has joined the file (holder) or ended (null).
  // Ending releases every lock its blocks took inside it.
  void SetTransaction(const Client* holder);
  // The client of this process whose transaction holds the file, or null.
  const Client* TransactionHolder();
  // Whether client holds a lock on the record at pos, or with pos 0 the
  // file in its transaction.
  bool Holds(const Client* client, int64_t pos);
  void EndTransaction(const Client& client);

 private:
  // One lock of one block.
  struct Held {
    int64_t pos;          // the record's position
    uint64_t cursor;      // the block (its cursor id)
    const Client* client; // the block's client
    Table* table;         // the client's table of the file: where the backend's lock was taken
    LockKind kind;        // single or multiple
    bool inTransaction;   // taken inside the client's transaction: goes at End or Abort
    uint64_t epoch;       // the table's lock epoch when it was taken
  };

  // Removes held_[i]; the process's last lock on its record lets the
  // backend's go.
  void Drop(size_t i);
  // Removes every lock for which goes(lock) holds; the number removed.
  template <typename Pred>
  int DropWhere(Pred goes);

  std::mutex mu_;                        // guards everything below
  std::vector<Held> held_;               // every lock of the process on the file
  const Client* transaction_ = nullptr;  // the client whose transaction holds the file, if any
};

}  // namespace recman
