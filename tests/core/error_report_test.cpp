// The error box's text and caption, the I/O-error log, and the box for the
// system's last error.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y/%m/%d", &local);
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

TEST(ErrorBox, NamesFileOperationAndStatusUnderTheApplicationsTitle) {
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord patient("PATIENT_DB", "D:\\DATA\\PATIENT1.BTR");
  script.Script(B_GET_EQUAL, {6, 9});
  patient.GetEQ();
  patient.GetEQ();
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, "RecLinkDLL ERROR:\n\nPATIENT_DB BO_GETEQ Status = 6\n\n");
  EXPECT_EQ(boxes.calls()[1].text, "RecLinkDLL ERROR:\n\nPATIENT_DB BO_GETEQ Status = 9\n\n");
  EXPECT_EQ(boxes.calls()[0].caption, std::string(AppTitle()));
  EXPECT_FALSE(boxes.calls()[0].caption.empty());
  EXPECT_EQ(boxes.calls()[0].style, MB_OK);
}

TEST(ErrorBox, AnEmptyIdentIsTakenFromThePathForGood) {
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord backslashed("", "D:\\DATA\\PATIENT1.BTR");
  TestRecord plain("", "/data/PATIENT1.BTR");
  script.Script(B_GET_FIRST, {3, 3});
  backslashed.GetFIRST();
  plain.GetFIRST();
  ASSERT_EQ(boxes.count(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, BoxText("PATIENT1.BTR", "BO_GETFIRST", 3));
  EXPECT_EQ(boxes.calls()[1].text, BoxText("/data/PATIENT1.BTR", "BO_GETFIRST", 3));
  EXPECT_EQ(backslashed.GetRecordIdent(), CString("PATIENT1.BTR"));
}

TEST(IoErrorLog, StatusTwoLogsBesideTheFileBoxedOrNot) {
  TempDir dir;
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  // A library path: the directory part ends with a backslash.
  TestRecord patient("PATIENT_DB", (dir.path() + "\\PATIENT1.BTR").c_str());
  script.Script(B_GET_EQUAL, {2});
  script.Script(B_ABORT_TRAN, {2});
  EXPECT_EQ(patient.GetEQ(), 2);
  EXPECT_EQ(patient.AbortTran(), 2);

  const std::string line = Today() + " : PATIENT_DB\r\n";
  EXPECT_EQ(ReadFile(dir.file("io_error.txt")), line + line);
  ASSERT_EQ(boxes.count(), 1u);  // Abort shows none
  EXPECT_EQ(boxes.calls()[0].text, BoxText("PATIENT_DB", "BO_GETEQ", 2));
}

TEST(IoErrorLog, AnEmptyIdentLogsEmptyThenTheNameTheBoxGaveIt) {
  TempDir dir;
  ScriptedBtrieve script;
  MessageBoxRecorder boxes;
  TestRecord rec("", (dir.path() + "/PATIENT1.BTR").c_str());
  script.Script(B_DELETE, {2, 2});
  rec.Delete();
  rec.Delete();
  const std::string date = Today();
  EXPECT_EQ(ReadFile(dir.file("io_error.txt")),
            date + " : \r\n" + date + " : " + dir.path() + "/PATIENT1.BTR\r\n");
  ASSERT_EQ(boxes.count(), 2u);
}

TEST(IoErrorLog, IsRecreatedAtTheDecimalLimit) {
  TempDir dir;
  const std::string log = dir.file("io_error.txt");
  const std::string line = Today() + " : PATIENT_DB\r\n";

  AppendIoErrorLine(log.c_str(), "PATIENT_DB");  // missing: created
  EXPECT_EQ(ReadFile(log), line);

  std::ofstream(log, std::ios::binary) << std::string(kIoErrorLogLimit - 1, 'x');
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  EXPECT_EQ(ReadFile(log), std::string(kIoErrorLogLimit - 1, 'x') + line);

  std::ofstream(log, std::ios::binary) << std::string(kIoErrorLogLimit, 'x');
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  EXPECT_EQ(ReadFile(log), line);
}

TEST(IoErrorLog, IsSkippedWhenItCannotBeOpened) {
  TempDir dir;
  MessageBoxRecorder boxes;
  AppendIoErrorLine(dir.file("no-such-dir/io_error.txt").c_str(), "PATIENT_DB");
  EXPECT_FALSE(Exists(dir.file("no-such-dir/io_error.txt")));

  // Another process holds the log open: the line is dropped, nothing waits.
  const std::string log = dir.file("io_error.txt");
  std::ofstream(log) << "held\n";
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(log.c_str(), O_RDWR);
    flock(fd, LOCK_EX);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    fcntl(fd, F_SETLK, &whole);
    char c = 1;
    (void)!write(ready[1], &c, 1);
    (void)!read(release[0], &c, 1);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  AppendIoErrorLine(log.c_str(), "PATIENT_DB");
  (void)!write(release[1], &c, 1);
  waitpid(child, nullptr, 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
  EXPECT_EQ(ReadFile(log), "held\n");
  EXPECT_EQ(boxes.count(), 0u);
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
