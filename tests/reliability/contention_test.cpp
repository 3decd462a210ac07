// Processes and threads sharing record files. On one file through the record
// manager: a record changed by another process (80) while the WAL index stays
// in use, threads with their own blocks.
// On one database directory through the library: patient numbers handed out
// inside transactions never repeat, every patient is stored, and a process
// killed in its transaction holds nobody up and leaves nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "reclink/btrieve.h"
#include "reclink/database.h"
#include "reclink/hooks.h"
#include "reclink/records/patient.h"
#include "support/btr_file.h"
#include "support/child_process.h"
#include "support/os_files.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

// --- one record file, through the record manager ------------------------------

constexpr uint16_t kLen = 32;

std::string Rec(const std::string& name, const std::string& note = {}) {
  return MakeRecord(kLen, {{0, name}, {12, note}});
}

// SQLite marks a WAL index as in use with a shared lock on byte 128 of the
// -shm file, on every system. A process with the file open must hold it all
// the time, also after reads, or the next process to open the file resets
// the index under it. The child checks that before it opens anything, then
// changes the record; exit code 9 when the index was free, else Update's
// status.
RECLINK_CHILD_ROLE(UpdateBehindReader) {
  if (!ByteLockedByAnother(args[0] + "-shm", 128)) return 9;
  BtrFile g;
  if (g.Open(args[0]) != 0 || g.Get(B_GET_EQUAL, 0, "rec") != 0) return 1;
  return g.Update(Rec("rec", "child"));
}

TEST(FileContention, RecordChangedByAnotherProcessGivesConflict) {
  TempDir dir;
  const std::string path = dir.file("shared.dat");
  ASSERT_EQ(CreateFile(path, MakeSpec(kLen, 1, {{1, 10, B_KEY_DUPLICATES}})), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(f.Insert(Rec("rec", "v0")), 0);
  ASSERT_EQ(f.Close(), 0);  // only reads from here on
  ASSERT_EQ(f.Open(path), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "rec"), 0);
  ChildProcess child("UpdateBehindReader", {path});
  ASSERT_EQ(child.Wait(), 0) << "9: the reader let go of the WAL index";
  EXPECT_EQ(f.Update(Rec("rec", "parent")), B_CONFLICT);
  // The very next read sees the other process's commit.
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "rec"), 0);
  EXPECT_EQ(f.Field(12), "child");
  EXPECT_EQ(f.Update(Rec("rec", "parent")), 0);
}

// Several threads, each with its own position blocks on shared files, at
// the same time: every write lands once and every read sees whole records.
TEST(ThreadContention, ConcurrentBlocksOnSharedFiles) {
  TempDir dir;
  const std::string paths[2] = {dir.file("t0.dat"), dir.file("t1.dat")};
  for (const std::string& p : paths) ASSERT_EQ(CreateFile(p, MakeSpec(kLen, 1, {{1, 16, 0}})), 0);
  constexpr int kThreads = 4, kEach = 150;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      BtrFile f(kLen);
      failures += f.Open(paths[t % 2], B_MODE_ACCELERATED) != 0;
      for (int i = 0; i < kEach; ++i) {
        // The record repeats its name, so a torn read would show.
        const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        failures += f.Insert(MakeRecord(kLen, {{0, name}, {16, name}})) != 0;
        failures += f.Get(B_GET_EQUAL, 0, name) != 0 || f.Field(16) != name;
        for (int st = i % 10 ? 1 : f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) {
          failures += f.Field(0) != f.Field(16);
        }
      }
      failures += f.Close() != 0;
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  for (const std::string& p : paths) {
    BtrFile f;
    ASSERT_EQ(f.Open(p), 0);
    int count = 0;
    for (int st = f.Step(B_STEP_FIRST); st == 0; st = f.Step(B_STEP_NEXT)) ++count;
    EXPECT_EQ(count, kThreads / 2 * kEach);
    EXPECT_EQ(f.Close(), 0);
  }
}

// --- one database directory, through the library ---------------------------------

// The processes that share the directory are child roles that send each
// library call they make, and every message box the library shows, to the
// parent as one line, in the order they happened:
//
//   M <box text>                      a box was shown
//   P <i> <status> <number>           InsertPatientData of patient i
//   H <status>                        Insert of the held patient

// Sends every box the library shows to the parent.
void SendBoxes() {
  SetMessageBoxHook([](const MessageBoxCall& box) {
    std::string text = box.text;
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    SendToParent("M " + text);
  });
}

// Numbering DIR WORKER PATIENTS: says "open" once it has the patient file
// open, then inserts PATIENTS patients named W<WORKER>-<i>, each given the
// next patient number.
RECLINK_CHILD_ROLE(Numbering) {
  SendBoxes();
  CPatientDB patient(args[0].c_str());
  if (patient.Open(BTR_OPEN_NORMAL) != 0) return 3;
  SendToParent("open");
  for (int i = 0; i < std::stoi(args[2]); ++i) {
    char* rec = patient.GetRecordBuffer();
    std::memset(rec, 0, CPatientDB::kRecordLength);
    std::snprintf(rec + 21, 41, "W%s-%d", args[1].c_str(), i);
    std::snprintf(rec + 62, 41, "KANA%d", i % 17);
    const int st = patient.InsertPatientData();
    SendToParent("P " + std::to_string(i) + " " + std::to_string(st) + " " + std::string(rec, strnlen(rec, 10)));
  }
  return 0;
}

// Hold DIR: begins a transaction, inserts patient 0000000001 named HELD and
// waits to be killed.
RECLINK_CHILD_ROLE(Hold) {
  SendBoxes();
  CPatientDB patient(args[0].c_str());
  if (patient.Open(BTR_OPEN_NORMAL) != 0 || patient.BeginTran() != 0) return 3;
  char* rec = patient.GetRecordBuffer();
  std::memset(rec, 0, CPatientDB::kRecordLength);
  std::snprintf(rec, 21, "0000000001");
  std::snprintf(rec + 21, 41, "HELD");
  SendToParent("H " + std::to_string(patient.Insert()));
  ReceiveFromParent();  // killed before the parent says anything
  return 0;
}

// The lines a child sends until it ends; the first must come within first.
std::vector<std::string> Lines(ChildProcess& child, std::chrono::milliseconds first) {
  std::vector<std::string> out;
  std::optional<std::string> line = child.Receive(first);
  EXPECT_TRUE(line) << "nothing within " << first.count()
                    << " ms of the holder's death: the waiter sat out its lock wait instead";
  for (; line; line = child.Receive()) out.push_back(*line);
  return out;
}

class Contention : public ::testing::Test {
 protected:
  void SetUp() override {
    // A generous lock wait: under this load a writer must wait, not fail.
    SetEnvironment(RECMAN_LOCK_TIMEOUT_VARIABLE, "30000");
    ASSERT_EQ(CreateRecordFile(dir_.dir().c_str(), "PATIENT1.BTR"), 0);
  }
  void TearDown() override { SetEnvironment(RECMAN_LOCK_TIMEOUT_VARIABLE, std::nullopt); }

  TempDir dir_;
};

// Four processes number patients, starting while a fifth holds the patient
// file in a transaction. They wait for it, go on at once when it is killed,
// and then every call succeeds, no box is shown, the numbers are 1..n each
// handed out once, every patient is stored as its writer made it, and
// nothing of the killed transaction is.
TEST_F(Contention, FourProcessesNumberPatientsPastAKilledHolderWithoutLosingOne) {
  constexpr int kWorkers = 4, kPatients = 250;
  ChildProcess holder("Hold", {dir_.dir()});
  ASSERT_EQ(holder.Receive(), "H 0");
  std::vector<std::unique_ptr<ChildProcess>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.push_back(std::make_unique<ChildProcess>(
        "Numbering", std::vector<std::string>{dir_.dir(), std::to_string(w), std::to_string(kPatients)}));
    ASSERT_EQ(workers[w]->Receive(), "open");
  }
  for (int w = 0; w < kWorkers; ++w) {
    EXPECT_EQ(workers[w]->Receive(std::chrono::milliseconds(0)), std::nullopt)
        << "worker " << w << " stored a patient while another process held the file";
  }
  holder.Kill();
  std::map<long, std::string> numberToName;  // acknowledged patients
  for (int w = 0; w < kWorkers; ++w) {
    for (const std::string& line : Lines(*workers[w], std::chrono::seconds(15))) {
      int i = 0, st = -1;
      long number = 0;
      ASSERT_TRUE(std::sscanf(line.c_str(), "P %d %d %ld", &i, &st, &number) == 3 && st == 0)
          << "worker " << w << ": " << line;
      const std::string name = "W" + std::to_string(w) + "-" + std::to_string(i);
      if (!numberToName.emplace(number, name).second) {
        ADD_FAILURE() << "patient number " << number << " handed out twice";
      }
    }
    EXPECT_EQ(workers[w]->Wait(), 0);
  }
  EXPECT_EQ(numberToName.size(), static_cast<size_t>(kWorkers * kPatients));
  ASSERT_FALSE(numberToName.empty());
  EXPECT_EQ(numberToName.begin()->first, 1);
  EXPECT_EQ(numberToName.rbegin()->first, static_cast<long>(numberToName.size()));

  // Every acknowledged patient is on file, carrying what its writer put
  // there (number 1 too, which the killed holder had taken), and nothing
  // else is.
  MessageBoxRecorder boxes;
  CPatientDB patient(dir_.dir().c_str());
  ASSERT_EQ(patient.Open(BTR_OPEN_NORMAL), 0);
  for (const auto& [number, name] : numberToName) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010ld", number);
    ASSERT_EQ(patient.GetPatientData(digits), 0) << digits;
    EXPECT_STREQ(patient.GetRecordBuffer() + 21, name.c_str()) << digits;
  }
  size_t patientsStored = 0;
  for (int st = patient.GetFIRST(); st == 0; st = patient.GetNEXT()) ++patientsStored;
  EXPECT_EQ(patientsStored, numberToName.size());
  EXPECT_EQ(boxes.count(), 0u);
}

}  // namespace
}  // namespace reclink::test
