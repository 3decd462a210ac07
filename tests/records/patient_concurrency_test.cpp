// Several processes adding patients at once: every patient is stored and no
// two share a number; an insert blocked by another process's transaction fails.

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

// Runs child in a new process that exits with child's result.
template <class F>
pid_t Spawn(F child) {
  pid_t pid = fork();
  if (pid == 0) _exit(child());
  return pid;
}

// The exit code of process pid, or -1 when it did not exit.
int ExitCode(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(RecordDbTest, ConcurrentInsertsNeverShareOrLoseANumber) {
  CreateFiles({"PATIENT1.BTR"});
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(Spawn([&, p] {
      SetMessageBoxHook([](const MessageBoxCall&) {});  // failures under contention are retried
      CPatientDB patients(dir().c_str());
      if (patients.Open(BTR_OPEN_NORMAL) != 0) return 2;
      int added = 0;
      for (int attempt = 0; attempt < kAttemptsEach && added < kPatientsEach; ++attempt) {
        std::memset(patients.GetRecordBuffer(), 0, CPatientDB::kRecordLength);
        std::snprintf(patients.GetRecordBuffer() + kName, 41, "p%d-%02d", p, added);
        if (patients.InsertPatientData() == 0) ++added;
      }
      return added == kPatientsEach ? 0 : 1;
    }));
  }
  for (pid_t pid : children) EXPECT_EQ(ExitCode(pid), 0) << "a process could not add its patients";

  CPatientDB patients(dir().c_str());
  OpenOk(patients);
  std::set<std::string> names;
  int n = 0;
  patients.SetKey(0);
  for (int status = patients.GetFIRST(); status == 0; status = patients.GetNEXT()) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%010d", ++n);
    EXPECT_STREQ(patients.GetRecordBuffer(), expected);  // 1 to total, none shared or skipped
    names.emplace(patients.GetRecordBuffer() + kName);
  }
  EXPECT_EQ(n, kProcesses * kPatientsEach);
  EXPECT_EQ(names.size(), static_cast<size_t>(n));  // every patient exactly once
}

TEST_F(RecordDbTest, AnInsertBlockedByAnotherProcessFailsWithALockStatusAfterItsBox) {
  CreateFiles({"PATIENT1.BTR"});
  CPatientDB holder(dir().c_str());
  OpenOk(holder);
  std::memset(holder.GetRecordBuffer(), 0, CPatientDB::kRecordLength);
  ASSERT_EQ(holder.InsertPatientData(), 0);
  ASSERT_EQ(holder.BeginTran(), 0);
  ASSERT_EQ(holder.GetLAST(), 0);  // the transaction now holds the file

  pid_t child = Spawn([&] {
    BtrSetLockTimeout(100);
    std::vector<std::string> boxes;
    SetMessageBoxHook([&boxes](const MessageBoxCall& call) { boxes.push_back(call.text); });
    CPatientDB patients(dir().c_str());
    if (patients.Open(BTR_OPEN_NORMAL) != 0) return 2;
    std::memset(patients.GetRecordBuffer(), 0, CPatientDB::kRecordLength);
    int status = patients.InsertPatientData();
    if (status != B_FILE_INUSE && status != B_RECORD_INUSE) return 3;
    for (const std::string& box : boxes)  // one names the file and that status
      if (box.find("PATIENT_DB BO_") != std::string::npos &&
          box.find(" Status = " + std::to_string(status)) != std::string::npos)
        return 0;
    return 4;
  });
  EXPECT_EQ(ExitCode(child), 0);
  holder.AbortTran();
  ASSERT_EQ(holder.GetLAST(), 0);
  EXPECT_STREQ(holder.GetRecordBuffer(), "0000000001");  // nothing was added
}

}  // namespace
}  // namespace reclink::test
