// The conflict retry with a real second process: a child changes the record
// between the parent's read and its write.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "numbered_db.h"
#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

namespace {

using reclink::test::MakeRecord;
using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;

constexpr int kDbno = 250;
int g_toChild = -1;
int g_fromChild = -1;
bool g_interfere = false;            // let the child write before the next write
std::vector<std::pair<int, int>> g_calls;  // (op, status) as the record manager answered

// Reads the record of key "PAT"/"X", changes one byte and updates it, for
// every request byte; answers with the update's status.
[[noreturn]] void ChildMain(int requests, int replies) {
  CRecLink link;
  char request = 0;
  while (read(requests, &request, 1) == 1) {
    std::vector<char> data = MakeRecord(kDbno, {"PAT", "X"});
    char key[256] = {};
    std::memcpy(key, data.data(), 32);
    char reply = 1;
    if ((link.DB_Open(kDbno, 0) == 0) && link.DB_GetEQ(kDbno, 0, data.data(), key) == 0) {
      data[200] = request;
      reply = static_cast<char>(link.DB_Update(kDbno, data.data()));
    }
    link.DB_Close(kDbno);
    if (write(replies, &reply, 1) != 1) break;
  }
  _exit(0);
}

int InterferingEntry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                     uint8_t keyLen, int8_t keyNum) {
  if (op == B_UPDATE && g_interfere) {
    g_interfere = false;
    char request = 'c';
    char reply = -1;
    if (write(g_toChild, &request, 1) != 1 || read(g_fromChild, &reply, 1) != 1 || reply != 0) {
      ADD_FAILURE() << "the child could not change the record: " << int(reply);
    }
  }
  int status = BTRCALL(op, posBlock, data, dataLen, key, keyLen, keyNum);
  g_calls.emplace_back(op, status);
  return status;
}

TEST(ConflictAcrossProcesses, UpdateReadsAgainAfterAnotherProcessWrote) {
  NumberedDb db;
  int toChild[2];
  int fromChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(fromChild), 0);
  // Forked before this process touches the record manager: the child
  // inherits none of its connections.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(toChild[1]);
    close(fromChild[0]);
    ChildMain(toChild[0], fromChild[1]);
  }
  close(toChild[0]);
  close(fromChild[1]);
  g_toChild = toChild[1];
  g_fromChild = fromChild[0];

  db.Create({kDbno});
  MessageBoxRecorder boxes;
  CRecLink link;
  ASSERT_EQ(link.DB_Open(kDbno, 0), 0);
  std::vector<char> record = MakeRecord(kDbno, {"PAT", "X"});
  ASSERT_EQ(link.DB_Insert(kDbno, record.data()), 0);

  reclink::BtrieveEntry previous = reclink::SetBtrieveEntry(&InterferingEntry);
  const std::vector<std::pair<int, int>> retried = {{B_GET_EQUAL, 0}, {B_UPDATE, 80},
                                                    {B_GET_EQUAL, 0}, {B_UPDATE, 0}};
  record[100] = 'P';
  g_interfere = true;
  alarm(30);  // a retry loop that never ends fails the test instead of hanging it
  EXPECT_EQ(link.DB_Update(kDbno, record.data()), 0);
  alarm(0);
  EXPECT_EQ(g_calls, retried);

  // The parent's record is the one stored, the child's change overwritten.
  std::vector<char> data(record.size(), 0);
  char key[256] = {};
  std::memcpy(key, record.data(), 32);
  EXPECT_EQ(link.DB_GetEQ(kDbno, 0, data.data(), key), 0);
  EXPECT_EQ(data, record);

  reclink::SetBtrieveEntry(previous);
  EXPECT_EQ(boxes.count(), 0u);
  link.DB_Stop();

  close(g_toChild);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(g_fromChild);
}

}  // namespace
