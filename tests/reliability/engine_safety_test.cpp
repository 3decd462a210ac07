// What the record manager must never do, whatever other processes and the
// disk do: leave a broken or half-made file under a real name, replay one
// file's log into another, let a reader lock out the owner, or undo a
// rival's write.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "crash_workload.h"
#include "mounts.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

using crash::FileName;
using crash::FileState;
using crash::IdKey;
using crash::MakeRecord;
using crash::Records;

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    out.insert(entry.path().filename().string());
  }
  return out;
}

// The records of crash file f at path, each record image verified.
FileState StateOf(const std::string& path, int f = 0) {
  FileState out;
  EXPECT_EQ(crash::ReadRecordFile(path, f, &out), "") << path;
  return out;
}

// Changes record id of the file open in f to generation gen, reading it
// again when it changed since it was read (80), as a program would.
int Rewrite(BtrFile& f, uint32_t id, uint32_t gen, int file) {
  int st = B_CONFLICT;
  for (int tries = 0; st == B_CONFLICT && tries < 3; ++tries) {
    st = f.Get(B_GET_EQUAL, 0, IdKey(id));
    if (st == 0) st = f.Update(MakeRecord(file, id, gen));
  }
  return st;
}

// --- the other processes of these tests -------------------------------------

// Opens args[0], inserts args[1] records and holds the file until killed.
RECLINK_CHILD_ROLE(WriteAndHold) {
  BtrFile f;
  if (f.Open(args[0]) != 0) return 1;
  for (uint32_t id = 1; id <= std::stoul(args[1]); ++id) {
    if (f.Insert(MakeRecord(0, id, id)) != 0) return 2;
  }
  SendToParent("holding");
  ReceiveFromParent();
  return 0;
}

// When the parent says go, creates file 0 of directory args[0] with Create
// -1 and, if it was the first, stores records 1..10 of generation args[1].
RECLINK_CHILD_ROLE(CreateAndLoad) {
  ReceiveFromParent();
  const int st = crash::CreateRecordFile(args[0], 0, 0, -1);
  if (st != 0) {
    SendToParent(st == B_FILE_ALREADY_EXISTS ? "lost" : "status " + std::to_string(st));
    return 0;
  }
  BtrFile f;
  if (f.Open(FileName(args[0], 0)) != 0) return 1;
  for (uint32_t id = 1; id <= 10; ++id) {
    if (f.Insert(MakeRecord(0, id, std::stoul(args[1]))) != 0) return 2;
  }
  SendToParent("won");
  return 0;
}

// In one transaction, sets record 1 of files 0 (the coordinator, written
// first) and 1 of directory args[0] to generation 500, then ends it and
// stops at point args[1] of End.
RECLINK_CHILD_ROLE(EndAndStop) {
  SetEnvironment("RECMAN_TEST_CRASH_IN_END", args[1]);
  BtrFile c, p;
  if (c.Open(FileName(args[0], 0)) != 0 || p.Open(FileName(args[0], 1)) != 0) return 1;
  if (Tx(B_BEGIN_TRAN) != 0 || Rewrite(c, 1, 500, 0) != 0 || Rewrite(p, 1, 500, 1) != 0) return 2;
  return Tx(B_END_TRAN) == 0 ? 3 : 4;  // 3 when End was not stopped
}

// --- Create ----------------------------------------------------------------------

// On a disk that fills up, Create gives a complete, checked file or 18 and
// nothing at all: no file under the name, no temporary file, no log.
TEST(CreateSafety, AFullDiskGivesAWholeFileOr18AndLeavesNothingBehind) {
  TmpfsMount m(2 << 20);
  ASSERT_TRUE(m.ok()) << m.why();
  int made = 0, refused = 0;
  for (size_t leave = 8 << 10; leave <= 160 << 10; leave += 8 << 10) {
    const std::string dir = m.file("c" + std::to_string(leave));
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string ballast = FillUpTo(m.path(), leave);
    ASSERT_FALSE(ballast.empty());
    const int st = crash::CreateRecordFile(dir, 0);
    unlink(ballast.c_str());  // opening a file needs room for its log
    if (st == 0) {
      ++made;
      std::string problems;
      EXPECT_EQ(crash::CheckRecordFile(FileName(dir, 0), &problems), 0) << leave << ": " << problems;
      EXPECT_EQ(StateOf(FileName(dir, 0)), FileState{}) << leave;
    } else {
      ++refused;
      EXPECT_EQ(st, B_DISK_FULL) << leave;
      EXPECT_EQ(Entries(dir), std::set<std::string>{}) << leave;
    }
  }
  EXPECT_GT(made, 0);
  EXPECT_GT(refused, 0);
}

// Create over a file (key number 0) waits for nobody: while another process
// has the file open it gives 85. Afterwards the new file is empty, whatever
// log the old one's killed writer left, and what killed Creates left (a
// temporary file nobody holds, a minute old) has gone; a young one may be a
// Create at work and stays.
TEST(CreateSafety, ReplacingRefusesAFileInUseAndTakesOverNoLogAndNoLeftover) {
  TempDir dir;
  const std::string path = FileName(dir.path(), 0), leaf = FileName("", 0).substr(1);
  ASSERT_EQ(crash::CreateRecordFile(dir.path(), 0), 0);
  ChildProcess writer("WriteAndHold", {path, "50"});
  ASSERT_EQ(writer.Receive(), "holding");
  EXPECT_EQ(crash::CreateRecordFile(dir.path(), 0), B_FILE_INUSE);
  writer.Kill();
  ASSERT_TRUE(Entries(dir.path()).count(leaf + "-wal"));
  const std::string stale = path + ".creating-999999-1", young = path + ".creating-999999-2";
  for (const std::string& p : {stale, stale + "-journal", young}) std::ofstream(p) << "half made";
  const timeval old[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
  ASSERT_EQ(utimes(stale.c_str(), old), 0);
  ASSERT_EQ(utimes((stale + "-journal").c_str(), old), 0);
  ASSERT_EQ(crash::CreateRecordFile(dir.path(), 0), 0);
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>({leaf, leaf + ".creating-999999-2"}));
  EXPECT_EQ(StateOf(path), FileState{});
}

// Two processes create one name at once, the winner loads it: the loser
// is told 59, and the file holds the winner's records, every time.
TEST(CreateSafety, OfTwoCreatorsExactlyOneWinsAndKeepsItsRecords) {
  for (int round = 0; round < 20; ++round) {
    TempDir dir;
    ChildProcess a("CreateAndLoad", {dir.path(), "100"}), b("CreateAndLoad", {dir.path(), "200"});
    a.Send("go");
    b.Send("go");
    const auto ra = a.Receive(), rb = b.Receive();
    ASSERT_TRUE(ra && rb);
    ASSERT_EQ(std::set<std::string>({*ra, *rb}), std::set<std::string>({"won", "lost"})) << round;
    const uint32_t winner = *ra == "won" ? 100 : 200;
    EXPECT_EQ(StateOf(FileName(dir.path(), 0)), Records(10, winner)) << round;
  }
}

// --- readers of other users -----------------------------------------------------

// As user uid: opens args[0] and reads (0), or writes (1) record 1.
RECLINK_CHILD_ROLE(AsUser) {
  if (setgid(std::stoi(args[1])) != 0 || setuid(std::stoi(args[1])) != 0) return 90;
  BtrFile f;
  if (int st = f.Open(args[0])) return st;
  return args[2] == "read" ? f.Get(B_GET_EQUAL, 0, IdKey(1)) : Rewrite(f, 1, 7, 0);
}

int AsUser(const std::string& path, int uid, const char* what) {
  ChildProcess child("AsUser", {path, std::to_string(uid), what});
  return child.Wait();
}

// A reader that may write the directory but not the file cannot write
// records (46) and never leaves a log or index the owner cannot write; one
// left by an older reader is taken back. Two unprivileged users: the owner
// and a reader.
TEST(Readers, AReaderOfAnotherUserNeverLocksOutTheOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  const int owner = 60001, reader = 60002;
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  const std::string path = FileName(dir.path(), 0);
  ASSERT_EQ(crash::CreateRecordFile(dir.path(), 0, 3), 0);
  ASSERT_EQ(chown(path.c_str(), owner, owner), 0);
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  auto companionsOwnedBy = [&](int uid) {
    int n = 0;
    for (const char* suffix : {"-wal", "-shm"}) {
      struct stat st;
      n += stat((path + suffix).c_str(), &st) == 0 && static_cast<int>(st.st_uid) == uid;
    }
    return n;
  };
  // The reader first, with no log or index beside the file: it makes none.
  for (const char* suffix : {"-wal", "-shm"}) unlink((path + suffix).c_str());
  EXPECT_EQ(AsUser(path, reader, "read"), 0);
  EXPECT_EQ(AsUser(path, reader, "write"), B_ACCESS_DENIED);
  EXPECT_EQ(companionsOwnedBy(reader), 0);
  EXPECT_EQ(AsUser(path, owner, "write"), 0);
  // Beside the owner's: it reads through them.
  EXPECT_EQ(AsUser(path, reader, "read"), 0);
  EXPECT_EQ(AsUser(path, owner, "write"), 0);
  // A log and index that a reader made (an older engine did): the owner takes
  // them back and writes, and the log's commits are kept.
  for (const char* suffix : {"-wal", "-shm"}) {
    if (access((path + suffix).c_str(), F_OK) == 0) {
      ASSERT_EQ(chown((path + suffix).c_str(), reader, reader), 0);
    }
  }
  EXPECT_EQ(AsUser(path, owner, "write"), 0);
  EXPECT_EQ(companionsOwnedBy(reader), 0);
  EXPECT_EQ(StateOf(path)[1], 7u);
}

// --- transactions over several files ------------------------------------------------

// What a transaction over several files keeps in the file at path until it
// is settled: its markers, undo images and decisions (rows of each).
int64_t Bookkeeping(const std::string& path) {
  sqlite3* db = nullptr;
  int64_t rows = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    auto first = [](void* out, int, char** v, char**) { return *static_cast<int64_t*>(out) = std::atoll(v[0]), 0; };
    sqlite3_exec(db, "SELECT (SELECT count(*) FROM recman_pending) + (SELECT count(*) FROM recman_undo) + "
                 "(SELECT count(*) FROM recman_decided)", first, &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

// A process stops in End between the participant's commit and the decision
// ("participant") or after the decision ("decided"), or ends it whole; a
// rival then writes the participant, and later opens settle: the rival's
// write is never undone, the transaction is all or nothing, and nothing of
// its bookkeeping is left. The same holds when the database directory was
// moved before anyone settled it.
TEST(Transactions, ARivalWriteIsNeverUndoneAndAMovedDirectorySettles) {
  struct Case {
    const char* point;  // where End stops; "": nowhere
    bool move;          // the directory is moved before the rival comes
    uint32_t kept;      // generation of the coordinator's record 1 afterwards
  };
  for (const Case& c : {Case{"participant", false, 1}, Case{"decided", false, 500},
                        Case{"participant", true, 1}, Case{"", false, 500}}) {
    TempDir root;
    std::string dir = root.file("db");
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(crash::CreateRecordFile(dir, 0, 3), 0);
    ASSERT_EQ(crash::CreateRecordFile(dir, 1, 3), 0);
    // The rival has the participant open before End starts (unless the
    // directory moves), so that only its write can settle it.
    BtrFile rival;
    if (!c.move) {
      ASSERT_EQ(rival.Open(FileName(dir, 1)), 0);
    }
    ChildProcess ender("EndAndStop", {dir, c.point});
    ASSERT_EQ(ender.Wait(), *c.point ? 86 : 3) << c.point;
    if (c.move) {
      const std::string moved = root.file("moved");
      ASSERT_EQ(rename(dir.c_str(), moved.c_str()), 0);
      dir = moved;
      ASSERT_EQ(rival.Open(FileName(dir, 1)), 0);
    }
    ASSERT_EQ(Rewrite(rival, 1, 999, 1), 0) << c.point;
    rival.Close();
    FileState coordinator = Records(3), participant = Records(3);
    coordinator[1] = c.kept;
    participant[1] = 999;
    EXPECT_EQ(StateOf(FileName(dir, 1), 1), participant) << c.point << (c.move ? " moved" : "");
    EXPECT_EQ(StateOf(FileName(dir, 0), 0), coordinator) << c.point << (c.move ? " moved" : "");
    for (int f : {0, 1}) EXPECT_EQ(Bookkeeping(FileName(dir, f)), 0) << c.point << " file " << f;
  }
}

}  // namespace
}  // namespace reclink::test
