// One workload through BTRCALL on both backends (an SQLite file, and the
// same file on a PostgreSQL server), and on the server through raw libpq:
// the statements the engine sends, prepared once, binary parameters and
// results, copied into the caller's buffers as a record-at-a-time reader
// needs. A file of 10,000 of the record manager's benchmark records of
// 3,600 bytes (21-byte zstring key 0, 41-byte key 1 with duplicates).
//
// The server is the one RECLINK_BENCH_SERVER (else RECLINK_TEST_SERVER)
// names; its files go to the database "bench" there. Local files live in
// $RECMAN_BENCH_DIR (default /tmp/recman-server-bench), built once and
// kept; delete the directory, and drop the server's schema recman, to
// rebuild them.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_place.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"
#include "workload.h"

namespace {

constexpr uint16_t kRecordLength = 3600;
constexpr int kRecords = 10000;
constexpr const char* kFileName = "BENCH.DAT";

std::string g_dir;     // local directories of the two backends
std::string g_server;  // the server's connection string

enum Backend { kSqlite = 0, kServer = 1 };

// Record i of the workload (the record manager's benchmark's own records).
std::vector<char> MakeRecord(int i) {
  bench::Workload w;
  w.recordLength = kRecordLength;
  return bench::Record(w, static_cast<uint32_t>(i));
}
std::string Key0(int i) { return bench::Key0(static_cast<uint32_t>(i)); }
std::string Key1(int i) { return bench::Key1(static_cast<uint32_t>(i)); }

// A zstring key as the engine stores it: cut at the first zero, zero-padded.
std::string Encoded(const std::string& value, size_t length) {
  std::string out = value;
  out.resize(length, '\0');
  return out;
}

int Call(uint16_t op, char* pos, void* data, uint32_t* len, char* key, int8_t keyNum) {
  return BTRCALL(op, pos, data, len, key, 255, keyNum);
}

// Stops the run, saying why: a benchmark of a failing operation measures nothing.
[[noreturn]] void Fail(const char* what, const std::string& why) {
  std::fprintf(stderr, "%s failed: %s\n", what, why.c_str());
  std::abort();
}

// The directory of a backend: the server's has a configuration naming it.
std::string Dir(int backend) { return g_dir + (backend == kServer ? "/server" : "/sqlite"); }
std::string BigPath(int backend) { return Dir(backend) + "/" + kFileName; }
std::string FreshPath(int backend, int n) { return Dir(backend) + "/FRESH" + std::to_string(n) + ".DAT"; }

struct EngineFile {
  char pos[128] = {};
  char key[256] = {};
  explicit EngineFile(const std::string& path, bool create = false) {
    std::snprintf(key, sizeof key, "%s", path.c_str());
    if (create) {
      std::vector<uint8_t> spec = bench::CreateSpec(kRecordLength);
      uint32_t len = static_cast<uint32_t>(spec.size());
      if (int st = Call(B_CREATE, pos, spec.data(), &len, key, 0)) Fail("Create", std::to_string(st));
    }
    uint32_t len = 0;
    if (int st = Call(B_OPEN, pos, nullptr, &len, key, B_MODE_NORMAL)) Fail("Open", std::to_string(st));
  }
  ~EngineFile() {
    uint32_t len = 0;
    Call(B_CLOSE, pos, nullptr, &len, key, 0);
  }
  int Insert(int i) {
    std::vector<char> r = MakeRecord(i);
    uint32_t len = kRecordLength;
    return Call(B_INSERT, pos, r.data(), &len, key, 0);
  }
};

int Tx(uint16_t op) { return BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0); }

// Builds the big file of a backend once.
void BuildBigFile(int backend) {
  EngineFile probe(BigPath(backend), false);
  uint32_t len = kRecordLength;
  std::vector<char> data(kRecordLength);
  if (Call(B_STAT, probe.pos, data.data(), &len, probe.key, 0) == 0) {
    BtrFileSpec fs;
    std::memcpy(&fs, data.data(), sizeof fs);
    if (fs.numberOfRecords == kRecords) return;
  }
  Fail("the benchmark file", BigPath(backend) + " is incomplete: remove it");
}

// --- the raw side: libpq against the engine's own table ---------------------

struct Raw {
  PGconn* conn = nullptr;
  std::string table;  // recman.r<id> of the file
  explicit Raw(const char* file) {
    conn = PQconnectdb(g_server.c_str());
    if (PQstatus(conn) != CONNECTION_OK) Fail("connecting", PQerrorMessage(conn));
    const char* values[2] = {"bench", file};
    const int lengths[2] = {5, static_cast<int>(std::strlen(file))};
    const int formats[2] = {1, 1};
    PGresult* r = PQexecParams(conn, "SELECT id FROM recman.files WHERE database = $1::bytea AND name = $2::bytea",
                               2, nullptr, values, lengths, formats, 0);
    if (PQntuples(r) != 1) Fail("finding the file", PQresultErrorMessage(r));
    table = std::string("recman.r") + PQgetvalue(r, 0, 0);
    PQclear(r);
  }
  ~Raw() { PQfinish(conn); }
  void Prepare(const char* name, const std::string& sql) {
    PGresult* r = PQprepare(conn, name, sql.c_str(), 0, nullptr);
    if (PQresultStatus(r) != PGRES_COMMAND_OK) Fail(name, PQresultErrorMessage(r));
    PQclear(r);
  }
  void Exec(const std::string& sql) {
    PGresult* r = PQexec(conn, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) {
      Fail(sql.c_str(), PQresultErrorMessage(r));
    }
    PQclear(r);
  }
  // Prepares "ins": the engine's INSERT of one record of this workload.
  void PrepareInsert() {
    Prepare("ins", "INSERT INTO " + table + "(pos, ver, data, k0, k1, s1) SELECT n.p, 1, $1::bytea, "
                   "$2::bytea, $3::bytea, n.p FROM (SELECT nextval('" + table +
                   "_pos') AS p) n ON CONFLICT DO NOTHING RETURNING pos");
  }
  // Inserts record i through "ins".
  void Insert(int i) {
    const std::vector<char> r = MakeRecord(i);
    const std::string k0 = Encoded(Key0(i), 21), k1 = Encoded(Key1(i), 41);
    const char* values[3] = {r.data(), k0.data(), k1.data()};
    const int lengths[3] = {kRecordLength, 21, 41};
    static const int formats[3] = {1, 1, 1};
    PGresult* res = PQexecPrepared(conn, "ins", 3, values, lengths, formats, 1);
    if (PQntuples(res) != 1) Fail("Insert", PQresultErrorMessage(res));
    PQclear(res);
  }
  // Runs name with binary params; copies row 0's record and key out.
  bool Row(const char* name, int n, const char* const* values, const int* lengths, char* data, char* key) {
    static const int formats[4] = {1, 1, 1, 1};
    PGresult* r = PQexecPrepared(conn, name, n, values, lengths, formats, 1);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) Fail(name, PQresultErrorMessage(r));
    const bool found = PQntuples(r) > 0;
    if (found) {
      std::memcpy(data, PQgetvalue(r, 0, 2), static_cast<size_t>(PQgetlength(r, 0, 2)));
      std::memcpy(key, PQgetvalue(r, 0, 3), static_cast<size_t>(PQgetlength(r, 0, 3)));
    }
    PQclear(r);
    return found;
  }
};

void BigEngine(int backend, benchmark::State& state) {
  static bool built[2] = {false, false};
  if (!built[backend]) {
    BuildBigFile(backend);
    built[backend] = true;
  }
  state.SetLabel(backend == kServer ? "server" : "sqlite");
}

// --- Get Equal --------------------------------------------------------------

void BM_GetEqual(benchmark::State& state) {
  const int backend = static_cast<int>(state.range(0));
  BigEngine(backend, state);
  EngineFile f(BigPath(backend));
  std::vector<char> data(kRecordLength);
  std::mt19937 rng(1);
  for (auto _ : state) {
    const std::string k = Key0(static_cast<int>(rng() % kRecords));
    std::memcpy(f.key, k.c_str(), k.size() + 1);
    uint32_t len = kRecordLength;
    if (int st = Call(B_GET_EQUAL, f.pos, data.data(), &len, f.key, 0)) Fail("Get Equal", std::to_string(st));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_GetEqual_Libpq(benchmark::State& state) {
  Raw raw(kFileName);
  raw.Prepare("eq", "SELECT pos, ver, data, k0, 0::int8 FROM " + raw.table +
                        " WHERE k0 IS NOT NULL AND k0 = $1::bytea ORDER BY k0 LIMIT 1");
  std::vector<char> data(kRecordLength);
  char key[256];
  std::mt19937 rng(1);
  for (auto _ : state) {
    const std::string k = Encoded(Key0(static_cast<int>(rng() % kRecords)), 21);
    const char* values[1] = {k.data()};
    const int lengths[1] = {21};
    if (!raw.Row("eq", 1, values, lengths, data.data(), key)) Fail("Get Equal", "not found");
  }
  state.SetItemsProcessed(state.iterations());
}

// --- Get Next over the whole file -------------------------------------------

void BM_GetNextOverFile(benchmark::State& state) {
  const int backend = static_cast<int>(state.range(0));
  BigEngine(backend, state);
  EngineFile f(BigPath(backend));
  std::vector<char> data(kRecordLength);
  int64_t records = 0;
  for (auto _ : state) {
    uint32_t len = kRecordLength;
    int st = Call(B_GET_FIRST, f.pos, data.data(), &len, f.key, 0);
    for (; st == 0; st = Call(B_GET_NEXT, f.pos, data.data(), &len, f.key, 0)) {
      ++records;
      len = kRecordLength;
    }
    if (st != B_END_OF_FILE) Fail("Get Next", std::to_string(st));
  }
  state.SetItemsProcessed(records);
}

void BM_GetNextOverFile_Libpq(benchmark::State& state) {
  Raw raw(kFileName);
  raw.Prepare("first", "SELECT pos, ver, data, k0, 0::int8 FROM " + raw.table +
                           " WHERE k0 IS NOT NULL ORDER BY k0 LIMIT 1");
  raw.Prepare("next", "SELECT pos, ver, data, k0, 0::int8 FROM " + raw.table +
                          " WHERE k0 IS NOT NULL AND k0 > $1::bytea ORDER BY k0 LIMIT $2::int8");
  std::vector<char> data(kRecordLength);
  char key[256];
  int64_t records = 0;
  for (auto _ : state) {
    bool found = raw.Row("first", 0, nullptr, nullptr, data.data(), key);
    while (found) {
      ++records;
      const std::string k = Encoded(key, 21);
      const char limit[8] = {0, 0, 0, 0, 0, 0, 0, 1};
      const char* values[2] = {k.data(), limit};
      const int lengths[2] = {21, 8};
      found = raw.Row("next", 2, values, lengths, data.data(), key);
    }
  }
  state.SetItemsProcessed(records);
}

// Get Next Extended over the whole file: 16 whole records a call, no filter.
void BM_GetNextExtendedOverFile(benchmark::State& state) {
  const int backend = static_cast<int>(state.range(0));
  BigEngine(backend, state);
  EngineFile f(BigPath(backend));
  constexpr uint16_t kPerCall = 16;
  auto put16 = [](std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  std::string body;
  put16(body, 0);         // reject count: none
  put16(body, 0);         // filter terms: none
  put16(body, kPerCall);  // records a call
  put16(body, 1);         // one field: the whole record
  put16(body, kRecordLength);
  put16(body, 0);
  std::string descriptor;
  put16(descriptor, static_cast<uint16_t>(body.size() + 4));
  descriptor += "EG" + body;
  std::vector<char> data(2 + kPerCall * (6 + kRecordLength));
  int64_t records = 0;
  for (auto _ : state) {
    uint32_t len = kRecordLength;
    if (int st = Call(B_GET_FIRST, f.pos, data.data(), &len, f.key, 0)) Fail("Get First", std::to_string(st));
    ++records;
    for (int st = 0; st == 0;) {
      std::memcpy(data.data(), descriptor.data(), descriptor.size());
      len = static_cast<uint32_t>(data.size());
      st = Call(B_GET_NEXT_EXTENDED, f.pos, data.data(), &len, f.key, 0);
      if (st != 0 && st != B_END_OF_FILE) Fail("Get Next Extended", std::to_string(st));
      uint16_t got = 0;
      std::memcpy(&got, data.data(), 2);
      records += got;
    }
  }
  state.SetItemsProcessed(records);
}

// --- Inserts ------------------------------------------------------------------

// A fresh, empty file per run of a benchmark.
std::string FreshFile(int backend) {
  static int n = 0;
  const std::string path = FreshPath(backend, ++n);
  EngineFile(path, true);
  return path;
}

void BM_InsertInTransaction(benchmark::State& state) {
  const int backend = static_cast<int>(state.range(0));
  state.SetLabel(backend == kServer ? "server" : "sqlite");
  EngineFile f(FreshFile(backend));
  int i = 0;
  for (auto _ : state) {
    if (Tx(B_BEGIN_TRAN) != 0) Fail("Begin", "");
    for (int n = 0; n < 100; ++n) {
      if (int st = f.Insert(i++)) Fail("Insert", std::to_string(st));
    }
    if (int st = Tx(B_END_TRAN)) Fail("End", std::to_string(st));
  }
  state.SetItemsProcessed(i);
}

void BM_InsertInTransaction_Libpq(benchmark::State& state) {
  const std::string path = FreshFile(kServer);
  Raw raw(path.substr(path.rfind('/') + 1).c_str());
  raw.PrepareInsert();
  int i = 0;
  for (auto _ : state) {
    raw.Exec("BEGIN; SAVEPOINT j; LOCK TABLE " + raw.table + " IN EXCLUSIVE MODE; RELEASE SAVEPOINT j");
    for (int n = 0; n < 100; ++n) raw.Insert(i++);
    raw.Exec("COMMIT");
  }
  state.SetItemsProcessed(i);
}

void BM_DurableInsert(benchmark::State& state) {
  const int backend = static_cast<int>(state.range(0));
  state.SetLabel(backend == kServer ? "server" : "sqlite");
  EngineFile f(FreshFile(backend));
  int i = 0;
  for (auto _ : state) {
    if (int st = f.Insert(i++)) Fail("Insert", std::to_string(st));
  }
  state.SetItemsProcessed(i);
}

void BM_DurableInsert_Libpq(benchmark::State& state) {
  const std::string path = FreshFile(kServer);
  Raw raw(path.substr(path.rfind('/') + 1).c_str());
  raw.PrepareInsert();
  int i = 0;
  for (auto _ : state) {
    // The engine's frame of a write outside a transaction.
    raw.Exec("BEGIN");
    raw.Insert(i++);
    raw.Exec("COMMIT");
  }
  state.SetItemsProcessed(i);
}

BENCHMARK(BM_GetEqual)->Arg(kSqlite)->Arg(kServer)->UseRealTime();
BENCHMARK(BM_GetEqual_Libpq)->UseRealTime();
BENCHMARK(BM_GetNextOverFile)->Arg(kSqlite)->Arg(kServer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GetNextOverFile_Libpq)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GetNextExtendedOverFile)->Arg(kSqlite)->Arg(kServer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InsertInTransaction)->Arg(kSqlite)->Arg(kServer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InsertInTransaction_Libpq)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DurableInsert)->Arg(kSqlite)->Arg(kServer)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DurableInsert_Libpq)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Makes both backends' directories and, once, their big files.
void Setup() {
  g_dir = bench::BenchDir();
  g_server = bench::BenchServer();
  if (g_server.empty()) Fail("finding the server", "set RECLINK_BENCH_SERVER");
  std::filesystem::create_directories(Dir(kSqlite));
  std::filesystem::create_directories(Dir(kServer));
  std::ofstream(Dir(kServer) + "/" RECMAN_SERVER_CONFIG_NAME) << "server = " << g_server << "\ndatabase = bench\n";
  for (int backend : {kSqlite, kServer}) {
    if (bench::RecordFileOpens(BigPath(backend))) continue;
    EngineFile f(BigPath(backend), true);
    for (int i = 0; i < kRecords; i += 1000) {
      Tx(B_BEGIN_TRAN);
      for (int n = i; n < i + 1000; ++n) {
        if (int st = f.Insert(n)) Fail("loading", std::to_string(st));
      }
      if (int st = Tx(B_END_TRAN)) Fail("loading", std::to_string(st));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Setup();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
