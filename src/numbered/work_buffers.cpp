#include "numbered/work_buffers.h"

#include "reclink/btrieve.h"

namespace reclink::numbered {

GlobalBlock::GlobalBlock(size_t bytes) : handle_(GlobalAlloc(GHND, bytes)), data_(nullptr) {
  if (handle_ == nullptr) return;
  data_ = static_cast<char*>(GlobalLock(handle_));
  if (data_ == nullptr) {
    GlobalFree(handle_);
    handle_ = nullptr;
  }
}

GlobalBlock::~GlobalBlock() {
  if (handle_ == nullptr) return;
  GlobalUnlock(handle_);
  GlobalFree(handle_);
}

// The work key is handed over with key length 255, so its block is that long
// whatever the key's own length: the record manager may read or write up to
// the length it was offered without leaving the block.
WorkBuffers::WorkBuffers(const DbNumberEntry& entry, const void* record)
    : copy_(entry.RecordLength()), key_(B_MAX_KEY_LENGTH) {
  if (Ready()) PrepareWorkCopy(entry, record, Copy(), Key(), B_MAX_KEY_LENGTH);
}

}  // namespace reclink::numbered
