// Global memory: GlobalAlloc, GlobalLock, GlobalUnlock, GlobalFree.
//
// On Linux a moveable block's handle is not its address: code that uses a
// handle without locking it touches the bookkeeping, not the bytes, and the
// sanitizers or the tests notice. Every live handle is registered, so freeing
// a handle twice or one that was never allocated fails instead of crashing.
#include "platform/winapi.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace {

std::atomic<int> g_failNext{0};  // GlobalAlloc calls still to fail (tests)

// Takes one failure off g_failNext; true when this allocation must fail.
bool TakeInjectedFailure() {
  int left = g_failNext.load();
  while (left > 0) {
    if (g_failNext.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

}  // namespace

#ifdef _WIN32

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
  return TakeInjectedFailure() ? nullptr : reclink::platform::win32::Alloc(flags, bytes);
}
LPVOID GlobalLock(HGLOBAL memory) { return reclink::platform::win32::Lock(memory); }
BOOL GlobalUnlock(HGLOBAL memory) { return reclink::platform::win32::Unlock(memory); }
HGLOBAL GlobalFree(HGLOBAL memory) { return reclink::platform::win32::Free(memory); }

#else

namespace {

struct Block {
  void* bytes;    // the memory handed out by GlobalLock
  size_t size;    // bytes asked for
  bool moveable;  // GMEM_MOVEABLE: the handle is this block, not the bytes
  int locks;      // GlobalLock calls not yet matched by GlobalUnlock
};

std::mutex g_mutex;                            // guards g_blocks
std::unordered_map<void*, Block>* g_blocks =  // live handles; never destroyed, so
    new std::unordered_map<void*, Block>;     // frees during exit still work

// The live block of handle, or nullptr; g_mutex held.
Block* Registered(HGLOBAL handle) {
  auto it = g_blocks->find(handle);
  return it == g_blocks->end() ? nullptr : &it->second;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) {
  if (TakeInjectedFailure()) return nullptr;
  size_t size = bytes == 0 ? 1 : bytes;
  void* memory = (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
  if (memory == nullptr) return nullptr;
  bool moveable = (flags & GMEM_MOVEABLE) != 0;
  // A moveable block's handle is a separate small allocation: unique, and
  // never the address of the bytes.
  void* handle = moveable ? std::malloc(1) : memory;
  if (handle == nullptr) {
    std::free(memory);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  g_blocks->emplace(handle, Block{memory, bytes, moveable, 0});
  return handle;
}

LPVOID GlobalLock(HGLOBAL memory) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Block* block = Registered(memory);
  if (block == nullptr) return nullptr;
  if (block->moveable) ++block->locks;
  return block->bytes;
}

// TRUE while the block stays locked, FALSE once it is unlocked (or was never
// a moveable, locked block), as on Windows.
BOOL GlobalUnlock(HGLOBAL memory) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Block* block = Registered(memory);
  if (block == nullptr || block->locks == 0) return FALSE;
  return --block->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  Block block;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    const Block* live = Registered(memory);
    if (live == nullptr) return memory;
    block = *live;
    g_blocks->erase(memory);
  }
  if (block.moveable) std::free(memory);
  std::free(block.bytes);
  return nullptr;
}

#endif

namespace reclink::platform {

void FailNextGlobalAllocs(int count) { g_failNext.store(count > 0 ? count : 0); }

}  // namespace reclink::platform
