// Memory of a database's files open at once and read whole: the record
// manager with its page-cache budget beside SQLite with its own default cache
// in each connection, on the same files (the record manager's files are
// SQLite databases) in the same run. Each side runs in a process of its own;
// its figure is how far its anonymous memory (RssAnon) grows from before the
// first file is opened to the end of two reads of every file along its key:
// the pages it caches, and what each connection keeps besides (its schema
// and statements).
// Pages go through the cache on both sides (no mapping), as on a system
// that maps nothing; mapped pages would be the system's file cache instead.
//
//   memory_bench [--files=N] [--records=N] [--budget-kib=N] [--dir=DIR]
//
// The files (300-byte records, a unique 8-byte key) are made once in --dir
// (default $RECMAN_BENCH_DIR or /tmp/recman-bench) and kept.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "reclink/btrieve.h"
#include "reclink/file_spec.h"
#include "reclink/recman_check.h"

namespace {

constexpr uint16_t kRecordLength = 300;
constexpr uint16_t kKeyLength = 8;

struct Options {
  int files = 44;           // a database's record files
  int records = 1500;       // per file: 44 x 1,500 x 300 bytes, about 20 MB
  uint32_t budgetKiB = 4096;  // the record manager's page-cache budget
  std::string dir;          // where the files are kept
};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "memory_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string FileName(const Options& o, int f) {
  return o.dir + "/mem-" + std::to_string(o.records) + "-" + std::to_string(f) + ".dat";
}

// KiB of anonymous memory this process holds (not files it maps).
long AnonymousKiB() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("RssAnon:", 0) == 0) return std::stol(line.substr(8));
  }
  Fail("no RssAnon in /proc/self/status");
}

// Makes the files that are missing: records in a shuffled key order.
void BuildFiles(const Options& o) {
  recman::FileSpec spec;
  spec.recordLength = kRecordLength;
  spec.pageSize = 4096;
  spec.keys = {recman::KeySpec{{{1, kKeyLength, B_KEY_EXTENDED_TYPE, B_TYPE_ZSTRING}}}};
  const std::vector<uint8_t> create = recman::EncodeFileSpec(spec);
  std::vector<int> order(o.records);
  for (int i = 0; i < o.records; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(42));
  for (int f = 0; f < o.files; ++f) {
    std::string path = FileName(o, f);
    struct stat st;
    if (stat(path.c_str(), &st) == 0) continue;
    char pos[B_POSITION_BLOCK_SIZE] = {};
    char key[256] = {};
    std::vector<uint8_t> data = create;
    uint32_t len = static_cast<uint32_t>(data.size());
    path.copy(key, 255);
    if (int s = BTRCALL(B_CREATE, pos, data.data(), &len, key, 255, 0)) Fail("Create " + path + ": " + BtrStatusText(s));
    if (int s = BTRCALL(B_OPEN, pos, nullptr, &len, key, 255, B_MODE_ACCELERATED)) Fail("Open: " + std::string(BtrStatusText(s)));
    BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0);
    for (int i : order) {
      char record[kRecordLength];
      std::memset(record, 'r', sizeof record);
      std::snprintf(record, kKeyLength, "%07d", i);
      len = kRecordLength;
      if (int s = BTRCALL(B_INSERT, pos, record, &len, key, 255, 0)) Fail("Insert: " + std::string(BtrStatusText(s)));
    }
    BTRCALL(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0);
    BTRCALL(B_CLOSE, pos, nullptr, &len, key, 255, 0);
  }
}

// The record manager: every file open, then each read twice along key 0.
long EngineSide(const Options& o) {
  BtrSetMemoryBudget(o.budgetKiB);
  std::vector<std::vector<char>> blocks(o.files, std::vector<char>(B_POSITION_BLOCK_SIZE));
  char key[256] = {};
  char record[kRecordLength];
  const long start = AnonymousKiB();
  for (int f = 0; f < o.files; ++f) {
    const std::string path = FileName(o, f);
    std::memset(key, 0, sizeof key);
    path.copy(key, 255);
    uint32_t len = 0;
    if (int s = BTRCALL(B_OPEN, blocks[f].data(), nullptr, &len, key, 255, B_MODE_READ_ONLY)) {
      Fail("Open " + path + ": " + BtrStatusText(s));
    }
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (int f = 0; f < o.files; ++f) {
      int read = 0;
      uint32_t len = kRecordLength;
      for (int s = BTRCALL(B_GET_FIRST, blocks[f].data(), record, &len, key, 255, 0); s == 0;
           s = BTRCALL(B_GET_NEXT, blocks[f].data(), record, &len, key, 255, 0)) {
        ++read;
        len = kRecordLength;
      }
      if (read != o.records) Fail("the engine read " + std::to_string(read) + " records of a file");
    }
  }
  return AnonymousKiB() - start;
}

// SQLite itself on the same files: a connection each, with its default
// cache, every record read twice in key order.
long SqliteSide(const Options& o) {
  std::vector<sqlite3*> dbs(o.files);
  std::vector<sqlite3_stmt*> reads(o.files);
  const long start = AnonymousKiB();
  for (int f = 0; f < o.files; ++f) {
    if (sqlite3_open_v2(FileName(o, f).c_str(), &dbs[f], SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(dbs[f], "SELECT data FROM records WHERE k0 IS NOT NULL ORDER BY k0", -1, &reads[f], nullptr) != SQLITE_OK) {
      Fail("SQLite on " + FileName(o, f) + ": " + sqlite3_errmsg(dbs[f]));
    }
  }
  for (int pass = 0; pass < 2; ++pass) {
    for (int f = 0; f < o.files; ++f) {
      int read = 0;
      while (sqlite3_step(reads[f]) == SQLITE_ROW) read += sqlite3_column_bytes(reads[f], 0) > 0;
      sqlite3_reset(reads[f]);
      if (read != o.records) Fail("SQLite read " + std::to_string(read) + " records of a file");
    }
  }
  const long grown = AnonymousKiB() - start;
  for (int f = 0; f < o.files; ++f) {
    sqlite3_finalize(reads[f]);
    sqlite3_close(dbs[f]);
  }
  return grown;
}

// Runs side in a child process of its own; its figure.
long InChild(long (*side)(const Options&), const Options& o) {
  int channel[2];
  if (pipe(channel) != 0) Fail("pipe failed");
  const pid_t child = fork();
  if (child == 0) {
    const long kib = side(o);
    _exit(write(channel[1], &kib, sizeof kib) == sizeof kib ? 0 : 1);
  }
  close(channel[1]);
  long kib = -1;
  const bool got = read(channel[0], &kib, sizeof kib) == sizeof kib;
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("a side failed");
  return kib;
}

bool Flag(const char* arg, const char* name, std::string* value) {
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
  *value = arg + n + 1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const char* dir = std::getenv("RECMAN_BENCH_DIR");
  o.dir = dir != nullptr ? dir : "/tmp/recman-bench";
  for (int i = 1; i < argc; ++i) {
    std::string v;
    if (Flag(argv[i], "--files", &v)) {
      o.files = std::stoi(v);
    } else if (Flag(argv[i], "--records", &v)) {
      o.records = std::stoi(v);
    } else if (Flag(argv[i], "--budget-kib", &v)) {
      o.budgetKiB = static_cast<uint32_t>(std::stoul(v));
    } else if (Flag(argv[i], "--dir", &v)) {
      o.dir = v;
    } else {
      std::fprintf(stderr, "usage: memory_bench [--files=N] [--records=N] [--budget-kib=N] [--dir=DIR]\n");
      return 2;
    }
  }
  std::filesystem::create_directories(o.dir);
  // Made in a child too: the parent forks both sides and keeps no engine
  // thread of its own.
  InChild(
      [](const Options& opt) {
        BuildFiles(opt);
        return 0L;
      },
      o);
  setenv("RECMAN_TEST_NO_MAPPING", "1", 1);  // the engine's pages through its cache
  const long engine = InChild(EngineSide, o);
  const long sqlite = InChild(SqliteSide, o);
  std::printf("%d files of %d records of %u bytes, read whole twice along their key\n", o.files, o.records,
              kRecordLength);
  std::printf("record manager, budget %u KiB: anonymous memory grew %ld KiB\n", o.budgetKiB, engine);
  std::printf("SQLite, its default cache per connection: anonymous memory grew %ld KiB\n", sqlite);
  return 0;
}
