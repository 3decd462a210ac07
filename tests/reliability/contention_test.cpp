// Several processes on one database directory: patient numbers handed out
// inside transactions never repeat, photo numbers that collide are retried,
// every record is stored, and the numbered interface's update meets a
// rival's change (80) and repeats until it succeeds.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "os_util.h"
#include "reclink/btrieve.h"
#include "reclink/database.h"
#include "reclink/records/patient.h"
#include "reclink/records/photo.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

// A status that is not 0 must be one the operation returns silently (5 on
// Insert) or must come after the box that reported it.
struct Outcome {
  int ok = 0;                       // calls that returned 0
  int silent = 0;                   // calls that returned 5, without a box
  int reported = 0;                 // calls that failed after their box
  std::vector<std::string> faults;  // failures without a box, boxes for success
};

void Judge(int status, int boxes, const std::string& line, Outcome* o) {
  if (status == 0) {
    ++o->ok;
    if (boxes) o->faults.push_back("box before a success: " + line);
  } else if (status == B_DUPLICATE_KEY_VALUE) {
    ++o->silent;
    if (boxes) o->faults.push_back("box for a duplicate: " + line);
  } else {
    ++o->reported;
    if (!boxes) o->faults.push_back("failure without a box: " + line);
  }
}

class Contention : public ::testing::Test {
 protected:
  void SetUp() override {
    // A generous lock wait: under this load a writer must wait, not fail.
    setenv(RECMAN_LOCK_TIMEOUT_VARIABLE, "30000", 1);
    ASSERT_EQ(CreateRecordFile(dir_.dir().c_str(), "PATIENT1.BTR"), 0);
    ASSERT_EQ(CreateRecordFile(dir_.dir().c_str(), "PHOTO.BTR"), 0);
  }
  void TearDown() override { unsetenv(RECMAN_LOCK_TIMEOUT_VARIABLE); }

  TempDir dir_;
};

TEST_F(Contention, FourProcessesNumberPatientsAndPhotosWithoutLosingOne) {
  constexpr int kWorkers = 4, kPatients = 250, kPhotos = 200;
  std::vector<std::unique_ptr<ChildProcess>> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.push_back(std::make_unique<ChildProcess>(
        "Numbering", std::vector<std::string>{dir_.dir(), std::to_string(w), std::to_string(kPatients),
                                              std::to_string(kPhotos), dir_.file("report" + std::to_string(w))}));
  }
  for (auto& w : workers) EXPECT_EQ(w->Wait(), 0);

  Outcome patients, photos;
  std::map<long, std::string> numberToName;                  // acknowledged patients
  std::map<std::pair<std::string, int>, std::string> taken;  // acknowledged photos
  for (int w = 0; w < kWorkers; ++w) {
    int boxes = 0;
    for (const std::string& line : Lines(dir_.file("report" + std::to_string(w)))) {
      std::istringstream in(line.substr(2));
      if (line[0] == 'M') {
        ++boxes;
        continue;
      }
      if (line[0] == 'P') {
        int i = 0, st = 0;
        std::string number;
        in >> i >> st >> number;
        Judge(st, boxes, line, &patients);
        std::string name = "W" + std::to_string(w) + "-" + std::to_string(i);
        if (st == 0 && !numberToName.emplace(std::stol(number), name).second) {
          ADD_FAILURE() << "patient number " << number << " handed out twice";
        }
      } else if (line[0] == 'F') {
        std::string key, tag;
        int number = 0, st = 0;
        in >> key >> number >> st >> tag;
        Judge(st, boxes, line, &photos);
        if (st == 0 && !taken.emplace(std::make_pair(key, number), tag).second) {
          ADD_FAILURE() << "photo " << key << "/" << number << " acknowledged twice";
        }
      }
      boxes = 0;
    }
  }
  for (const std::string& f : patients.faults) ADD_FAILURE() << f;
  for (const std::string& f : photos.faults) ADD_FAILURE() << f;
  std::printf(
      "patients: %d stored, %d failed after a box; photos: %d stored, %d duplicates "
      "retried, %d failed after a box\n",
      patients.ok, patients.reported, photos.ok, photos.silent, photos.reported);
  // Nothing failed under the generous lock wait, and the numbers are 1..n.
  EXPECT_EQ(patients.ok, kWorkers * kPatients);
  EXPECT_EQ(photos.ok, kWorkers * kPhotos);
  ASSERT_FALSE(numberToName.empty());
  EXPECT_EQ(numberToName.begin()->first, 1);
  EXPECT_EQ(numberToName.rbegin()->first, static_cast<long>(numberToName.size()));

  // Every acknowledged record is on file, carrying what its writer put there,
  // and nothing else is.
  MessageBoxRecorder boxes;
  CPatientDB patient(dir_.dir().c_str());
  ASSERT_EQ(patient.Open(BTR_OPEN_NORMAL), 0);
  for (const auto& [number, name] : numberToName) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010ld", number);
    ASSERT_EQ(patient.GetPatientData(digits), 0) << digits;
    EXPECT_STREQ(patient.GetRecordBuffer() + 21, name.c_str()) << digits;
  }
  CPhotoDB photo(dir_.dir().c_str());
  ASSERT_EQ(photo.Open(BTR_OPEN_NORMAL), 0);
  size_t stored = 0;
  for (int st = photo.GetFIRST(); st == 0; st = photo.GetNEXT()) {
    const char* rec = photo.GetRecordBuffer();
    auto it = taken.find({std::string(rec), std::atoi(rec + 21)});
    if (it == taken.end()) {
      ADD_FAILURE() << "photo " << rec << "/" << rec + 21 << " was never acknowledged";
    } else {
      EXPECT_STREQ(rec + 44, it->second.c_str());
    }
    ++stored;
  }
  EXPECT_EQ(stored, taken.size());
  size_t patientsStored = 0;
  for (int st = patient.GetFIRST(); st == 0; st = patient.GetNEXT()) ++patientsStored;
  EXPECT_EQ(patientsStored, numberToName.size());
  EXPECT_EQ(boxes.count(), 0u);
}

// The numbered update of a record that a rival changed between the update's
// read and its write meets 80, reads again and succeeds, without a box.
TEST_F(Contention, NumberedUpdateMeetsAConflictAndRepeatsUntilItSucceeds) {
  {
    CPatientDB patient(dir_.dir().c_str());
    ASSERT_EQ(patient.Open(BTR_OPEN_NORMAL), 0);
    std::snprintf(patient.GetRecordBuffer() + 21, 41, "first");
    ASSERT_EQ(patient.InsertPatientData(), 0);
  }
  ChildProcess slow("Update", {dir_.dir(), "slow", "stop", "1", dir_.file("slow")});
  ASSERT_EQ(slow.Receive(), "ready");  // slow has read the record, its Update is due
  ChildProcess rival("Update", {dir_.dir(), "rival", "go", "1", dir_.file("rival")});
  EXPECT_EQ(rival.Wait(), 0);
  ASSERT_TRUE(slow.Send("go"));
  EXPECT_EQ(slow.Wait(), 0);

  EXPECT_EQ(Lines(dir_.file("rival")), (std::vector<std::string>{"U 0 0", "C 0"}));
  EXPECT_EQ(Lines(dir_.file("slow")), (std::vector<std::string>{"U 0 0", "C 1"}));
  CPatientDB patient(dir_.dir().c_str());
  ASSERT_EQ(patient.Open(BTR_OPEN_NORMAL), 0);
  ASSERT_EQ(patient.GetPatientData("0000000001"), 0);
  EXPECT_STREQ(patient.GetRecordBuffer() + 21, "slow-0");
}

// A process killed while its transaction holds the patient file: the next
// process that was waiting for the file goes on at once, and nothing of the
// killed transaction is stored.
TEST_F(Contention, AProcessKilledInItsTransactionReleasesTheFileAndLeavesNothing) {
  ChildProcess holder("Hold", {dir_.dir(), dir_.file("holder")});
  ASSERT_EQ(holder.Receive(), "holding");
  auto start = std::chrono::steady_clock::now();
  ChildProcess next("Numbering", {dir_.dir(), "7", "5", "0", dir_.file("next")});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Lines(dir_.file("next")), std::vector<std::string>{}) << "the held file did not make it wait";
  holder.Kill();
  EXPECT_EQ(next.Wait(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15))
      << "the waiter sat out its lock wait instead of going on when the holder died";

  EXPECT_EQ(Lines(dir_.file("holder")), std::vector<std::string>{"H 0"});
  std::vector<std::string> expected;
  for (int i = 0; i < 5; ++i) {
    expected.push_back("P " + std::to_string(i) + " 0 000000000" + std::to_string(i + 1));
  }
  EXPECT_EQ(Lines(dir_.file("next")), expected);
  CPatientDB patient(dir_.dir().c_str());
  ASSERT_EQ(patient.Open(BTR_OPEN_NORMAL), 0);
  ASSERT_EQ(patient.GetPatientData("0000000001"), 0);
  EXPECT_STREQ(patient.GetRecordBuffer() + 21, "W7-0");
}

// Two processes rewriting one record as fast as they can: every update ends
// in 0, however many conflicts it met on the way.
TEST_F(Contention, TwoProcessesUpdatingOneRecordAllSucceed) {
  {
    CPatientDB patient(dir_.dir().c_str());
    ASSERT_EQ(patient.Open(BTR_OPEN_NORMAL), 0);
    ASSERT_EQ(patient.InsertPatientData(), 0);
  }
  constexpr int kRounds = 150;
  ChildProcess a("Update", {dir_.dir(), "a", "go", std::to_string(kRounds), dir_.file("a")});
  ChildProcess b("Update", {dir_.dir(), "b", "go", std::to_string(kRounds), dir_.file("b")});
  EXPECT_EQ(a.Wait(), 0);
  EXPECT_EQ(b.Wait(), 0);
  int conflicts = 0;
  for (const char* name : {"a", "b"}) {
    std::vector<std::string> lines = Lines(dir_.file(name));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kRounds + 1)) << name;
    for (int r = 0; r < kRounds; ++r) {
      EXPECT_EQ(lines[r], "U " + std::to_string(r) + " 0") << name;
    }
    conflicts += std::atoi(lines.back().c_str() + 2);
  }
  std::printf("%d updates, %d conflicts met and repeated\n", 2 * kRounds, conflicts);
}

}  // namespace
}  // namespace reclink::test
