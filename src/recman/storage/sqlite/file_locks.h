// The locks this process holds on one SQLite record file: the open-mode
// claim and the record locks, through one handle on the file that stays
// open while any connection of the process has the file open (closing a
// descriptor of a file drops the POSIX locks of every other descriptor of
// it in the process, SQLite's among them).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "recman/os/os.h"

namespace recman::sqlite {

class FileLocks {
 public:
  // The process's locks of the file at canonical path, opening its handle
  // when no connection of the process has the file open. Returns 0 and the
  // locks, or the status why the file cannot be opened (12, 46, 2).
  // Whoever holds the result keeps the handle open: hold it for as long as
  // a connection to the file is open, and release it after closing that.
  static int Acquire(const std::string& path, std::shared_ptr<FileLocks>* out);

  // For a Create that replaces the existing file at path: 0 and locks whose
  // exclusive claim keeps every process (this one included) from opening
  // the file until they are released; 85 when any process has it open.
  static int LockForReplace(const std::string& path, std::shared_ptr<FileLocks>* out);

  // In a forked child: forgets every handle of the parent without closing it.
  static void ForgetAfterFork();

  explicit FileLocks(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // The claim of the process: shared while any client has the file open,
  // exclusive for an exclusive open. Counted: the claim goes with the last
  // Release. Returns 0, 85 (claimed exclusively elsewhere) or 88
  // (exclusive asked while others have it open), 46.
  // alone runs first, with the claim exclusive, when no other process has
  // the file open and no other connection of this one does.
  int ClaimShared(void (*alone)(const std::string& path) = nullptr);
  int ClaimExclusive();
  void DropExclusive();
  void ReleaseShared();

  // The mark of a transaction of this process that holds the file (its
  // write lock): taken after the write lock, dropped before it goes, so
  // that two marks never meet.
  void MarkTransaction();
  void UnmarkTransaction();

  // Record locks of the process: 0; 84 when another process holds the
  // record, 85 when another process's transaction holds the file; released;
  // held by another process.
  int TryLockRecord(int64_t pos);
  void ReleaseRecord(int64_t pos);
  bool LockedElsewhere(int64_t pos);

 private:
  // Drops one result of Acquire; the last closes the handle.
  static void Release(FileLocks* locks);

  const std::string path_;  // canonical path
  std::mutex mu_;           // guards the handle and the counts
  os::LockHandle handle_;   // the process's handle on the file
  int shared_ = 0;          // connections that hold the shared claim
  bool exclusive_ = false;  // the claim is exclusive
  int users_ = 0;           // results of Acquire still held (guarded by the registry's mutex)
  bool replacing_ = false;  // held for a Create that replaces the file: nobody may open it
  bool marked_ = false;     // a transaction of this process holds the file and marked it
};

}  // namespace recman::sqlite
