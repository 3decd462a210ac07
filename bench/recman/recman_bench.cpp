// The same workload through BTRCALL and through raw SQLite prepared
// statements, on one 100,000-record file of 3,600-byte records (21-byte
// zstring key 0, 41-byte duplicate key 1). The raw side opens a byte copy of
// the engine's file: same schema, same indexes, same connection settings.
//
// Files live in $RECMAN_BENCH_DIR (default /tmp/recman-bench) and are kept
// between runs; delete the directory to rebuild them.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "reclink/btrieve.h"

namespace {

constexpr uint16_t kRecordLength = 3600;
constexpr int kRecords = 100000;
constexpr int kGroups = 10000;  // key 1 values: ten records share each

std::string g_dir;

std::string Key0(int i) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "K%015d", i * 7 % 1000003);
  return buf;
}
std::string Key1(int i) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "group-%08d-of-the-duplicate-key", i % kGroups);
  return buf;
}

std::vector<char> MakeRecord(const std::string& k0, const std::string& k1) {
  std::vector<char> r(kRecordLength, 'x');
  std::memset(r.data(), 0, 62);
  std::memcpy(r.data(), k0.c_str(), k0.size() + 1);
  std::memcpy(r.data() + 21, k1.c_str(), k1.size() + 1);
  return r;
}

std::vector<uint8_t> Spec() {
  std::vector<uint8_t> buf(sizeof(BtrFileSpec) + 2 * sizeof(BtrKeySpec));
  BtrFileSpec fs{};
  fs.recordLength = kRecordLength;
  fs.pageSize = 4096;
  fs.numberOfKeys = 2;
  BtrKeySpec k0{}, k1{};
  k0.position = 1;
  k0.length = 21;
  k0.flags = B_KEY_EXTENDED_TYPE;
  k0.extendedType = B_TYPE_ZSTRING;
  k1.position = 22;
  k1.length = 41;
  k1.flags = B_KEY_EXTENDED_TYPE | B_KEY_DUPLICATES | B_KEY_MODIFIABLE;
  k1.extendedType = B_TYPE_ZSTRING;
  std::memcpy(buf.data(), &fs, sizeof fs);
  std::memcpy(buf.data() + sizeof fs, &k0, sizeof k0);
  std::memcpy(buf.data() + sizeof fs + sizeof k0, &k1, sizeof k1);
  return buf;
}

int Call(uint16_t op, char* pos, void* data, uint32_t* len, char* key, int8_t keyNum) {
  return BTRCALL(op, pos, data, len, key, 255, keyNum);
}

// Stops the run, saying why: a benchmark of a failing operation measures nothing.
void Fail(const char* what, int status) {
  std::fprintf(stderr, "%s failed with status %d (delete the bench directory if it holds files of an older format)\n", what, status);
  std::abort();
}

void CreateEmpty(const std::string& path) {
  char pos[128] = {};
  char key[256] = {};
  std::snprintf(key, sizeof key, "%s", path.c_str());
  std::vector<uint8_t> spec = Spec();
  uint32_t len = static_cast<uint32_t>(spec.size());
  if (Call(B_CREATE, pos, spec.data(), &len, key, 0) != 0) std::abort();
}

// Builds the 100,000-record file once, in random key order.
void BuildBigFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return;
  CreateEmpty(path);
  char pos[128] = {};
  char key[256] = {};
  std::snprintf(key, sizeof key, "%s", path.c_str());
  uint32_t len = 0;
  if (Call(B_OPEN, pos, nullptr, &len, key, B_MODE_ACCELERATED) != 0) std::abort();
  Call(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0);
  for (int i = 0; i < kRecords; ++i) {
    std::vector<char> r = MakeRecord(Key0(i), Key1(i));
    len = kRecordLength;
    if (Call(B_INSERT, pos, r.data(), &len, key, 0) != 0) std::abort();
  }
  Call(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0);
  Call(B_CLOSE, pos, nullptr, &len, key, 0);
}

// --- the engine side ---------------------------------------------------

struct EngineFile {
  char pos[128] = {};
  char key[256] = {};
  explicit EngineFile(const std::string& path, int8_t mode = B_MODE_NORMAL) {
    std::snprintf(key, sizeof key, "%s", path.c_str());
    uint32_t len = 0;
    if (int st = Call(B_OPEN, pos, nullptr, &len, key, mode)) Fail("Open", st);
  }
  ~EngineFile() {
    uint32_t len = 0;
    Call(B_CLOSE, pos, nullptr, &len, key, 0);
  }
};

// --- the raw side: what one would write against SQLite directly -----------

struct RawFile {
  sqlite3* db = nullptr;
  explicit RawFile(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
      std::abort();
    }
    sqlite3_exec(db,
                 "PRAGMA cache_size = -65536; PRAGMA mmap_size = 0; PRAGMA temp_store = MEMORY; "
                 "PRAGMA synchronous = FULL;",
                 nullptr, nullptr, nullptr);
  }
  ~RawFile() { sqlite3_close_v2(db); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) std::abort();
    return s;
  }
};

// Copies the row the statement stands on into the caller's buffers, as a
// record-at-a-time reader needs.
void TakeRow(sqlite3_stmt* s, char* data, char* key) {
  std::memcpy(data, sqlite3_column_blob(s, 0), static_cast<size_t>(sqlite3_column_bytes(s, 0)));
  std::memcpy(key, sqlite3_column_blob(s, 1), static_cast<size_t>(sqlite3_column_bytes(s, 1)));
}

std::string BigPath() { return g_dir + "/big.dat"; }
std::string RawPath() { return g_dir + "/big-raw.db"; }

// ---------------------------------------------------------------------------

void BM_GetEqual_Engine(benchmark::State& state) {
  EngineFile f(BigPath());
  std::vector<char> data(kRecordLength);
  std::mt19937 rng(1);
  for (auto _ : state) {
    const std::string k = Key0(static_cast<int>(rng() % kRecords));
    std::memcpy(f.key, k.c_str(), k.size() + 1);
    uint32_t len = kRecordLength;
    if (int st = Call(B_GET_EQUAL, f.pos, data.data(), &len, f.key, 0)) Fail("Get Equal", st);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_GetEqual_Raw(benchmark::State& state) {
  RawFile f(RawPath());
  sqlite3_stmt* s = f.Prepare(
      "SELECT data, k0, pos, ver FROM records WHERE k0 = ?1 LIMIT 1");
  std::vector<char> data(kRecordLength);
  char key[256];
  std::mt19937 rng(1);
  for (auto _ : state) {
    std::string k = Key0(static_cast<int>(rng() % kRecords));
    k.resize(21, '\0');
    sqlite3_bind_blob(s, 1, k.data(), 21, SQLITE_STATIC);
    if (sqlite3_step(s) != SQLITE_ROW) std::abort();
    TakeRow(s, data.data(), key);
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  state.SetItemsProcessed(state.iterations());
}

void BM_GetGreaterOrEqual_Engine(benchmark::State& state) {
  EngineFile f(BigPath());
  std::vector<char> data(kRecordLength);
  std::mt19937 rng(2);
  for (auto _ : state) {
    char k[24];
    std::snprintf(k, sizeof k, "K%015d", static_cast<int>(rng() % 1000003));
    std::memcpy(f.key, k, sizeof k);
    uint32_t len = kRecordLength;
    const int st = Call(B_GET_GE, f.pos, data.data(), &len, f.key, 0);
    if (st != 0 && st != B_END_OF_FILE) std::abort();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_GetGreaterOrEqual_Raw(benchmark::State& state) {
  RawFile f(RawPath());
  sqlite3_stmt* s = f.Prepare(
      "SELECT data, k0, pos, ver FROM records WHERE k0 >= ?1 ORDER BY k0 LIMIT 1");
  std::vector<char> data(kRecordLength);
  char key[256];
  std::mt19937 rng(2);
  for (auto _ : state) {
    char k[24] = {};
    std::snprintf(k, sizeof k, "K%015d", static_cast<int>(rng() % 1000003));
    sqlite3_bind_blob(s, 1, k, 21, SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) TakeRow(s, data.data(), key);
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  state.SetItemsProcessed(state.iterations());
}

void BM_GetNextWholeFile_Engine(benchmark::State& state) {
  EngineFile f(BigPath());
  std::vector<char> data(kRecordLength);
  int64_t n = 0;
  for (auto _ : state) {
    uint32_t len = kRecordLength;
    int st = Call(B_GET_FIRST, f.pos, data.data(), &len, f.key, 0);
    while (st == 0) {
      ++n;
      len = kRecordLength;
      st = Call(B_GET_NEXT, f.pos, data.data(), &len, f.key, 0);
    }
    if (st != B_END_OF_FILE) std::abort();
  }
  state.SetItemsProcessed(n);
}

// One statement stepping through the whole index: the fastest scan SQLite
// offers, holding one read transaction for the whole walk.
void BM_GetNextWholeFile_RawScan(benchmark::State& state) {
  RawFile f(RawPath());
  sqlite3_stmt* s = f.Prepare(
      "SELECT data, k0, pos, ver FROM records WHERE k0 IS NOT NULL ORDER BY k0");
  std::vector<char> data(kRecordLength);
  char key[256];
  int64_t n = 0;
  for (auto _ : state) {
    while (sqlite3_step(s) == SQLITE_ROW) {
      TakeRow(s, data.data(), key);
      ++n;
    }
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  state.SetItemsProcessed(n);
}

// Record at a time, each call on its own, as a caller that does other work
// between records must: a seek past the last key returned.
void BM_GetNextWholeFile_RawSeek(benchmark::State& state) {
  RawFile f(RawPath());
  sqlite3_stmt* first = f.Prepare(
      "SELECT data, k0, pos, ver FROM records WHERE k0 IS NOT NULL ORDER BY k0 LIMIT 1");
  sqlite3_stmt* next = f.Prepare(
      "SELECT data, k0, pos, ver FROM records WHERE k0 > ?1 ORDER BY k0 LIMIT 1");
  std::vector<char> data(kRecordLength);
  char key[256];
  int64_t n = 0;
  for (auto _ : state) {
    sqlite3_stmt* s = first;
    while (sqlite3_step(s) == SQLITE_ROW) {
      TakeRow(s, data.data(), key);
      ++n;
      sqlite3_reset(s);
      sqlite3_bind_blob(next, 1, key, 21, SQLITE_STATIC);
      s = next;
    }
    sqlite3_reset(s);
  }
  sqlite3_finalize(first);
  sqlite3_finalize(next);
  state.SetItemsProcessed(n);
}

// Inserts go to files of their own, fresh for each benchmark.
std::string InsertPath(const char* name) {
  const std::string path = g_dir + "/" + name;
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-wal");
  std::filesystem::remove(path + "-shm");
  return path;
}

std::string FreshRawCopy(const char* name) {
  const std::string src = InsertPath("raw-template.dat");
  CreateEmpty(src);
  const std::string path = InsertPath(name);
  std::filesystem::copy_file(src, path);
  return path;
}

constexpr int kBatch = 1000;  // inserts per transaction in the batched runs

void InsertEngine(benchmark::State& state, bool batched) {
  const std::string path = InsertPath(batched ? "ins-batch.dat" : "ins-single.dat");
  CreateEmpty(path);
  EngineFile f(path);
  int i = 0;
  for (auto _ : state) {
    if (batched && i % kBatch == 0) Call(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0);
    std::vector<char> r = MakeRecord(Key0(i), Key1(i));
    uint32_t len = kRecordLength;
    if (Call(B_INSERT, f.pos, r.data(), &len, f.key, 0) != 0) std::abort();
    ++i;
    if (batched && i % kBatch == 0) Call(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0);
  }
  if (batched && i % kBatch != 0) Call(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0);
  state.SetItemsProcessed(state.iterations());
}

void InsertRaw(benchmark::State& state, bool batched) {
  RawFile f(FreshRawCopy(batched ? "ins-batch-raw.db" : "ins-single-raw.db"));
  // The sequence of a duplicate is the record's position, as in the engine.
  sqlite3_stmt* ins = f.Prepare(
      "INSERT INTO records(ver, data, k0, k1, s1) VALUES(1, ?1, ?2, ?3, "
      "(SELECT coalesce(max(seq), 0) + 1 FROM sqlite_sequence WHERE name = 'records'))");
  sqlite3_stmt* begin = f.Prepare("BEGIN IMMEDIATE");
  sqlite3_stmt* commit = f.Prepare("COMMIT");
  int i = 0;
  for (auto _ : state) {
    if (batched && i % kBatch == 0) {
      sqlite3_step(begin);
      sqlite3_reset(begin);
    }
    std::vector<char> r = MakeRecord(Key0(i), Key1(i));
    std::string k0 = Key0(i), k1 = Key1(i);
    k0.resize(21, '\0');
    k1.resize(41, '\0');
    sqlite3_bind_blob(ins, 1, r.data(), kRecordLength, SQLITE_STATIC);
    sqlite3_bind_blob(ins, 2, k0.data(), 21, SQLITE_STATIC);
    sqlite3_bind_blob(ins, 3, k1.data(), 41, SQLITE_STATIC);
    if (sqlite3_step(ins) != SQLITE_DONE) std::abort();
    sqlite3_reset(ins);
    ++i;
    if (batched && i % kBatch == 0) {
      sqlite3_step(commit);
      sqlite3_reset(commit);
    }
  }
  if (batched && i % kBatch != 0) {
    sqlite3_step(commit);
    sqlite3_reset(commit);
  }
  sqlite3_finalize(ins);
  sqlite3_finalize(begin);
  sqlite3_finalize(commit);
  state.SetItemsProcessed(state.iterations());
}

void BM_InsertInTransaction_Engine(benchmark::State& s) { InsertEngine(s, true); }
void BM_InsertInTransaction_Raw(benchmark::State& s) { InsertRaw(s, true); }
void BM_InsertDurable_Engine(benchmark::State& s) { InsertEngine(s, false); }
void BM_InsertDurable_Raw(benchmark::State& s) { InsertRaw(s, false); }

BENCHMARK(BM_GetEqual_Engine)->Iterations(50000);
BENCHMARK(BM_GetEqual_Raw)->Iterations(50000);
BENCHMARK(BM_GetGreaterOrEqual_Engine)->Iterations(50000);
BENCHMARK(BM_GetGreaterOrEqual_Raw)->Iterations(50000);
BENCHMARK(BM_GetNextWholeFile_Engine)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNextWholeFile_RawSeek)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNextWholeFile_RawScan)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertInTransaction_Engine)->Iterations(20000);
BENCHMARK(BM_InsertInTransaction_Raw)->Iterations(20000);
BENCHMARK(BM_InsertDurable_Engine)->Iterations(1000);
BENCHMARK(BM_InsertDurable_Raw)->Iterations(1000);

}  // namespace

int main(int argc, char** argv) {
  const char* dir = std::getenv("RECMAN_BENCH_DIR");
  g_dir = dir && *dir ? dir : "/tmp/recman-bench";
  std::filesystem::create_directories(g_dir);
  BuildBigFile(BigPath());
  // The raw side reads a byte copy, so that neither warms the other's pages
  // in SQLite's cache (the OS cache holds both).
  struct stat st;
  if (stat(RawPath().c_str(), &st) != 0) std::filesystem::copy_file(BigPath(), RawPath());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
