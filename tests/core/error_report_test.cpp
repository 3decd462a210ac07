// The error box's text, the I/O-error log, and the box for the last system error.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <sstream>

#include "core/core_test_util.h"
#include "core/io_error_log.h"
#include "platform/winapi.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[16];
  std::strftime(text, sizeof text, "%Y/%m/%d", std::localtime(&now));
  return text;
}

std::string ReadFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

TEST(ErrorBox, NamesIdentLabelAndStatusOrTheFileWhenTheIdentIsEmpty) {
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord patient("PATIENT_DB", "D:\\DATA\\PATIENT1.BTR");
  TestRecord unnamed("", "D:\\DATA\\PATIENT1.BTR");
  TestRecord plain("", "/data/PATIENT1.BTR");
  script.Script(B_GET_EQUAL, {6, 3, 3});
  patient.GetEQ();
  unnamed.GetEQ();
  plain.GetEQ();
  ASSERT_EQ(boxes.count(), 3u);
  EXPECT_EQ(boxes.calls()[0].text, "RecLinkDLL ERROR:\n\nPATIENT_DB BO_GETEQ Status = 6\n\n");
  EXPECT_EQ(boxes.calls()[1].text, BoxText("PATIENT1.BTR", "BO_GETEQ", 3));
  EXPECT_EQ(boxes.calls()[2].text, BoxText("/data/PATIENT1.BTR", "BO_GETEQ", 3));
  EXPECT_EQ(unnamed.GetRecordIdent(), CString("PATIENT1.BTR"));  // kept for later use
}

TEST(IoErrorLog, StatusTwoLogsBesideTheFileWithTheIdentOfTheMoment) {
  TempDir dir;
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord rec("", (dir.path() + "\\PATIENT1.BTR").c_str());
  script.Script(B_ABORT_TRAN, {2});
  script.Script(B_DELETE, {2, 2});
  EXPECT_EQ(rec.AbortTran(), 2);  // no box, still logged, ident still empty
  EXPECT_EQ(rec.Delete(), 2);     // logged, then its box names the file
  EXPECT_EQ(rec.Delete(), 2);
  const std::string date = Today();
  EXPECT_EQ(ReadFile(dir.file("io_error.txt")),
            date + " : \r\n" + date + " : \r\n" + date + " : PATIENT1.BTR\r\n");
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText("PATIENT1.BTR", "BO_DELETE", 2));
}

TEST(IoErrorLog, IsRecreatedAtTheDecimalLimitAndSkippedWhenItCannotBeOpened) {
  TempDir dir;
  const std::string log = dir.file("io_error.txt");
  const std::string line = Today() + " : PATIENT_DB\r\n";
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  EXPECT_EQ(ReadFile(log), line);
  std::ofstream(log, std::ios::binary) << std::string(kIoErrorLogLimit - 1, 'x');
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  EXPECT_EQ(ReadFile(log), std::string(kIoErrorLogLimit - 1, 'x') + line);
  std::ofstream(log, std::ios::binary) << std::string(kIoErrorLogLimit, 'x');
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  EXPECT_EQ(ReadFile(log), line);

  AppendIoErrorLine(dir.file("none/io_error.txt").c_str(), "PATIENT_DB");
  EXPECT_FALSE(std::ifstream(dir.file("none/io_error.txt")).good());

  // Another process holds the log open: the line is dropped, nothing waits.
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready) | pipe(release), 0);
  const pid_t child = fork();
  if (child == 0) {
    flock(open(log.c_str(), O_RDWR), LOCK_EX);
    char c = 1;
    if (write(ready[1], &c, 1) == 1 && read(release[0], &c, 1) == 1) _exit(0);
    _exit(1);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  ASSERT_EQ(write(release[1], &c, 1), 1);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(ReadFile(log), line);
}

TEST(ErrorBox, LastSystemErrorIsShownWithTheStopIcon) {
  MessageBoxRecorder boxes;
  CBaseRecLink rec;
  errno = ENOENT;
  rec.GetLastErrMessage();
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.calls()[0].style, MB_OK | MB_ICONSTOP);
  EXPECT_NE(boxes.calls()[0].text.find(std::strerror(ENOENT)), std::string::npos);
}

}  // namespace
}  // namespace reclink::test
