// The record manager beside SQLite itself and LMDB on one workload, in one
// run: the way LevelDB's db_bench sits beside db_bench_sqlite3.
//
//   recman_bench [--records=N] [--record-length=N] [--probes=N] [--repeat=N]
//                [--dir=DIR] [--sides=engine,sqlite,lmdb] [--scaling]
//
// The workload: records of --record-length bytes with a unique 21-byte key 0
// and a 41-byte key 1 shared by ten records each, inserted in a real
// shuffle of key order; probes in an order of their own. Files are made once
// in --dir (default $RECMAN_BENCH_DIR or /tmp/recman-bench) and kept. Each
// read figure is the median of --repeat runs; the machine's load is printed
// before and after, since figures on a busy machine are worth less.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "side.h"

namespace bench {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "recman_bench: %s\n", what.c_str());
  std::exit(1);
}

namespace {

struct Options {
  Workload workload;                               // what every side does
  std::string dir;                                 // where files are kept
  std::vector<std::string> sides{"engine", "sqlite", "lmdb"};  // which sides run
  int repeat = 5;                                  // runs per read figure
  bool scaling = false;                            // the scaling rows instead
};

// Wall and CPU seconds of one run of f.
struct Times {
  double wall = 0;  // seconds
  double cpu = 0;   // seconds of this process
};

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Times Measure(const std::function<void()>& f) {
  const auto wall0 = std::chrono::steady_clock::now();
  const double cpu0 = CpuSeconds();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count(), CpuSeconds() - cpu0};
}

// The median of repeat runs of f, per operation (n operations a run).
Times MedianPerOp(int repeat, uint64_t n, const std::function<void()>& f) {
  std::vector<Times> runs;
  for (int i = 0; i < repeat; ++i) runs.push_back(Measure(f));
  auto median = [&](double Times::*field) {
    std::vector<double> v;
    for (const Times& t : runs) v.push_back(t.*field);
    std::sort(v.begin(), v.end());
    return v[v.size() / 2] / static_cast<double>(n);
  };
  return {median(&Times::wall), median(&Times::cpu)};
}

std::string Load() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

std::string Machine() {
  std::ifstream in("/proc/cpuinfo");
  std::string line, model;
  int cpus = 0;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0 && model.empty()) model = line.substr(line.find(':') + 2);
    if (line.rfind("processor", 0) == 0) ++cpus;
  }
  utsname u;
  uname(&u);
  return std::to_string(cpus) + " x " + model + ", " + u.sysname + " " + u.release;
}

using Row = std::map<std::string, Times>;  // side -> time per operation

// The row of the least a walk in key order costs in a side's storage.
const char* const kLeastWalk = "get_next, least possible";

void PrintRow(const std::string& op, const Row& row, const std::vector<std::string>& sides) {
  std::printf("%-26s", op.c_str());
  for (const std::string& s : sides) {
    auto it = row.find(s);
    if (it == row.end() || it->second.wall == 0) {
      std::printf(" %12s", "-");
    } else {
      std::printf(" %9.2f us", it->second.wall * 1e6);
    }
  }
  auto engine = row.find("engine");
  for (const std::string& s : sides) {
    if (s == "engine") continue;
    auto it = row.find(s);
    if (engine == row.end() || it == row.end() || it->second.wall == 0 || it->second.cpu == 0) {
      std::printf(" %16s", "-");
    } else {
      std::printf("  %5.2f (cpu %5.2f)", engine->second.wall / it->second.wall, engine->second.cpu / it->second.cpu);
    }
  }
  std::printf("\n");
  std::fflush(stdout);
}

void PrintHeader(const std::vector<std::string>& sides) {
  std::printf("%-26s", "operation (time per op)");
  for (const std::string& s : sides) std::printf(" %12s", s.c_str());
  for (const std::string& s : sides) {
    if (s != "engine") std::printf("  %16s", ("engine/" + s).c_str());
  }
  std::printf("\n");
}

std::unique_ptr<Side> Make(const std::string& name) {
  if (name == "engine") return MakeEngineSide();
  if (name == "sqlite") return MakeSqliteSide();
  if (name == "lmdb") return MakeLmdbSide();
  Fail("unknown side " + name);
}

// Puts every file under dir into the operating system's cache the same way:
// written out, pushed out of the cache, then read through once in order. How
// a file's pages came into the cache (read in order, or faulted in one by one
// through a mapping) moves every read through a mapping by a third on this
// kernel, so no side may keep a better or a worse start than another.
void SettleFiles(const std::string& dir) {
  std::vector<char> buffer(size_t{1} << 20);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("open " + entry.path().string() + ": " + std::strerror(errno));
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
  }
}

// Every read row on one file of w's records, for the sides given. The sides
// take turns, each repetition running every side once, so that a change in
// the machine's load between them falls on all alike.
std::map<std::string, Row> ReadRows(const Options& o, const Workload& w, const std::string& dir) {
  const std::vector<uint32_t> equal = ProbeOrder(w, 1), between = ProbeOrder(w, 2);
  std::vector<std::string> equalKeys, betweenKeys;
  for (uint32_t p : equal) equalKeys.push_back(Key0(p).append(kKey0Length - 16, '\0'));
  for (uint32_t p : between) {
    // Between two keys; a tenth of them beyond the last one.
    const uint32_t q = p % 10 == 0 ? w.records + p : p;
    betweenKeys.push_back((Key0(q) + "5").append(kKey0Length - 17, '\0'));
  }
  std::vector<char> out(w.recordLength);
  std::vector<std::pair<std::string, std::unique_ptr<Side>>> sides;
  for (const std::string& name : o.sides) {
    sides.emplace_back(name, Make(name));
    sides.back().second->Open(w, dir);  // makes the side's file when it is missing
    sides.back().second->Close();
  }
  SettleFiles(dir);
  for (auto& [name, side] : sides) {
    side->Open(w, dir);
    // A first walk maps what each side reads, for every side alike.
    const uint64_t n = side->WalkKey(out.data());
    if (n != w.records) Fail(name + " walked " + std::to_string(n) + " records by key");
  }
  using Runs = std::map<std::string, std::map<std::string, std::vector<Times>>>;  // op -> side -> runs
  Runs runs;
  for (int r = 0; r < o.repeat; ++r) {
    for (auto& entry : sides) {
      const std::string& name = entry.first;
      Side* side = entry.second.get();  // no structured binding: clang 14 cannot capture one
      auto perOp = [&](uint64_t n, const std::function<void()>& f) {
        Times t = Measure(f);
        t.wall /= static_cast<double>(n);
        t.cpu /= static_cast<double>(n);
        return t;
      };
      runs["get_equal"][name].push_back(perOp(w.probes, [&] {
        for (const std::string& k : equalKeys) side->GetEqual(k, out.data());
      }));
      runs["get_greater_or_equal"][name].push_back(perOp(w.probes, [&] {
        for (const std::string& k : betweenKeys) side->GetGreaterOrEqual(k, out.data());
      }));
      runs["get_next (whole file)"][name].push_back(perOp(w.records, [&] { side->WalkKey(out.data()); }));
      uint64_t n = 0;
      const Times steps = perOp(w.records, [&] { n = side->WalkPositions(out.data()); });
      if (n == w.records) runs["step_next (whole file)"][name].push_back(steps);
      const Times least = perOp(w.records, [&] { n = side->WalkKeyLeast(out.data()); });
      if (n == w.records) runs[kLeastWalk][name].push_back(least);
    }
  }
  for (auto& [name, side] : sides) side->Close();
  std::map<std::string, Row> rows;
  for (auto& [op, bySide] : runs) {
    for (auto& [name, runsOfSide] : bySide) {
      const std::vector<Times>& times = runsOfSide;  // no structured binding, as above
      auto median = [&](double Times::*field) {
        std::vector<double> v;
        for (const Times& t : times) v.push_back(t.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
      };
      rows[op][name] = {median(&Times::wall), median(&Times::cpu)};
    }
  }
  return rows;
}

// What the least walk of SQLite's storage is against LMDB's walk: how near
// any walk over records kept in position order can come.
void PrintLeastWalk(std::map<std::string, Row>& rows) {
  const Times least = rows[kLeastWalk]["sqlite"], lmdb = rows["get_next (whole file)"]["lmdb"];
  if (least.wall == 0 || lmdb.wall == 0) return;
  std::printf("  sqlite's least walk in key order is %.2f times lmdb's walk\n", least.wall / lmdb.wall);
}

void RunMain(const Options& o) {
  const Workload& w = o.workload;
  std::printf("workload: %u records of %u bytes, key 0 unique (21 bytes), key 1 ten per value (41 bytes),\n"
              "          inserted in shuffled order; %u probes in an order of their own\n",
              w.records, w.recordLength, w.probes);
  const std::string dir = o.dir + "/" + std::to_string(w.records) + "x" + std::to_string(w.recordLength);
  ::mkdir(dir.c_str(), 0755);
  PrintHeader(o.sides);
  std::map<std::string, Row> rows = ReadRows(o, w, dir);
  for (const auto& [op, row] : rows) PrintRow(op, row, o.sides);
  PrintLeastWalk(rows);

  // Writes: fresh files, numbers not in the big file.
  std::vector<uint32_t> numbers(w.inserts);
  for (uint32_t i = 0; i < w.inserts; ++i) numbers[i] = w.records + 1000000 + i;
  std::shuffle(numbers.begin(), numbers.end(), std::mt19937_64(w.seed));
  const std::vector<uint32_t> durable(numbers.begin(), numbers.begin() + w.durableInserts);
  Row inTransactions, oneByOne;
  for (const std::string& name : o.sides) {
    std::unique_ptr<Side> side = Make(name);
    if (!side) continue;
    side->PrepareInsert(w, dir);
    inTransactions[name] = MedianPerOp(1, numbers.size(), [&] { side->Insert(w, numbers, 1000); });
    side->PrepareInsert(w, dir);
    oneByOne[name] = MedianPerOp(1, durable.size(), [&] { side->Insert(w, durable, 1); });
  }
  PrintRow("insert (1,000 a txn)", inTransactions, o.sides);
  PrintRow("insert (durable each)", oneByOne, o.sides);
}

void RunScaling(const Options& o) {
  std::printf("scaling: Get Equal and Get Next as the file grows\n");
  PrintHeader(o.sides);
  const std::pair<uint32_t, uint32_t> sizes[] = {{10000, 3600}, {100000, 3600}, {1000000, 400}};
  for (const auto& [records, length] : sizes) {
    Workload w = o.workload;
    w.records = records;
    w.recordLength = length;
    const std::string dir = o.dir + "/" + std::to_string(records) + "x" + std::to_string(length);
    ::mkdir(dir.c_str(), 0755);
    std::map<std::string, Row> rows = ReadRows(o, w, dir);
    const std::string size = std::to_string(records) + " x " + std::to_string(length);
    PrintRow("get_equal " + size, rows["get_equal"], o.sides);
    PrintRow("get_next " + size, rows["get_next (whole file)"], o.sides);
    PrintRow("get_next least " + size, rows[kLeastWalk], o.sides);
  }
}

uint64_t Number(const char* text, const char* flag) {
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || v == 0) Fail(std::string("--") + flag + " takes a positive number");
  return v;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  using namespace bench;
  Options o;
  const char* env = std::getenv("RECMAN_BENCH_DIR");
  o.dir = env != nullptr && *env != '\0' ? env : "/tmp/recman-bench";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t eq = arg.find('=');
    const std::string flag = arg.substr(0, eq), value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (flag == "--records") o.workload.records = static_cast<uint32_t>(Number(value.c_str(), "records"));
    else if (flag == "--record-length") o.workload.recordLength = static_cast<uint32_t>(Number(value.c_str(), "record-length"));
    else if (flag == "--probes") o.workload.probes = static_cast<uint32_t>(Number(value.c_str(), "probes"));
    else if (flag == "--repeat") o.repeat = static_cast<int>(Number(value.c_str(), "repeat"));
    else if (flag == "--dir") o.dir = value;
    else if (flag == "--scaling") o.scaling = true;
    else if (flag == "--sides") {
      o.sides.clear();
      for (size_t at = 0; at <= value.size();) {
        const size_t comma = std::min(value.find(',', at), value.size());
        o.sides.push_back(value.substr(at, comma - at));
        at = comma + 1;
      }
    } else {
      std::fprintf(stderr,
                   "usage: recman_bench [--records=N] [--record-length=N] [--probes=N] [--repeat=N]\n"
                   "                    [--dir=DIR] [--sides=engine,sqlite,lmdb] [--scaling]\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  if (o.workload.recordLength < kKey0Length + kKey1Length || o.workload.recordLength > 4000) {
    Fail("--record-length must be 62 to 4000");
  }
  ::mkdir(o.dir.c_str(), 0755);
  std::printf("machine: %s\nload before: %s\n", Machine().c_str(), Load().c_str());
  if (o.scaling) {
    RunScaling(o);
  } else {
    RunMain(o);
  }
  std::printf("load after: %s\n", Load().c_str());
  return 0;
}
