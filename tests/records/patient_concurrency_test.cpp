// Several processes adding patients at once: every patient is stored, and no
// two share a number.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "reclink/btrieve.h"
#include "reclink/hooks.h"
#include "reclink/records/patient.h"
#include "record_db.h"

namespace reclink::test {
namespace {

constexpr int kProcesses = 4;
constexpr int kPatientsEach = 15;
constexpr int kAttemptsEach = 200;  // tries a process gets for its patients
constexpr int kName = 21;           // the patient name: who added the patient

// The child's work: adds its patients, retrying a failed insert. Exit code
// 0 when all were added.
int AddPatients(const std::string& dir, int process) {
  SetMessageBoxHook([](const MessageBoxCall&) {});  // failures under contention are retried
  CPatientDB patients(dir.c_str());
  if (patients.Open(BTR_OPEN_NORMAL) != 0) return 2;
  int added = 0;
  for (int attempt = 0; attempt < kAttemptsEach && added < kPatientsEach; ++attempt) {
    char* record = patients.GetRecordBuffer();
    std::memset(record, 0, CPatientDB::kRecordLength);
    std::snprintf(record + kName, 41, "p%d-%02d", process, added);
    if (patients.InsertPatientData() == 0) ++added;
  }
  patients.Close();
  return added == kPatientsEach ? 0 : 1;
}

TEST_F(RecordDbTest, ConcurrentInsertsNeverShareOrLoseANumber) {
  CreateFiles({"PATIENT1.BTR"});
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(AddPatients(dir(), p));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a process could not add its patients";
  }

  CPatientDB patients(dir().c_str());
  OpenOk(patients);
  std::set<std::string> names;
  std::vector<std::string> numbers;
  patients.SetKey(0);
  for (int status = patients.GetFIRST(); status == 0; status = patients.GetNEXT()) {
    numbers.emplace_back(patients.GetRecordBuffer());
    names.emplace(patients.GetRecordBuffer() + kName);
  }
  const int total = kProcesses * kPatientsEach;
  ASSERT_EQ(static_cast<int>(numbers.size()), total);
  EXPECT_EQ(static_cast<int>(names.size()), total);  // every patient exactly once
  for (int i = 0; i < total; ++i) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%010d", i + 1);
    EXPECT_EQ(numbers[i], expected);  // 1 to total, none shared, none skipped
  }
}

// The child's side of a contended insert: exit code 0 when InsertPatientData
// failed with a lock status after a box that names the file and that status.
int InsertAgainstAHeldLock(const std::string& dir) {
  BtrSetLockTimeout(100);
  std::vector<std::string> boxes;
  SetMessageBoxHook([&boxes](const MessageBoxCall& call) { boxes.push_back(call.text); });
  CPatientDB patients(dir.c_str());
  if (patients.Open(BTR_OPEN_NORMAL) != 0) return 2;
  std::memset(patients.GetRecordBuffer(), 0, CPatientDB::kRecordLength);
  int status = patients.InsertPatientData();
  if (status != B_FILE_INUSE && status != B_RECORD_INUSE) return 3;
  std::string shown = " Status = " + std::to_string(status);
  for (const std::string& box : boxes)
    if (box.find("PATIENT_DB BO_") != std::string::npos && box.find(shown) != std::string::npos)
      return 0;
  return 4;
}

TEST_F(RecordDbTest, AnInsertBlockedByAnotherProcessFailsAfterItsBox) {
  CreateFiles({"PATIENT1.BTR"});
  CPatientDB holder(dir().c_str());
  OpenOk(holder);
  std::memset(holder.GetRecordBuffer(), 0, CPatientDB::kRecordLength);
  ASSERT_EQ(holder.InsertPatientData(), 0);
  ASSERT_EQ(holder.BeginTran(), 0);
  ASSERT_EQ(holder.GetLAST(), 0);  // the transaction now holds the file

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(InsertAgainstAHeldLock(dir()));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  holder.AbortTran();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  holder.SetKey(0);
  ASSERT_EQ(holder.GetLAST(), 0);
  EXPECT_STREQ(holder.GetRecordBuffer(), "0000000001");  // nothing was added
}

}  // namespace
}  // namespace reclink::test
