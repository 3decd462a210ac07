// The work copy and work key of a write operation: a private copy of the
// caller's record and key 0 rebuilt from it, each in its own global block.

#include "numbered/db_number_table.h"
#include "numbered/work_key_table.h"
#include "platform/winapi.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

namespace {

// The work key is handed over with key length 255, so its block is that long
// whatever the key's own length: the record manager may read or write up to
// the length it was offered without leaving the block.
constexpr size_t kWorkKeyCapacity = B_MAX_KEY_LENGTH;

// Allocates and locks a zero-filled movable block; on failure releases what
// it got and leaves both outputs null.
void AllocLocked(size_t bytes, void** handle, void** address) {
  *handle = GlobalAlloc(GHND, bytes);
  *address = *handle != nullptr ? GlobalLock(*handle) : nullptr;
  if (*handle != nullptr && *address == nullptr) {
    GlobalFree(*handle);
    *handle = nullptr;
  }
}

void UnlockFree(void* handle) {
  if (handle == nullptr) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
}

}  // namespace

void CRecLink::LockWkBuf(int dbno, void* record) {
  const reclink::numbered::WorkKeyRule* rule = reclink::numbered::FindWorkKeyRule(dbno);
  if (rule == nullptr) return;
  const size_t copyLength = GetLen(dbno);

  AllocLocked(copyLength, &wkCopyHandle_, &wkCopy_);
  AllocLocked(kWorkKeyCapacity, &wkKeyHandle_, &wkKey_);
  if (!HasWorkBuffers()) {
    // Half a pair is no use: give back what was had, so that nothing is
    // left for FreeWkBuf and the caller sees no work buffers.
    UnlockFree(wkCopyHandle_);
    UnlockFree(wkKeyHandle_);
    wkCopy_ = wkKey_ = wkCopyHandle_ = wkKeyHandle_ = nullptr;
    return;
  }
  reclink::numbered::PrepareWorkCopy(*rule, record, copyLength, static_cast<char*>(wkCopy_),
                                     static_cast<char*>(wkKey_), kWorkKeyCapacity);
}

void CRecLink::FreeWkBuf() {
  UnlockFree(wkCopyHandle_);
  UnlockFree(wkKeyHandle_);
}

bool CRecLink::HasWorkBuffers() const { return wkCopy_ != nullptr && wkKey_ != nullptr; }
