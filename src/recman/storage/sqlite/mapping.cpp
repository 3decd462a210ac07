#include "recman/storage/sqlite/mapping.h"

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdarg>
#include <mutex>

#include "recman/os/os.h"

namespace recman::sqlite {
namespace {

// The system calls as SQLite's file layer calls them.
using MapFn = void* (*)(void*, size_t, int, int, int, off_t);
using UnmapFn = int (*)(void*, size_t);
using RemapFn = void* (*)(void*, size_t, size_t, int, ...);

MapFn g_map = nullptr;      // the calls SQLite made before
UnmapFn g_unmap = nullptr;  // (never null once installed)
RemapFn g_remap = nullptr;

void* const kFailed = reinterpret_cast<void*>(-1);  // MAP_FAILED

void* GuardedMap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  void* p = g_map(addr, length, prot, flags, fd, offset);
  if (p != kFailed) os::GuardMappedRange(p, length);
  return p;
}

int GuardedUnmap(void* addr, size_t length) {
  os::UnguardMappedRange(addr);
  return g_unmap(addr, length);
}

void* GuardedRemap(void* old, size_t oldLength, size_t newLength, int flags, ...) {
  void* p = g_remap(old, oldLength, newLength, flags);
  if (p != kFailed) {
    os::UnguardMappedRange(old);
    os::GuardMappedRange(p, newLength);
  }
  return p;
}

sqlite3_vfs* g_guarded = nullptr;  // the file layer whose calls go through the guard

// When the library is unloaded, SQLite (which stays, if the program uses it
// too) gets its own calls back: the wrappers go with the library.
struct Restorer {
  ~Restorer() {
    if (g_guarded == nullptr) return;
    g_guarded->xSetSystemCall(g_guarded, "mmap", reinterpret_cast<sqlite3_syscall_ptr>(g_map));
    g_guarded->xSetSystemCall(g_guarded, "munmap", reinterpret_cast<sqlite3_syscall_ptr>(g_unmap));
    if (g_remap != nullptr) g_guarded->xSetSystemCall(g_guarded, "mremap", reinterpret_cast<sqlite3_syscall_ptr>(g_remap));
    g_guarded = nullptr;
  }
} g_restorer;

void Install() {
  // Only a file layer that maps with these calls (the POSIX one) needs the
  // guard; another one (Windows') offers none of them and is left as it is.
  sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  if (vfs == nullptr || vfs->iVersion < 3 || vfs->xGetSystemCall == nullptr) return;
  g_map = reinterpret_cast<MapFn>(vfs->xGetSystemCall(vfs, "mmap"));
  g_unmap = reinterpret_cast<UnmapFn>(vfs->xGetSystemCall(vfs, "munmap"));
  g_remap = reinterpret_cast<RemapFn>(vfs->xGetSystemCall(vfs, "mremap"));
  if (g_map == nullptr || g_unmap == nullptr) return;
  vfs->xSetSystemCall(vfs, "mmap", reinterpret_cast<sqlite3_syscall_ptr>(GuardedMap));
  vfs->xSetSystemCall(vfs, "munmap", reinterpret_cast<sqlite3_syscall_ptr>(GuardedUnmap));
  if (g_remap != nullptr) vfs->xSetSystemCall(vfs, "mremap", reinterpret_cast<sqlite3_syscall_ptr>(GuardedRemap));
  g_guarded = vfs;
}

}  // namespace

void GuardFileMappings() {
  static std::once_flag once;
  std::call_once(once, Install);
}

}  // namespace recman::sqlite
