// The record-manager entry that the library calls: BTRCALL unless replaced.
#include "platform/btrieve_entry.h"

#include <atomic>

#include "reclink/btrieve.h"
#include "reclink/hooks.h"

namespace {

std::atomic<reclink::BtrieveEntry> g_entry{&BTRCALL};  // never nullptr

}  // namespace

namespace reclink {

BtrieveEntry SetBtrieveEntry(BtrieveEntry entry) {
  return g_entry.exchange(entry != nullptr ? entry : &BTRCALL);
}

}  // namespace reclink

namespace reclink::platform {

int CallBtrieve(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                uint8_t keyLen, int8_t keyNum) {
  return g_entry.load()(op, posBlock, data, dataLen, key, keyLen, keyNum);
}

}  // namespace reclink::platform
