// The extended operations' view of a file another process keeps changing.
// Their filters, extractors and statuses are a call script.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <set>
#include <string>

#include "support/btr_file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// Record: name zstring 10 at 0 (key 0, modifiable) to 28.
constexpr uint16_t kLen = 28;

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
TEST(ExtendedTest, OneCallReadsOneStateOfTheFile) {
  constexpr uint16_t kRecords = 1000;
  TempDir dir;
  const std::string path = dir.file("moving.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, 1, {{1, 10, B_KEY_MODIFIABLE}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
  for (int i = 0; i < kRecords; ++i) ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, "k" + std::to_string(100000 + i)}})), 0);
  ASSERT_EQ(Tx(B_END_TRAN), 0);
  ChildProcess mover("MoveLowestToTheEnd", {path, "1500"});
  ASSERT_EQ(mover.Receive(), "open");
  // The descriptor: its length (16, a 16-bit word), "EG", no reject count,
  // no terms, more records than there are, one field: the whole record.
  std::string whole = "EG";
  for (uint16_t word : {0, 0, kRecords + 10, 1, int{kLen}, 0}) whole.append(reinterpret_cast<const char*>(&word), 2);
  whole.insert(0, std::string{16, 0});
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
