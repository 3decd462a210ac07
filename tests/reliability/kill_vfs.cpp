#include "kill_vfs.h"

#include <signal.h>
#include <sqlite3.h>

#include <map>
#include <random>

#include "support/child_process.h"

namespace reclink::crash {
namespace {

sqlite3_vfs* g_real = nullptr;  // the layer the shim forwards to
sqlite3_vfs g_shim;             // the real layer with Open replaced
std::mt19937_64 g_rng;          // decides each crash point
unsigned g_permille = 0;        // chance of dying per write or sync

// The file methods the real layer gave a file, and the copy SQLite uses
// instead, whose writes and syncs may die first.
struct Methods {
  sqlite3_io_methods shim;         // first, so that a file's methods lead back here
  const sqlite3_io_methods* real;  // what the real layer installed
};
std::map<const sqlite3_io_methods*, Methods> g_methods;

const sqlite3_io_methods* Real(sqlite3_file* f) {
  return reinterpret_cast<const Methods*>(f->pMethods)->real;
}

// Dies with the set chance, telling the parent first that it was no timer.
void MaybeDie() {
  if (g_permille == 0 || g_rng() % 1000 >= g_permille) return;
  test::SendToParent(kKilledInStorage);
  raise(SIGKILL);
}

int Write(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off) {
  MaybeDie();
  return Real(f)->xWrite(f, buf, n, off);
}
int Sync(sqlite3_file* f, int flags) {
  MaybeDie();
  return Real(f)->xSync(f, flags);
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  int rc = g_real->xOpen(g_real, name, f, flags, outFlags);
  if (f->pMethods != nullptr) {
    auto [it, fresh] = g_methods.try_emplace(f->pMethods);
    if (fresh) {
      it->second.shim = *f->pMethods;
      it->second.real = f->pMethods;
      it->second.shim.xWrite = Write;
      it->second.shim.xSync = Sync;
    }
    f->pMethods = &it->second.shim;
  }
  return rc;
}

}  // namespace

void InstallKillVfs(uint64_t seed, unsigned permille) {
  g_rng.seed(seed ^ 0x5DEECE66Dull);
  g_permille = permille;
  g_real = sqlite3_vfs_find(nullptr);
  g_shim = *g_real;
  g_shim.pNext = nullptr;
  g_shim.zName = "reclink-kill";
  g_shim.xOpen = Open;
  sqlite3_vfs_register(&g_shim, 1);
}

}  // namespace reclink::crash
