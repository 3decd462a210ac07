// A filtered scan of a 100,000-record file along its key: through Get Next
// Extended (the filter and the extractor in the engine, many records a call)
// and as one SQLite statement stepped over the whole index with the filter in
// its WHERE clause, on the same file in the same run. Records of 200 bytes:
// key 0 a unique 16-byte zstring, a 4-byte group (ten values) at offset 16;
// the scan returns the key and the group of the records of one group.
//
//   extended_bench [--repeat=N]
//
// The file is made once in $RECMAN_BENCH_DIR (default /tmp/recman-bench) and
// kept; delete it after a change of the file format. Each figure is the
// median of the runs (default 5), the two sides taking turns.
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "reclink/btrieve.h"
#include "reclink/file_spec.h"

namespace {

constexpr uint16_t kRecordLength = 200;
constexpr int kRecords = 100000;
constexpr int kGroups = 10;
constexpr int32_t kGroupSought = 7;
constexpr uint16_t kGroupOffset = 16;
constexpr uint16_t kBatch = 1000;            // records asked of one Get Next Extended
constexpr uint32_t kEntry = 6 + 16 + 4;      // one returned record: length, position, key, group
constexpr double kTarget = 1.5;              // engine / statement

std::string g_path;

[[noreturn]] void Fail(const char* what, int status) {
  std::fprintf(stderr, "extended_bench: %s failed with status %d\n", what, status);
  std::exit(1);
}

int Call(uint16_t op, char* pos, void* data, uint32_t* len, char* key, int8_t keyNum) {
  return BTRCALL(op, pos, data, len, key, 255, keyNum);
}

// Builds the file once, in a shuffled key order.
void BuildFile() {
  struct stat st;
  if (stat(g_path.c_str(), &st) == 0) return;
  recman::FileSpec file;
  file.recordLength = kRecordLength;
  file.pageSize = 4096;
  file.keys = {recman::KeySpec{{{1, 16, B_KEY_EXTENDED_TYPE, B_TYPE_ZSTRING}}}};
  std::vector<uint8_t> spec = recman::EncodeFileSpec(file);
  char pos[128] = {}, key[256] = {};
  std::snprintf(key, sizeof key, "%s", g_path.c_str());
  uint32_t len = static_cast<uint32_t>(spec.size());
  if (int s = Call(B_CREATE, pos, spec.data(), &len, key, 0)) Fail("Create", s);
  if (int s = Call(B_OPEN, pos, nullptr, &len, key, B_MODE_ACCELERATED)) Fail("Open", s);
  Call(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0);
  for (int i = 0; i < kRecords; ++i) {
    std::vector<char> r(kRecordLength, 'x');
    std::memset(r.data(), 0, 16);
    std::snprintf(r.data(), 16, "K%012d", i * 7 % 1000003);
    const int32_t group = i % kGroups;
    std::memcpy(r.data() + kGroupOffset, &group, 4);
    len = kRecordLength;
    if (int s = Call(B_INSERT, pos, r.data(), &len, key, 0)) Fail("Insert", s);
  }
  Call(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0);
  Call(B_CLOSE, pos, nullptr, &len, key, 0);
}

void Put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }

// The descriptor: group = kGroupSought; return key 0 and the group.
std::string Descriptor(const char* id) {
  std::string d(2, '\0');
  d += id;
  Put16(d, 0);  // no reject limit
  Put16(d, 1);
  d += static_cast<char>(B_TYPE_INTEGER);
  Put16(d, 4);
  Put16(d, kGroupOffset);
  d += static_cast<char>(B_EXT_EQUAL);
  d += static_cast<char>(B_EXT_LAST_TERM);
  d.append(reinterpret_cast<const char*>(&kGroupSought), 4);
  Put16(d, kBatch);
  Put16(d, 2);
  Put16(d, 16), Put16(d, 0);
  Put16(d, 4), Put16(d, kGroupOffset);
  const uint16_t length = static_cast<uint16_t>(d.size());
  std::memcpy(d.data(), &length, 2);
  return d;
}

// The scan through the engine: Get First, then Get Next Extended ("UC" the
// first time) until the end. Returns the records found.
int64_t EngineScan(char* pos, char* key, std::vector<char>& buffer) {
  static const std::string first = Descriptor("UC"), more = Descriptor("EG");
  uint32_t len = kRecordLength;
  if (int s = Call(B_GET_FIRST, pos, buffer.data(), &len, key, 0)) Fail("Get First", s);
  int64_t found = 0;
  for (int status = 0, call = 0; status == 0; ++call) {
    const std::string& d = call == 0 ? first : more;
    std::memcpy(buffer.data(), d.data(), d.size());
    len = static_cast<uint32_t>(buffer.size());
    status = Call(B_GET_NEXT_EXTENDED, pos, buffer.data(), &len, key, 0);
    if (status != 0 && status != B_END_OF_FILE) Fail("Get Next Extended", status);
    uint16_t count;
    std::memcpy(&count, buffer.data(), 2);
    found += count;
  }
  return found;
}

// The same scan as one statement, its rows copied into a buffer laid out as
// the engine's. Returns the records found.
int64_t StatementScan(sqlite3_stmt* s, std::vector<char>& buffer) {
  int64_t found = 0;
  size_t used = 2;
  while (sqlite3_step(s) == SQLITE_ROW) {
    if (used + kEntry > buffer.size()) used = 2;
    const uint16_t length = kEntry - 6;
    const uint32_t position = static_cast<uint32_t>(sqlite3_column_int64(s, 0));
    std::memcpy(buffer.data() + used, &length, 2);
    std::memcpy(buffer.data() + used + 2, &position, 4);
    std::memcpy(buffer.data() + used + 6, sqlite3_column_blob(s, 1), 16);
    std::memcpy(buffer.data() + used + 22, sqlite3_column_blob(s, 2), 4);
    used += kEntry;
    ++found;
  }
  sqlite3_reset(s);
  return found;
}

// Wall and CPU seconds of one run.
struct Times {
  double wall = 0;
  double cpu = 0;
};

Times Measure(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--repeat=", 9) == 0 && std::atoi(argv[i] + 9) > 0) {
      repeat = std::atoi(argv[i] + 9);
    } else {
      std::fprintf(stderr, "usage: extended_bench [--repeat=N]\n");
      return 2;
    }
  }
  const char* dir = std::getenv("RECMAN_BENCH_DIR");
  const std::string d = dir != nullptr && *dir != '\0' ? dir : "/tmp/recman-bench";
  std::filesystem::create_directories(d);
  g_path = d + "/extended.dat";
  BuildFile();

  char pos[128] = {}, key[256] = {};
  std::snprintf(key, sizeof key, "%s", g_path.c_str());
  uint32_t len = 0;
  if (int s = Call(B_OPEN, pos, nullptr, &len, key, B_MODE_NORMAL)) Fail("Open", s);
  sqlite3* db = nullptr;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_open_v2(g_path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA cache_size = -65536; PRAGMA mmap_size = 0; PRAGMA temp_store = MEMORY;", nullptr,
                   nullptr, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v3(db,
                         "SELECT pos, substr(data, 1, 16), substr(data, 17, 4) FROM records INDEXED BY key0 "
                         "WHERE k0 IS NOT NULL AND substr(data, 17, 4) = ?1 ORDER BY k0",
                         -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
    Fail("SQLite's side", sqlite3_errcode(db));
  }
  sqlite3_bind_blob(stmt, 1, &kGroupSought, 4, SQLITE_STATIC);

  std::vector<char> buffer(2 + kBatch * kEntry + 512);
  std::vector<double> engineWall, engineCpu, statementWall, statementCpu;
  for (int run = 0; run < repeat; ++run) {
    int64_t found = 0;
    Times t = Measure([&] { found = EngineScan(pos, key, buffer); });
    if (found != kRecords / kGroups) Fail("the engine's count", static_cast<int>(found));
    engineWall.push_back(t.wall), engineCpu.push_back(t.cpu);
    t = Measure([&] { found = StatementScan(stmt, buffer); });
    if (found != kRecords / kGroups) Fail("the statement's count", static_cast<int>(found));
    statementWall.push_back(t.wall), statementCpu.push_back(t.cpu);
  }
  sqlite3_finalize(stmt);
  sqlite3_close_v2(db);
  Call(B_CLOSE, pos, nullptr, &len, key, 0);

  const double ew = Median(engineWall), ec = Median(engineCpu), sw = Median(statementWall), sc = Median(statementCpu);
  std::printf("filtered scan of %d records (%d returned), median of %d runs\n", kRecords, kRecords / kGroups, repeat);
  std::printf("%-28s %9.2f ms wall %9.2f ms cpu\n", "Get Next Extended", ew * 1e3, ec * 1e3);
  std::printf("%-28s %9.2f ms wall %9.2f ms cpu\n", "one SQLite statement", sw * 1e3, sc * 1e3);
  std::printf("engine / statement: %.2f wall, %.2f cpu (target %.1f)\n", ew / sw, ec / sc, kTarget);
  return 0;
}
