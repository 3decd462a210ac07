// Walks over a file on the server outside any transaction, through a
// proxy that delays every byte a fixed time each way (0, 0.25 and 1 ms, as
// a local socket, a clinic's network and a slow one): Get First, then Get
// Next to the end of 10,000 of the record manager's benchmark records, with
// read-ahead on and off in the directory's configuration. Reports the time
// of a walk and the round trips to the server it took.
//
// The server is the one RECLINK_BENCH_SERVER (else RECLINK_TEST_SERVER)
// names, reached on its Unix socket (the proxy passes that on); the file
// goes to its database "bench-walk", built once and kept. Directories live
// in $RECMAN_BENCH_DIR (default /tmp/recman-server-bench).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_place.h"
#include "delay_proxy.h"
#include "reclink/btrieve.h"
#include "reclink/recman_check.h"
#include "workload.h"

namespace {

constexpr uint16_t kRecordLength = 3600;
constexpr int kRecords = 10000;

std::string g_dir;                        // where the two directories are
std::unique_ptr<bench::DelayProxy> g_proxy;  // between the record manager and the server

[[noreturn]] void Fail(const std::string& what, const std::string& why) {
  std::fprintf(stderr, "%s failed: %s\n", what.c_str(), why.c_str());
  std::abort();
}

int Call(uint16_t op, char* pos, void* data, uint32_t* len, char* key, int8_t keyNum) {
  return BTRCALL(op, pos, data, len, key, 255, keyNum);
}

// The file as a directory with read-ahead on, or off, reaches it.
std::string FilePath(bool readAhead) { return g_dir + (readAhead ? "/walk-on" : "/walk-off") + "/WALK.DAT"; }

// Opens path into pos (its key buffer key); stops the run when it cannot.
void Open(const std::string& path, char* pos, char* key) {
  std::snprintf(key, 256, "%s", path.c_str());
  uint32_t len = 0;
  if (int st = Call(B_OPEN, pos, nullptr, &len, key, B_MODE_NORMAL)) Fail("Open " + path, std::to_string(st));
}

void BM_WalkOutsideTransactions(benchmark::State& state) {
  const bool readAhead = state.range(1) != 0;
  g_proxy->SetDelay(std::chrono::microseconds(state.range(0)));
  char pos[128] = {}, key[256] = {};
  Open(FilePath(readAhead), pos, key);
  std::vector<char> data(kRecordLength);
  uint64_t trips = 0;
  for (auto _ : state) {
    const uint64_t before = g_proxy->round_trips();
    int records = 0;
    uint32_t len = kRecordLength;
    for (int st = Call(B_GET_FIRST, pos, data.data(), &len, key, 0); st == 0;
         st = Call(B_GET_NEXT, pos, data.data(), &len, key, 0), len = kRecordLength) {
      ++records;
    }
    if (records != kRecords) Fail("the walk", std::to_string(records) + " records of " + std::to_string(kRecords));
    trips += g_proxy->round_trips() - before;
  }
  uint32_t len = 0;
  Call(B_CLOSE, pos, nullptr, &len, key, 0);
  state.counters["round_trips"] = benchmark::Counter(static_cast<double>(trips) / static_cast<double>(state.iterations()));
  state.SetLabel(std::string(readAhead ? "read-ahead" : "no read-ahead") + ", " +
                 std::to_string(state.range(0)) + " us each way");
}

// Starts the proxy before the server's socket and points both directories
// at it; builds the file once.
void Setup() {
  g_dir = bench::BenchDir();
  const std::string server = bench::BenchServer();
  if (server.empty()) Fail("finding the server", "set RECLINK_BENCH_SERVER");
  PGconn* probe = PQconnectdb(server.c_str());
  if (PQstatus(probe) != CONNECTION_OK) Fail("connecting to the server", PQerrorMessage(probe));
  const std::string host = PQhost(probe), port = PQport(probe);
  PQfinish(probe);
  if (host.empty() || host[0] != '/') Fail("finding the server's socket", "the proxy passes on a Unix socket only");
  const std::string proxyDir = g_dir + "/proxy";
  std::filesystem::create_directories(proxyDir);
  g_proxy = std::make_unique<bench::DelayProxy>(proxyDir, port, host + "/.s.PGSQL." + port);
  for (const bool on : {true, false}) {
    const std::string d = std::filesystem::path(FilePath(on)).parent_path().string();
    std::filesystem::create_directories(d);
    // The connection string's host, given last, wins over a service's.
    std::ofstream(d + "/" RECMAN_SERVER_CONFIG_NAME) << "server = " << server << " host=" << proxyDir
                                             << "\ndatabase = bench-walk\nread-ahead = " << (on ? "on" : "off") << "\n";
  }
  if (bench::RecordFileOpens(FilePath(true))) return;
  char pos[128] = {}, key[256] = {};
  std::snprintf(key, sizeof key, "%s", FilePath(true).c_str());
  std::vector<uint8_t> spec = bench::CreateSpec(kRecordLength);
  uint32_t len = static_cast<uint32_t>(spec.size());
  if (int st = Call(B_CREATE, pos, spec.data(), &len, key, 0)) Fail("Create", std::to_string(st));
  Open(FilePath(true), pos, key);
  bench::Workload w;
  w.recordLength = kRecordLength;
  for (int i = 0; i < kRecords; i += 1000) {
    BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0);
    for (int n = i; n < i + 1000; ++n) {
      std::vector<char> r = bench::Record(w, static_cast<uint32_t>(n));
      len = kRecordLength;
      if (int st = Call(B_INSERT, pos, r.data(), &len, key, 0)) Fail("loading", std::to_string(st));
    }
    if (int st = BTRCALL(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0)) Fail("loading", std::to_string(st));
  }
  Call(B_CLOSE, pos, nullptr, &len, key, 0);
}

}  // namespace

BENCHMARK(BM_WalkOutsideTransactions)
    ->ArgsProduct({{0, 250, 1000}, {1, 0}})
    ->ArgNames({"us", "ahead"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Setup();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_proxy.reset();
  return 0;
}
