// The extended operations (36-39) against a brute-force filter over the
// same records: random filters, extractors, reject counts and buffer sizes,
// scanned call after call along both keys and in physical order, both ways;
// and one call's view of a file another process keeps changing. The
// descriptors and situations with a status of their own are a call script.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "support/btr_file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// Record: name zstring 10 at 0 (key 0, unique); group int16 at 10 (key 1,
// duplicates); amount int32 at 12; tag and tag2, strings of 4 at 16 and 20.
constexpr uint16_t kLen = 28;

struct Field {
  uint8_t type;
  uint16_t offset, length;
};
constexpr Field kName{B_TYPE_ZSTRING, 0, 10}, kGroup{B_TYPE_INTEGER, 10, 2}, kAmount{B_TYPE_INTEGER, 12, 4},
    kTag{B_TYPE_STRING, 16, 4}, kTag2{B_TYPE_STRING, 20, 4};
constexpr Field kFields[] = {kName, kGroup, kAmount, kTag};

struct Term {
  Field field;
  uint8_t comparison;  // with biases
  uint8_t connector;
  std::string value;   // the constant (without B_EXT_FIELD)
};

void Put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }

// A descriptor: header, filter, extractor.
std::string Descriptor(const char* id, uint16_t reject, const std::vector<Term>& terms, uint16_t records,
                       const std::vector<Field>& fields) {
  std::string body;
  Put16(body, reject);
  Put16(body, static_cast<uint16_t>(terms.size()));
  for (const Term& t : terms) {
    body += static_cast<char>(t.field.type);
    Put16(body, t.field.length);
    Put16(body, t.field.offset);
    body += static_cast<char>(t.comparison);
    body += static_cast<char>(t.connector);
    if (t.comparison & B_EXT_FIELD) {
      Put16(body, kTag2.offset);
    } else {
      body += t.value;
    }
  }
  Put16(body, records);
  Put16(body, static_cast<uint16_t>(fields.size()));
  for (const Field& f : fields) Put16(body, f.length), Put16(body, f.offset);
  std::string out;
  Put16(out, static_cast<uint16_t>(body.size() + 4));
  return out + id + body;
}

// The order of two values of field f, as the classic interface compares them.
int Compare(const Field& f, const char* a, const char* b, bool noCase) {
  if (f.type == B_TYPE_INTEGER) {
    int64_t x = 0, y = 0;
    std::memcpy(&x, a, f.length), std::memcpy(&y, b, f.length);
    const int shift = 64 - 8 * f.length;
    x = (x << shift) >> shift, y = (y << shift) >> shift;
    return (x > y) - (x < y);
  }
  std::string s(a, f.length), t(b, f.length);
  if (f.type == B_TYPE_ZSTRING) s = s.c_str(), t = t.c_str();
  if (noCase) {
    for (std::string* u : {&s, &t}) std::transform(u->begin(), u->end(), u->begin(), [](char c) { return std::toupper(c); });
  }
  return s.compare(t) < 0 ? -1 : s.compare(t) > 0;
}

// Which orders (less, equal, greater) each comparison accepts, by its code
// (1 equal ... 6 less or equal; the unused codes 0 and 7 read as 6).
constexpr bool kAccepts[8][3] = {
    {true, true, false},  {false, true, false}, {false, false, true}, {true, false, false},
    {true, false, true},  {false, true, true},  {true, true, false},  {true, true, false}};

bool Holds(uint8_t comparison, int order) { return kAccepts[comparison & 7][order < 0 ? 0 : order == 0 ? 1 : 2]; }

int TermOrder(const Term& t, const std::string& rec) {
  const char* other = (t.comparison & B_EXT_FIELD) ? rec.data() + kTag2.offset : t.value.data();
  return Compare(t.field, rec.data() + t.field.offset, other, (t.comparison & B_EXT_NO_CASE) != 0);
}

// Strictly left to right: a true term before OR, or a false one before AND, decides.
bool Passes(const std::vector<Term>& terms, const std::string& rec) {
  for (const Term& t : terms) {
    const bool holds = Holds(t.comparison, TermOrder(t, rec));
    if (t.connector == B_EXT_LAST_TERM || (t.connector == B_EXT_OR && holds) || (t.connector == B_EXT_AND && !holds)) {
      return holds;
    }
  }
  return true;
}

// Whether a rejected record ends a walk along a key whose first segment is
// path (64): the first term, on that field, cannot hold again.
bool PastLimit(const std::vector<Term>& terms, const Field* path, bool forward, const std::string& rec) {
  if (path == nullptr || terms.empty()) return false;
  const Term& t = terms[0];
  const uint8_t c = t.comparison;
  if (t.field.offset != path->offset || (c & (B_EXT_FIELD | B_EXT_NO_CASE)) || t.connector == B_EXT_OR) return false;
  const int order = TermOrder(t, rec);
  if (Holds(c, order)) return false;
  if (c == B_EXT_EQUAL) return forward ? order > 0 : order < 0;
  return forward ? (c == B_EXT_LESS || c == B_EXT_LESS_EQ) : (c == B_EXT_GREATER || c == B_EXT_GREATER_EQ);
}

class ExtendedTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void SetUp() override {
    path_ = dir_.file("ext.dat");
    ASSERT_EQ(CreateFile(path_, MakeSpec(kLen, 2, {{1, 10, 0}, {11, 2, B_KEY_DUPLICATES, B_TYPE_INTEGER}})), 0);
    f_.recordLength = kLen;
    ASSERT_EQ(f_.Open(path_), 0);
  }
  TempDir dir_;
  std::string path_;
  BtrFile f_;
};

TEST_P(ExtendedTest, ScansAgreeWithBruteForce) {
  std::mt19937 rng(GetParam());
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* tags[] = {"abcd", "ABCD", "abce", "zzzz", "Abcd"};
  std::vector<std::pair<uint32_t, std::string>> records;  // position, bytes: physical order
  std::vector<int> names(300);
  std::iota(names.begin(), names.end(), 0);
  std::shuffle(names.begin(), names.end(), rng);
  for (int i = 0; i < 150; ++i) {
    std::string r = MakeRecord(kLen, {{0, "n" + std::to_string(names[i])}, {16, tags[pick(5)]}, {20, tags[pick(5)]}});
    const int16_t group = static_cast<int16_t>(pick(7) - 3);
    const int32_t amount = pick(2001) - 1000;
    std::memcpy(r.data() + 10, &group, 2), std::memcpy(r.data() + 12, &amount, 4);
    ASSERT_EQ(f_.Insert(r), 0);
    records.emplace_back(f_.Position(), r);
  }

  std::map<int, int> seen;  // statuses met
  for (int scan = 0; scan < 40; ++scan) {
    // Where and which way: along key 0 or 1, or in physical order.
    const int path = pick(3);
    const bool forward = pick(2) == 0;
    const Field* first = path == 0 ? &kName : path == 1 ? &kGroup : nullptr;
    std::vector<std::pair<uint32_t, std::string>> order = records;
    if (first != nullptr) {
      std::stable_sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        return Compare(*first, a.second.data() + first->offset, b.second.data() + first->offset, false) < 0;
      });
    }
    if (!forward) std::reverse(order.begin(), order.end());

    // A filter of up to three terms on values the records hold.
    std::vector<Term> terms(pick(4));
    for (size_t i = 0; i < terms.size(); ++i) {
      Term& t = terms[i];
      t.field = kFields[pick(4)];
      t.comparison = static_cast<uint8_t>(1 + pick(6));
      if (t.field.offset == kTag.offset && pick(2)) t.comparison |= pick(2) ? B_EXT_NO_CASE : B_EXT_FIELD;
      if (i == 0 && first != nullptr && pick(2)) t.field = *first;  // a term the walk can stop on
      t.value = records[pick(150)].second.substr(t.field.offset, t.field.length);
      t.connector = static_cast<uint8_t>(i + 1 == terms.size() ? 0 : 1 + pick(2));  // last, AND, OR
    }
    const std::vector<Field> fields = pick(2) ? std::vector<Field>{kAmount, kName} : std::vector<Field>{{0, 0, kLen}};
    uint32_t extracted = 0;
    for (const Field& f : fields) extracted += f.length;
    const uint16_t wanted = static_cast<uint16_t>(1 + pick(12));
    const uint16_t reject = static_cast<uint16_t>(pick(3) ? 0 : 1 + pick(30));
    const uint32_t room = pick(4) ? 2 + wanted * (6 + extracted) : 2 + pick(3) * (6 + extracted) + 5;

    // Onto the first record of the walk, which "UC" examines first.
    const uint16_t firstOp = path < 2 ? (forward ? B_GET_FIRST : B_GET_LAST) : (forward ? B_STEP_FIRST : B_STEP_LAST);
    ASSERT_EQ(path < 2 ? f_.Get(firstOp, static_cast<int8_t>(path)) : f_.Step(firstOp), 0);
    const uint16_t op = path < 2 ? (forward ? B_GET_NEXT_EXTENDED : B_GET_PREV_EXTENDED)
                                 : (forward ? B_STEP_NEXT_EXTENDED : B_STEP_PREV_EXTENDED);
    size_t next = 0;  // the model's next record of the walk
    for (int call = 0;; ++call) {
      const std::string d = Descriptor(call == 0 ? "UC" : "EG", reject, terms, wanted, fields);
      std::memcpy(f_.data.data(), d.data(), d.size());
      f_.recordLength = std::max<uint32_t>(room, static_cast<uint32_t>(d.size()));
      const int got = f_.Call(op, static_cast<int8_t>(path < 2 ? path : 0));
      f_.recordLength = kLen;
      // The model's call.
      std::string want(2, '\0');
      uint16_t count = 0, rejected = 0;
      int status = B_END_OF_FILE;
      const uint32_t capacity = std::max<uint32_t>(room, static_cast<uint32_t>(d.size()));
      for (; next < order.size(); ++next) {
        const std::string& rec = order[next].second;
        if (Passes(terms, rec)) {
          if (want.size() + 6 + extracted > capacity) {
            status = B_WORKSPACE_TOO_SMALL;
            break;
          }
          std::string bytes;
          for (const Field& f : fields) bytes += rec.substr(f.offset, f.length);
          Put16(want, static_cast<uint16_t>(bytes.size()));
          want.append(reinterpret_cast<const char*>(&order[next].first), 4);
          want += bytes;
          if (++count == wanted) {
            status = 0, ++next;
            break;
          }
        } else if (PastLimit(terms, first, forward, rec)) {
          status = B_FILTER_LIMIT_REACHED, ++next;
          break;
        } else if (++rejected == reject) {
          status = B_REJECT_COUNT_REACHED, ++next;
          break;
        }
      }
      std::memcpy(want.data(), &count, 2);
      const std::string trace = "scan " + std::to_string(scan) + " call " + std::to_string(call);
      ASSERT_EQ(got, status) << trace;
      ++seen[got];
      ASSERT_EQ(f_.Record(), want) << trace;
      const bool stuck = status == B_WORKSPACE_TOO_SMALL && count == 0;  // the buffer holds no record
      if (status == B_END_OF_FILE || status == B_FILTER_LIMIT_REACHED || stuck) break;
    }
  }
  for (int status : {0, 9, 60, 61, 64}) EXPECT_GT(seen[status], 0) << "status " << status;
}

INSTANTIATE_TEST_SUITE_P(Seeds, ExtendedTest, ::testing::Values(1u, 2u, 3u));

// Another process: for args[1] milliseconds, moves the record with the
// lowest key 0 to the end of the key by an Update, over and over; then
// says how many it moved.
RECLINK_CHILD_ROLE(MoveLowestToTheEnd) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  SendToParent("open");
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::stoi(args[1]));
  long moved = 0;
  while (std::chrono::steady_clock::now() < until) {
    if (f.Get(B_GET_FIRST, 0) != 0) continue;
    if (f.Update(MakeRecord(kLen, {{0, "z" + std::to_string(1000000 + moved)}})) == 0) ++moved;
  }
  SendToParent(std::to_string(moved));
  return 0;
}

// One call reads one state of the file: while another process moves
// records from the front of the key to its end, a call that returns the
// whole key never returns one record twice.
TEST_F(ExtendedTest, OneCallReadsOneStateOfTheFile) {
  constexpr uint16_t kRecords = 1000;
  const std::string path = dir_.file("moving.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, 1, {{1, 10, B_KEY_MODIFIABLE}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  for (int i = 0; i < kRecords; ++i) ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "k" + std::to_string(100000 + i)}})), 0);
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  ChildProcess mover("MoveLowestToTheEnd", {path, "1500"});
  ASSERT_EQ(mover.Receive(), "open");
  const std::string whole = Descriptor("EG", 0, {}, kRecords + 10, {{B_TYPE_STRING, 0, kLen}});
  int calls = 0, twice = 0;
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
       std::chrono::steady_clock::now() < until;) {
    if (f.Get(B_GET_FIRST, 0) != 0) continue;
    std::memcpy(f.data.data(), whole.data(), whole.size());
    f.recordLength = static_cast<uint32_t>(f.data.size());
    const int st = f.Call(B_GET_NEXT_EXTENDED, 0);
    f.recordLength = kLen;
    if (st != 0 && st != B_END_OF_FILE) continue;
    uint16_t n;
    std::memcpy(&n, f.data.data(), 2);
    std::set<uint32_t> seen;
    bool repeated = false;
    for (size_t at = 2, i = 0; i < n; ++i, at += 6 + kLen) {
      uint32_t pos;
      std::memcpy(&pos, f.data.data() + at + 2, 4);
      repeated = repeated || !seen.insert(pos).second;
    }
    ++calls;
    twice += repeated ? 1 : 0;
  }
  const std::optional<std::string> moved = mover.Receive();
  EXPECT_EQ(mover.Wait(), 0);
  ASSERT_TRUE(moved && std::stol(*moved) > 0) << "nothing moved meanwhile";
  EXPECT_GT(calls, 0);
  EXPECT_EQ(twice, 0) << "of " << calls << " calls, while " << *moved << " records moved";
}

}  // namespace
}  // namespace reclink::test
