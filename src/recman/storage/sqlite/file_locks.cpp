#include "recman/storage/sqlite/file_locks.h"

#include "recman/storage/sqlite/status_map.h"
#include "reclink/btrieve.h"

namespace recman::sqlite {
namespace {

// The registry: every file with locks in this process. Acquiring and the
// last release both happen under its mutex, so that a handle is closed
// before another one of the same file can be opened.
std::mutex g_mu;                                                       // guards g_files
auto* g_files = new std::map<std::string, FileLocks*>;                 // by path; never destroyed

}  // namespace

void FileLocks::Release(FileLocks* locks) {
  std::lock_guard<std::mutex> guard(g_mu);
  if (--locks->users_ > 0) return;
  g_files->erase(locks->path());
  delete locks;  // closes the handle
}

int FileLocks::Acquire(const std::string& path, std::shared_ptr<FileLocks>* out) {
  std::lock_guard<std::mutex> guard(g_mu);
  FileLocks*& locks = (*g_files)[path];
  if (locks == nullptr) {
    auto made = std::make_unique<FileLocks>(path);
    const os::Fail f = made->handle_.Open(path);
    if (f != os::Fail::kNone) {
      g_files->erase(path);
      return StatusFromFail(f);
    }
    locks = made.release();
  }
  if (locks->replacing_) return B_FILE_INUSE;
  ++locks->users_;
  *out = std::shared_ptr<FileLocks>(locks, &FileLocks::Release);
  return B_NO_ERROR;
}

int FileLocks::LockForReplace(const std::string& path, std::shared_ptr<FileLocks>* out) {
  std::lock_guard<std::mutex> guard(g_mu);
  if (g_files->count(path) != 0) return B_FILE_INUSE;  // a connection of this process has it
  auto locks = std::make_unique<FileLocks>(path);
  os::Fail f = locks->handle_.Open(path);
  if (f == os::Fail::kNone) f = locks->handle_.TryClaim(true);
  if (f != os::Fail::kNone) return f == os::Fail::kBusy ? B_FILE_INUSE : StatusFromFail(f);
  locks->replacing_ = true;
  locks->users_ = 1;
  FileLocks* raw = locks.release();
  (*g_files)[path] = raw;
  *out = std::shared_ptr<FileLocks>(raw, &FileLocks::Release);
  return B_NO_ERROR;
}

void FileLocks::ForgetAfterFork() {
  // The parent's handles stay open in the child, unused: closing them would
  // not release the parent's locks, and nothing here needs them.
  g_files = new std::map<std::string, FileLocks*>;
  // A thread of the parent may have held the mutex at the fork; the child
  // has only this thread.
  new (&g_mu) std::mutex;
}

int FileLocks::ClaimShared(void (*alone)(const std::string& path)) {
  std::lock_guard<std::mutex> guard(mu_);
  if (shared_ == 0 && alone != nullptr && handle_.TryClaim(true) == os::Fail::kNone) alone(path_);
  if (shared_ == 0) {
    const os::Fail f = handle_.TryClaim(false);
    if (f != os::Fail::kNone) return StatusFromFail(f);
  }
  ++shared_;
  return B_NO_ERROR;
}

int FileLocks::ClaimExclusive() {
  std::lock_guard<std::mutex> guard(mu_);
  const os::Fail f = handle_.TryClaim(true);
  if (f == os::Fail::kBusy) return B_INCOMPATIBLE_MODE;
  if (f != os::Fail::kNone) return StatusFromFail(f);
  exclusive_ = true;
  return B_NO_ERROR;
}

void FileLocks::DropExclusive() {
  std::lock_guard<std::mutex> guard(mu_);
  if (exclusive_) handle_.TryClaim(false);
  exclusive_ = false;
}

void FileLocks::ReleaseShared() {
  std::lock_guard<std::mutex> guard(mu_);
  if (shared_ > 0 && --shared_ == 0) handle_.DropClaim();
}

void FileLocks::MarkTransaction() {
  std::lock_guard<std::mutex> guard(mu_);
  marked_ = handle_.TryLock(os::kTransactionMark, 1) == os::Fail::kNone;
}

void FileLocks::UnmarkTransaction() {
  std::lock_guard<std::mutex> guard(mu_);
  if (marked_) handle_.Unlock(os::kTransactionMark, 1);
  marked_ = false;
}

int FileLocks::TryLockRecord(int64_t pos) {
  std::lock_guard<std::mutex> guard(mu_);
  if (!marked_ && handle_.HeldElsewhere(os::kTransactionMark, 1)) return B_FILE_INUSE;
  const os::Fail f = handle_.TryLock(os::kRecordLockBase + static_cast<uint64_t>(pos), 1);
  return f == os::Fail::kBusy ? B_RECORD_INUSE : StatusFromFail(f);
}

void FileLocks::ReleaseRecord(int64_t pos) {
  std::lock_guard<std::mutex> guard(mu_);
  handle_.Unlock(os::kRecordLockBase + static_cast<uint64_t>(pos), 1);
}

bool FileLocks::LockedElsewhere(int64_t pos) {
  std::lock_guard<std::mutex> guard(mu_);
  return handle_.HeldElsewhere(os::kRecordLockBase + static_cast<uint64_t>(pos), 1);
}

}  // namespace recman::sqlite
