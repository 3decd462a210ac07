#include "crash_workload.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "reclink/recman_check.h"

namespace reclink::crash {

std::string FileName(const std::string& dir, int f) {
  return dir + "/crash" + std::to_string(f) + ".dat";
}

uint32_t U32At(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);  // little-endian, as the records are written
  return v;
}

std::string IdKey(uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

std::string MakeRecord(int file, uint32_t id, uint32_t gen) {
  std::string rec(kRecordLength, '\0');
  std::memcpy(&rec[0], &id, 4);
  std::snprintf(&rec[kTagOffset], kTagLength, "tag%u", gen % 7);
  std::memcpy(&rec[kGenOffset], &gen, 4);
  // xorshift over (file, id, gen): a torn or mixed record cannot match.
  uint64_t x = (uint64_t(file + 1) << 56) ^ (uint64_t(id) << 32) ^ gen ^ 0x9E3779B97F4A7C15ull;
  for (size_t i = kFillOffset; i < rec.size(); ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    rec[i] = static_cast<char>(x);
  }
  return rec;
}

int CreateRecordFile(const std::string& dir, int f, uint32_t records, int8_t createMode) {
  const std::vector<uint8_t> spec = test::MakeSpec(
      kRecordLength, 2,
      {{1, 4, 0, B_TYPE_UNSIGNED_BINARY},
       {kTagOffset + 1, kTagLength, B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_ZSTRING}});
  test::BtrFile file;
  int st = file.Create(FileName(dir, f), spec, createMode);
  if (st != 0 || records == 0) return st;
  if ((st = file.Open(FileName(dir, f))) != 0) return st;
  if ((st = test::Tx(B_BEGIN_TRAN)) != 0) return st;
  for (uint32_t id = 1; id <= records && st == 0; ++id) st = file.Insert(MakeRecord(f, id, id));
  int end = test::Tx(st == 0 ? B_END_TRAN : B_ABORT_TRAN);
  file.Close();
  return st != 0 ? st : end;
}

FileState Records(uint32_t n, uint32_t gen) {
  FileState out;
  for (uint32_t id = 1; id <= n; ++id) out[id] = gen != 0 ? gen : id;
  return out;
}

std::string ReadRecordFile(const std::string& path, int f, FileState* out) {
  test::BtrFile file;
  int st = file.Open(path);
  const std::string where = "file " + std::to_string(f) + ": ";
  if (st != 0) return where + "open returned " + std::to_string(st);
  std::string problem;
  uint32_t lastId = 0;
  for (st = file.Get(B_GET_FIRST, 0); st == 0 && problem.empty(); st = file.Get(B_GET_NEXT, 0)) {
    std::string image = file.Record();
    image.resize(kRecordLength);  // a short record shows as torn
    const uint32_t id = U32At(image.data()), gen = U32At(&image[kGenOffset]);
    if (file.Record().size() != kRecordLength || MakeRecord(f, id, gen) != image) {
      problem = where + "record " + std::to_string(id) + " is torn or foreign";
    } else if (!out->empty() && id <= lastId) {
      problem = where + "key 0 out of order at " + std::to_string(id);
    }
    (*out)[id] = gen;
    lastId = id;
  }
  if (problem.empty() && st != B_END_OF_FILE) {
    problem = where + "read returned " + std::to_string(st);
  }
  st = file.Close();
  if (st != 0 && problem.empty()) problem = where + "close returned " + std::to_string(st);
  return problem;
}

int CheckRecordFile(const std::string& path, std::string* problems) {
  return BtrCheckFile(
      path.c_str(),
      [](void* ctx, const char* problem) {
        *static_cast<std::string*>(ctx) += std::string(problem) + "\n";
      },
      problems);
}

Step MakeStep(uint64_t seed, uint32_t number) {
  std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + number);
  auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
  Step step{number, pick(100) >= 35, false, {}};  // 35 in 100 are lone writes
  const unsigned writes = step.transaction ? 1 + pick(6) : 1;
  for (unsigned i = 0; i < writes; ++i) {
    step.writes.push_back({static_cast<int>(pick(kFileCount)), 1 + pick(kIdRange), pick(2) == 0});
  }
  step.abort = step.transaction && pick(5) == 0;
  return step;
}

void Apply(const Step& step, DbState* state) {
  if (step.abort) return;
  for (const Write& w : step.writes) {
    FileState& file = (*state)[w.file];
    if (w.erase && file.count(w.id) != 0) {
      file.erase(w.id);
    } else {
      file[w.id] = step.number;
    }
  }
}

}  // namespace reclink::crash
