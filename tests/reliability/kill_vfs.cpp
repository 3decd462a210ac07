#include "kill_vfs.h"

#include <signal.h>
#include <sqlite3.h>

#include <cstring>
#include <random>

namespace reclink::crash {
namespace {

sqlite3_vfs* g_real = nullptr;  // the layer the shim forwards to
sqlite3_vfs g_shim;             // the shim itself
std::mt19937_64 g_rng;          // decides each crash point
unsigned g_permille = 0;        // chance of dying per write/sync/truncate

struct ShimFile {
  sqlite3_file base;   // what SQLite sees; its methods are kMethods
  sqlite3_file* real;  // the forwarded file, allocated right behind this struct
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }

void MaybeDie() {
  if (g_permille != 0 && g_rng() % 1000 < g_permille) raise(SIGKILL);
}

int Close(sqlite3_file* f) {
  sqlite3_file* r = Real(f);
  int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
  return rc;
}
int Read(sqlite3_file* f, void* buf, int n, sqlite3_int64 off) {
  return Real(f)->pMethods->xRead(Real(f), buf, n, off);
}
int Write(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off) {
  MaybeDie();
  return Real(f)->pMethods->xWrite(Real(f), buf, n, off);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  MaybeDie();
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
  MaybeDie();
  return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) {
  return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
  return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}
int Fetch(sqlite3_file* f, sqlite3_int64 off, int n, void** out) {
  return Real(f)->pMethods->xFetch(Real(f), off, n, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 off, void* p) {
  return Real(f)->pMethods->xUnfetch(Real(f), off, p);
}

const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  ShimFile* shim = reinterpret_cast<ShimFile*>(f);
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  std::memset(shim->real, 0, g_real->szOsFile);
  int rc = g_real->xOpen(g_real, name, shim->real, flags, outFlags);
  // A file whose open failed gets no methods: SQLite then does not close it.
  f->pMethods = shim->real->pMethods ? &kMethods : nullptr;
  return rc;
}
int Delete(sqlite3_vfs*, const char* name, int syncDir) {
  MaybeDie();
  return g_real->xDelete(g_real, name, syncDir);
}
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return g_real->xAccess(g_real, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
  return g_real->xFullPathname(g_real, name, n, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return g_real->xDlOpen(g_real, name); }
void DlError(sqlite3_vfs*, int n, char* out) { g_real->xDlError(g_real, n, out); }
void (*DlSym(sqlite3_vfs*, void* h, const char* sym))(void) {
  return g_real->xDlSym(g_real, h, sym);
}
void DlClose(sqlite3_vfs*, void* h) { g_real->xDlClose(g_real, h); }
int Randomness(sqlite3_vfs*, int n, char* out) { return g_real->xRandomness(g_real, n, out); }
int Sleep(sqlite3_vfs*, int us) { return g_real->xSleep(g_real, us); }
int CurrentTime(sqlite3_vfs*, double* out) { return g_real->xCurrentTime(g_real, out); }
int GetLastError(sqlite3_vfs*, int n, char* out) {
  return g_real->xGetLastError ? g_real->xGetLastError(g_real, n, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  return g_real->xCurrentTimeInt64(g_real, out);
}

}  // namespace

void InstallKillVfs(uint64_t seed, unsigned permille) {
  g_rng.seed(seed ^ 0x5DEECE66Dull);
  g_permille = permille;
  g_real = sqlite3_vfs_find(nullptr);
  g_shim = sqlite3_vfs{};
  g_shim.iVersion = 2;
  g_shim.szOsFile = static_cast<int>(sizeof(ShimFile)) + g_real->szOsFile;
  g_shim.mxPathname = g_real->mxPathname;
  g_shim.zName = "reclink-kill";
  g_shim.xOpen = Open;
  g_shim.xDelete = Delete;
  g_shim.xAccess = Access;
  g_shim.xFullPathname = FullPathname;
  g_shim.xDlOpen = DlOpen;
  g_shim.xDlError = DlError;
  g_shim.xDlSym = DlSym;
  g_shim.xDlClose = DlClose;
  g_shim.xRandomness = Randomness;
  g_shim.xSleep = Sleep;
  g_shim.xCurrentTime = CurrentTime;
  g_shim.xGetLastError = GetLastError;
  g_shim.xCurrentTimeInt64 = CurrentTimeInt64;
  sqlite3_vfs_register(&g_shim, 1);
}

}  // namespace reclink::crash
