// Thousands of random operations through two position blocks, run against
// the engine and against a plain in-memory model of the same semantics;
// every status, record and returned key must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <random>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// Record: name zstring 8 at 0 (key 0, unique, not modifiable); group
// string 4 at 8 (key 1, duplicates, modifiable); rank int16 at 12 (key 2,
// duplicates, modifiable); payload to 24.
constexpr uint16_t kLen = 24;
constexpr int kKeys = 3;
constexpr size_t kKeyOffset[kKeys] = {0, 8, 12}, kKeyLen[kKeys] = {8, 4, 2};

// A key value in comparable form: the name up to its zero, the group bytes,
// the rank as biased big-endian.
std::string ValueOf(int k, const std::string& rec) {
  if (k == 0) return std::string(rec.c_str(), strnlen(rec.c_str(), 8));
  if (k == 1) return rec.substr(8, 4);
  int16_t v;
  std::memcpy(&v, rec.data() + 12, 2);
  const uint16_t biased = static_cast<uint16_t>(v) ^ 0x8000;
  return std::string{static_cast<char>(biased >> 8), static_cast<char>(biased & 0xff)};
}

// The model: records and, per block, the currency the interface promises.
class Model {
 public:
  using Place = std::pair<std::string, int64_t>;  // key value, order among duplicates
  struct Rec {
    std::string data;
    int64_t seq[kKeys];  // place among duplicates per key
    int64_t ver;         // bumped by each write
    uint32_t enginePos;  // the engine's position, learnt after Insert
  };
  struct Cur {
    bool rec = false, logical = false, lost = false;
    int64_t id = 0, ver = 0, physId = 0;
    int key = 0;
    Place place;
  };
  struct Result {
    Result(int st = 0, std::string d = {}, std::string k = {}) : status(st), data(d), key(k) {}
    int status;
    std::string data, key;  // record and key returned
  };

  std::map<int64_t, Rec> recs;  // by insertion id (= physical order)
  Cur cur[2];
  int64_t counter = 0;

  Place PlaceOf(int k, const Rec& r) const { return {ValueOf(k, r.data), k == 0 ? 0 : r.seq[k]}; }

  // Moves block b onto record id through key k (or physically only, k < 0).
  Result Land(int b, int64_t id, int k, bool keyOnly = false) {
    Cur& c = cur[b];
    const Rec& r = recs.at(id);
    c.rec = !keyOnly;
    c.id = c.physId = id;
    c.ver = r.ver;
    c.logical = k >= 0;
    c.lost = false;
    if (k >= 0) c.key = k, c.place = PlaceOf(k, r);
    return {0, keyOnly ? "" : r.data, k >= 0 ? r.data.substr(kKeyOffset[k], kKeyLen[k]) : ""};
  }

  // Key number -1 changes no currency but the physical one.
  Result Insert(int b, const std::string& data, int k) {
    for (auto& [id, r] : recs) {
      if (ValueOf(0, r.data) == ValueOf(0, data)) return {B_DUPLICATE_KEY_VALUE};
    }
    const int64_t id = ++counter;
    recs[id] = Rec{data, {id, id, id}, 1, 0};
    if (k >= 0) return Land(b, id, k);
    cur[b].physId = id;
    return {0};
  }

  // Get Direct: the record at a position, onto key k's path (-1: none).
  Result Direct(int b, int64_t id, int k) {
    if (!recs.count(id)) return {B_BAD_RECORD_ADDRESS};
    return Land(b, id, k);
  }

  // The record block b may write, or the status that refuses it.
  int Writable(int b) {
    const Cur& c = cur[b];
    if (!c.rec) return B_POSITION_NOT_SET;
    auto it = recs.find(c.id);
    return it == recs.end() || it->second.ver != c.ver ? B_CONFLICT : 0;
  }

  Result Update(int b, const std::string& data, int k) {
    if (const int st = Writable(b)) return {st};
    Rec& r = recs[cur[b].id];
    if (ValueOf(0, data) != ValueOf(0, r.data)) return {B_MODIFIABLE_KEYVALUE_ERROR};
    for (int key = 1; key < kKeys; ++key) {
      if (ValueOf(key, data) != ValueOf(key, r.data)) r.seq[key] = ++counter;
    }
    r.data = data;
    r.ver++;
    if (k >= 0) return Land(b, cur[b].id, k);
    // Key number -1: the logical currency stays where it was.
    cur[b].ver = r.ver;
    cur[b].physId = cur[b].id;
    return {0};
  }

  // A Delete by another key number than the path's moves the path there,
  // without a place.
  Result Delete(int b, int k) {
    if (const int st = Writable(b)) return {st};
    Cur& c = cur[b];
    recs.erase(c.id);
    c.rec = false;
    if (c.logical && c.key != k) c.key = k, c.lost = true;
    return {0};
  }

  // Keyed reads; sought is the caller's key for the seeking operations.
  Result Get(int b, uint16_t op, int k, const std::string& sought, bool keyOnly) {
    const Cur& c = cur[b];
    if (op == B_GET_NEXT || op == B_GET_PREVIOUS) {
      if (!c.logical) return {B_POSITION_NOT_SET};
      if (c.key != k || c.lost) return {B_DIFFERENT_KEYNUMBER};
    }
    std::vector<std::pair<Place, int64_t>> path;
    for (auto& [id, r] : recs) path.push_back({PlaceOf(k, r), id});
    std::sort(path.begin(), path.end());
    std::string buf(16, '\0');
    buf.replace(kKeyOffset[k], sought.size(), sought);
    const std::string want = ValueOf(k, buf);
    std::function<bool(const Place&)> match = [](const Place&) { return true; };
    bool last = false;
    switch (op) {
      case B_GET_LAST: last = true; break;
      case B_GET_EQUAL: match = [&](const Place& p) { return p.first == want; }; break;
      case B_GET_GE: match = [&](const Place& p) { return p.first >= want; }; break;
      case B_GET_GREATER: match = [&](const Place& p) { return p.first > want; }; break;
      case B_GET_LE: last = true, match = [&](const Place& p) { return p.first <= want; }; break;
      case B_GET_LESS: last = true, match = [&](const Place& p) { return p.first < want; }; break;
      case B_GET_NEXT: match = [&](const Place& p) { return c.place < p; }; break;
      case B_GET_PREVIOUS: last = true, match = [&](const Place& p) { return p < c.place; }; break;
    }
    std::optional<int64_t> hit;
    for (auto& [p, id] : path) {
      if (match(p) && (last || !hit)) hit = id;
    }
    if (!hit) return {op == B_GET_EQUAL ? B_KEY_VALUE_NOT_FOUND : B_END_OF_FILE};
    return Land(b, *hit, k, keyOnly);
  }

  Result Step(int b, uint16_t op) {
    // A block that has read nothing yet stands before the first record.
    const int64_t at = cur[b].physId;
    std::optional<int64_t> hit;
    if (op == B_STEP_FIRST || op == B_STEP_NEXT) {
      auto it = op == B_STEP_FIRST ? recs.begin() : recs.upper_bound(at);
      if (it != recs.end()) hit = it->first;
    } else {
      auto it = op == B_STEP_LAST ? recs.end() : recs.lower_bound(at);
      if (it != recs.begin()) hit = std::prev(it)->first;
    }
    if (!hit) return {B_END_OF_FILE};
    return Land(b, *hit, -1);
  }
};

}  // namespace

// The random operations of one seed, checked against the model (the plan
// test runs them too).
void RunModel(unsigned seed) {
  TempDir dir;
  const std::string path = dir.file("model.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, kKeys,
                                      {{1, 8, 0},
                                       {9, 4, B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_STRING},
                                       {13, 2, B_KEY_DUPLICATES | B_KEY_MODIFIABLE, B_TYPE_INTEGER}})),
            0);
  BtrFile blocks[2] = {BtrFile(kLen), BtrFile(kLen)};
  // Accelerated: the model is about semantics, not syncing.
  for (BtrFile& f : blocks) ASSERT_EQ(f.Open(path, B_MODE_ACCELERATED), 0);
  Model model;
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto name = [&] {
    std::string n = "n" + std::to_string(pick(60));
    n.resize(8, '\0');
    if (pick(4) == 0) n[7] = static_cast<char>('a' + pick(26));  // bytes behind the zero
    return n;
  };
  auto randomRecord = [&](const std::string& n) {
    std::string r = n + std::string(4, static_cast<char>('a' + pick(4))) + std::string(kLen - 12, '\0');
    const int16_t rank = static_cast<int16_t>(pick(9) - 4);
    std::memcpy(r.data() + 12, &rank, 2);
    for (int i = 14; i < kLen; ++i) r[i] = static_cast<char>('A' + pick(26));
    return r;
  };
  auto soughtKey = [&](int k) -> std::string {
    if (k == 0) return name();
    if (k == 1) return std::string(4, static_cast<char>('a' + pick(5)));
    const int16_t v = static_cast<int16_t>(pick(11) - 5);
    return std::string(reinterpret_cast<const char*>(&v), 2);
  };

  const uint16_t gets[] = {B_GET_EQUAL, B_GET_NEXT, B_GET_PREVIOUS, B_GET_GREATER, B_GET_GE,
                           B_GET_LESS,  B_GET_LE,   B_GET_FIRST,    B_GET_LAST};
  const uint16_t steps[] = {B_STEP_FIRST, B_STEP_NEXT, B_STEP_PREVIOUS, B_STEP_LAST};
  std::map<int, int> seen;        // statuses met
  std::vector<uint32_t> gone;      // positions of deleted records
  // Seeds from 100 on run in transactions of 250 operations: walks while the
  // file is held (a server then fetches ahead), and failed writes inside a
  // transaction that undo only themselves.
  const bool inTransactions = seed >= 100;
  for (int i = 0; i < 4000; ++i) {
    if (inTransactions && i % 250 == 0) {
      ASSERT_EQ(i > 0 ? Tx(B_END_TRAN) : 0, 0);
      ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
    }
    const int b = pick(2);
    BtrFile& f = blocks[b];
    const int k = pick(kKeys);
    // Seeds from 100 on mostly read, so that long walks run between writes.
    int what = pick(22);
    if (seed >= 100 && what < 9 && pick(4) != 0) what = 9 + pick(8);
    Model::Result want;
    int got;
    std::string trace;
    bool returnsData = false;
    bool lands = false;  // a success makes a record current
    int keyReturned = -1;
    if (what < 4) {
      keyReturned = pick(5) == 0 ? -1 : k;
      const std::string rec = randomRecord(name());
      trace = "insert k" + std::to_string(keyReturned);
      want = model.Insert(b, rec, keyReturned);
      got = f.Insert(rec, static_cast<int8_t>(keyReturned));
      lands = keyReturned >= 0;
    } else if (what < 7) {
      // Update the current record: usually keep the name, sometimes not.
      const auto& c = model.cur[b];
      std::string n = name();
      if (c.rec && model.recs.count(c.id) && pick(6) != 0) n = model.recs[c.id].data.substr(0, 8);
      const std::string rec = randomRecord(n);
      keyReturned = pick(5) == 0 ? -1 : k;
      trace = "update k" + std::to_string(keyReturned);
      want = model.Update(b, rec, keyReturned);
      got = f.Update(rec, static_cast<int8_t>(keyReturned));
    } else if (what < 9) {
      trace = "delete k" + std::to_string(k);
      const auto current = model.recs.find(model.cur[b].id);
      const uint32_t position = model.cur[b].rec && current != model.recs.end() ? current->second.enginePos : 0;
      want = model.Delete(b, k);
      got = f.Delete(static_cast<int8_t>(k));
      if (got == 0 && position != 0) gone.push_back(position);
    } else if (what < 17) {
      const uint16_t op = gets[pick(9)];
      const bool keyOnly = pick(8) == 0;
      trace = "get " + std::to_string(op) + " k" + std::to_string(k) + (keyOnly ? " key only" : "");
      const std::string sought = soughtKey(k);
      want = model.Get(b, op, k, sought, keyOnly);
      got = f.Get(keyOnly ? static_cast<uint16_t>(op + B_GET_KEY) : op, static_cast<int8_t>(k), sought);
      returnsData = !keyOnly;
      keyReturned = k;
      lands = true;
    } else if (what < 20 || model.recs.empty()) {
      const uint16_t op = steps[pick(4)];
      trace = "step " + std::to_string(op);
      want = model.Step(b, op);
      got = f.Step(op);
      returnsData = lands = true;
    } else {
      // A position learnt earlier, or one whose record is gone; onto a key
      // path or none (-1).
      auto it = std::next(model.recs.begin(), pick(static_cast<int>(model.recs.size())));
      const bool stale = !gone.empty() && pick(5) == 0;
      const int keyNum = pick(kKeys + 1) - 1;
      if (!stale && it->second.enginePos == 0) continue;
      const uint32_t position = stale ? gone[pick(static_cast<int>(gone.size()))] : it->second.enginePos;
      trace = "direct k" + std::to_string(keyNum);
      want = stale ? Model::Result{B_BAD_RECORD_ADDRESS} : model.Direct(b, it->first, keyNum);
      got = f.Direct(position, static_cast<int8_t>(keyNum));
      returnsData = lands = true;
      keyReturned = keyNum;
    }
    trace = "operation " + std::to_string(i) + ": " + trace;
    ASSERT_EQ(got, want.status) << trace;
    ++seen[got];
    if (got != 0) continue;
    if (lands) model.recs[model.cur[b].physId].enginePos = f.Position();
    if (returnsData) {
      ASSERT_EQ(f.Record(), want.data) << trace;
    }
    if (keyReturned >= 0) {
      ASSERT_EQ(f.Key(kKeyLen[keyReturned]), want.key) << trace;
    }
  }
  if (inTransactions) {
    ASSERT_EQ(Tx(B_END_TRAN), 0);
  }
  // The walk met every outcome the semantics have, not only successes.
  for (int status : {0, 4, 5, 7, 8, 9, 10, 43, 80}) EXPECT_GT(seen[status], 0) << "status " << status;
  // Every position learnt along the way still reads its record directly.
  for (auto& [id, r] : model.recs) {
    if (r.enginePos == 0) continue;
    ASSERT_EQ(blocks[0].Direct(r.enginePos, -1), 0);
    EXPECT_EQ(blocks[0].Record(), r.data);
  }
}

namespace {

class ModelTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(ModelTest, EngineAgreesWithModel) { RunModel(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Seeds, ModelTest, ::testing::Values(1u, 2u, 3u, 101u, 105u));

}  // namespace
}  // namespace reclink::test
