// The record-manager entry that the library calls: the record manager's
// BTRCALL unless replaced.
#include "platform/btrieve_entry.h"

#include <atomic>

#include "reclink/btrieve.h"
#include "reclink/hooks.h"

namespace {

// BTRCALL as a BtrieveEntry with one address for everyone: a DLL function's
// address is not (its import stub in a constant, its real entry in code).
int RecordManager(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                  uint8_t keyLen, int8_t keyNum) {
  return BTRCALL(op, posBlock, data, dataLen, key, keyLen, keyNum);
}

std::atomic<reclink::BtrieveEntry> g_entry{&RecordManager};  // never nullptr

}  // namespace

namespace reclink {

BtrieveEntry SetBtrieveEntry(BtrieveEntry entry) {
  return g_entry.exchange(entry != nullptr ? entry : &RecordManager);
}

}  // namespace reclink

namespace reclink::platform {

int CallBtrieve(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                uint8_t keyLen, int8_t keyNum) {
  return g_entry.load()(op, posBlock, data, dataLen, key, keyLen, keyNum);
}

}  // namespace reclink::platform
