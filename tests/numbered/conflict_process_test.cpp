// The conflict retry with a real second process: a child changes the record
// between the parent's read and its write.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "numbered_db.h"
#include "reclink/btrieve.h"
#include "reclink/hooks.h"
#include "reclink/rec_link.h"
#include "support/test_support.h"

namespace {

using reclink::test::MakeRecord;
using reclink::test::MessageBoxRecorder;
using reclink::test::NumberedDb;

constexpr int kDbno = 250;
constexpr int kChildByte = 200;  // the byte the child changes

int g_toChild = -1;
int g_fromChild = -1;
bool g_interfere = false;
std::vector<uint16_t> g_ops;
std::vector<int> g_statuses;

// The child: for every request, change the record of the given key and
// answer with the status of its update.
[[noreturn]] void ChildMain(int requests, int replies) {
  CRecLink link;
  bool opened = false;
  char request = 0;
  while (read(requests, &request, 1) == 1) {
    char reply = 1;
    if (!opened) opened = link.DB_Open(kDbno, 0) == 0;
    std::vector<char> record = MakeRecord(kDbno, {"PAT", "X"});
    std::vector<char> data(record.size(), 0);
    char key[256] = {};
    std::memcpy(key, record.data(), 32);
    if (opened && link.DB_GetEQ(kDbno, 0, data.data(), key) == 0) {
      data[kChildByte] = request;
      reply = static_cast<char>(link.DB_Update(kDbno, data.data()));
    }
    if (write(replies, &reply, 1) != 1) break;
  }
  link.DB_Stop();
  _exit(0);
}

// The parent's entry: before its first write of a round, let the child
// change the record, then let the write go on to the record manager.
int InterferingEntry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                     uint8_t keyLen, int8_t keyNum) {
  if ((op == B_UPDATE || op == B_DELETE) && g_interfere) {
    g_interfere = false;
    char request = static_cast<char>('a' + g_ops.size() % 20);
    char reply = -1;
    if (write(g_toChild, &request, 1) != 1 || read(g_fromChild, &reply, 1) != 1 || reply != 0) {
      ADD_FAILURE() << "the child could not change the record: " << int(reply);
    }
  }
  int status = BTRCALL(op, posBlock, data, dataLen, key, keyLen, keyNum);
  g_ops.push_back(op);
  g_statuses.push_back(status);
  return status;
}

TEST(ConflictAcrossProcesses, UpdateAndDeleteReadAgainAfterAnotherProcessWrote) {
  NumberedDb db;
  int toChild[2];
  int fromChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(fromChild), 0);
  // The child is forked before this process touches the record manager, so
  // it inherits no connection of it.
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
  record[100] = 'P';
  g_interfere = true;
  EXPECT_EQ(link.DB_Update(kDbno, record.data()), 0);
  // Find, update refused by the record manager, read again, update.
  EXPECT_EQ(g_ops, (std::vector<uint16_t>{B_GET_EQUAL, B_UPDATE, B_GET_EQUAL, B_UPDATE}));
  EXPECT_EQ(g_statuses, (std::vector<int>{0, 80, 0, 0}));
  // The parent's record is the one stored, the child's change overwritten.
  std::vector<char> data(record.size(), 0);
  char key[256] = {};
  std::memcpy(key, record.data(), 32);
  EXPECT_EQ(link.DB_GetEQ(kDbno, 0, data.data(), key), 0);
  EXPECT_EQ(data, record);

  g_ops.clear();
  g_statuses.clear();
  g_interfere = true;
  EXPECT_EQ(link.DB_Delete(kDbno, record.data()), 0);
  EXPECT_EQ(g_ops, (std::vector<uint16_t>{B_GET_EQUAL, B_DELETE, B_GET_EQUAL, B_DELETE}));
  EXPECT_EQ(g_statuses, (std::vector<int>{0, 80, 0, 0}));
  reclink::SetBtrieveEntry(previous);

  std::memcpy(key, record.data(), 32);
  EXPECT_EQ(link.DB_GetEQ(kDbno, 0, data.data(), key), 4);
  EXPECT_EQ(boxes.count(), 0u);
  link.DB_Stop();

  close(g_toChild);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(g_fromChild);
}

}  // namespace
