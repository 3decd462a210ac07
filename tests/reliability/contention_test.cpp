// Several processes on one database directory: patient numbers handed out
// inside transactions never repeat, photo numbers that collide are retried,
// every record is stored, and the numbered interface's update meets a
// rival's change (80) and repeats until it succeeds.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <sstream>
#include <thread>

#include "os_util.h"
#include "reclink/btrieve.h"
#include "reclink/database.h"
#include "reclink/records/patient.h"
#include "reclink/records/photo.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

// A process that holds the lock by which SQLite marks a WAL index as in use
// (the byte after its eight lock bytes, offset 128 of the -shm file); 0 when
// nobody does. Asked from a process that does not have the file open.
pid_t WalIndexHolder(const std::string& path) {
  int fd = open((path + "-shm").c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 128;
  lock.l_len = 1;
  int rc = fcntl(fd, F_GETLK, &lock);
  close(fd);
  return rc == 0 && lock.l_type != F_UNLCK ? lock.l_pid : 0;
}

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
    setenv("RECMAN_LOCK_TIMEOUT_MS", "30000", 1);
    ASSERT_EQ(CreateRecordFile(dir_.dir().c_str(), "PATIENT1.BTR"), 0);
    ASSERT_EQ(CreateRecordFile(dir_.dir().c_str(), "PHOTO.BTR"), 0);
  }
  void TearDown() override { unsetenv("RECMAN_LOCK_TIMEOUT_MS"); }

  TempDir dir_;
};

TEST_F(Contention, FourProcessesNumberPatientsAndPhotosWithoutLosingOne) {
  constexpr int kWorkers = 4, kPatients = 250, kPhotos = 200;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWorkers; ++w) {
    pids.push_back(Start({RECLINK_CONTENTION_WORKER, "numbering", dir_.dir(), std::to_string(w),
                          std::to_string(kPatients), std::to_string(kPhotos),
                          dir_.file("report" + std::to_string(w))}));
    ASSERT_GT(pids.back(), 0);
  }
  for (pid_t pid : pids) EXPECT_EQ(Wait(pid), 0);

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
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  pid_t slow = Start({RECLINK_CONTENTION_WORKER, "update", dir_.dir(), "slow",
                      std::to_string(ready[1]), std::to_string(go[0]), "1", dir_.file("slow")});
  ASSERT_GT(slow, 0);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);  // slow has read the record, its Update is due
  // While slow has the file open, it holds its share of the file's WAL index:
  // else the rival's open would take the index as abandoned and reset it
  // under slow's feet.
  EXPECT_EQ(WalIndexHolder(dir_.file("PATIENT1.BTR")), slow)
      << "a process with the file open lost its lock on the WAL index";
  pid_t rival = Start({RECLINK_CONTENTION_WORKER, "update", dir_.dir(), "rival", "-1", "-1", "1",
                       dir_.file("rival")});
  ASSERT_GT(rival, 0);
  EXPECT_EQ(Wait(rival), 0);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  EXPECT_EQ(Wait(slow), 0);

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
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = Start({RECLINK_CONTENTION_WORKER, "hold", dir_.dir(), std::to_string(ready[1]),
                        dir_.file("holder")});
  ASSERT_GT(holder, 0);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  auto start = std::chrono::steady_clock::now();
  pid_t next =
      Start({RECLINK_CONTENTION_WORKER, "numbering", dir_.dir(), "7", "5", "0", dir_.file("next")});
  ASSERT_GT(next, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  int status = 0;
  EXPECT_EQ(waitpid(next, &status, WNOHANG), 0) << "the held file did not make it wait";
  kill(holder, SIGKILL);
  Wait(holder);
  EXPECT_EQ(Wait(next), 0);
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
  pid_t a = Start({RECLINK_CONTENTION_WORKER, "update", dir_.dir(), "a", "-1", "-1",
                   std::to_string(kRounds), dir_.file("a")});
  pid_t b = Start({RECLINK_CONTENTION_WORKER, "update", dir_.dir(), "b", "-1", "-1",
                   std::to_string(kRounds), dir_.file("b")});
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);
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
