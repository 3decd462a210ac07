// A program that loads the record manager at run time, works with a file,
// unloads it and lives on: nothing of the library (a thread, a signal
// handler, a hook into SQLite) may run after it is gone.
//   unload_probe LIBRARY FILE   (FILE: a record file to read)
#include <dlfcn.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  // SQLite is linked to this program: it stays after the library goes, as in
  // a program that uses it too.
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return 3;
  using Btrcall = int (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);
  auto btrcall = reinterpret_cast<Btrcall>(dlsym(library, "BTRCALL"));
  if (btrcall == nullptr) return 4;
  char pos[128] = {}, key[256] = {};
  std::snprintf(key, sizeof key, "%s", argv[2]);
  uint32_t len = 0;
  if (btrcall(0, pos, nullptr, &len, key, 255, 0) != 0) return 5;  // Open
  char record[4096];
  len = sizeof record;
  if (btrcall(33, pos, record, &len, key, 255, 0) != 0) return 6;  // Step First: a snapshot begins
  if (btrcall(1, pos, nullptr, &len, key, 255, 0) != 0) return 7;  // Close
  if (dlclose(library) != 0) return 8;
  // The snapshot's reaper would wake now, were it still there; SQLite maps
  // and unmaps through its own calls again.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 9;
  sqlite3_exec(db, "PRAGMA mmap_size = 1048576; SELECT count(*) FROM records;", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return 0;
}
