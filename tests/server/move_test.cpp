// A database directory moved onto the server with the reclink utility and
// back: each file whole or not at all, none while another program has one
// open, the directory changing sides only when every file has moved.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "reclink/recman_check.h"
#include "run_reclink.h"
#include "server_fixture.h"

namespace reclink::test {
namespace {

TEST_F(ServerTest, DirectoryMovesToTheServerAndBack) {
  TempDir local;
  // Files of no record class: the utility checks them against nothing but themselves.
  const std::string patients = local.file("MOVED.BTR");
  ASSERT_EQ(CreateFile(patients, PatientSpec()), 0);
  ASSERT_EQ(CreateFile(local.file("OTHER.BTR"), PatientSpec()), 0);
  {
    BtrFile f(kLen);
    ASSERT_EQ(f.Open(patients), 0);
    for (long n = 1; n <= 50; ++n) ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(n)}})), 0);
  }
  const std::string database = database_ + "-moved";
  const std::string move = "to-server " + Quoted(local.path()) + " " + Quoted(TestServer()) + " " + Quoted(database);

  // A file that is no record file, or one that another program has open,
  // stops the move before anything is copied: the directory stays local.
  std::ofstream(local.file("JUNK.BTR")) << "not a record file\n";
  EXPECT_NE(Reclink(move), 0);
  EXPECT_FALSE(std::filesystem::exists(local.file(RECMAN_SERVER_CONFIG_NAME)));
  std::filesystem::remove(local.file("JUNK.BTR"));
  {
    BtrFile open(kLen);
    ASSERT_EQ(open.Open(patients), 0);
    EXPECT_NE(Reclink(move), 0) << "a workstation has a file open";
    EXPECT_FALSE(std::filesystem::exists(local.file(RECMAN_SERVER_CONFIG_NAME)));
  }
  // Files of the database already on the server are replaced only on demand.
  Workstation other(database);
  ASSERT_EQ(CreateFile(other.file("OTHER.BTR"), PatientSpec()), 0);
  EXPECT_NE(Reclink(move), 0) << "the server holds a file of the database already";
  // A password would be written where every user of the share reads it.
  EXPECT_NE(Reclink(move + " password=secret"), 0);
  ASSERT_EQ(Reclink(move + " --force"), 0);
  ASSERT_TRUE(std::filesystem::exists(local.file(RECMAN_SERVER_CONFIG_NAME)));
  // The old local files are set aside, each file has its placeholder, and
  // the utility reads the server's files through them.
  EXPECT_EQ(BtrIsPlaceholder(patients.c_str()), 1);
  EXPECT_TRUE(std::filesystem::exists(local.file("before-server/MOVED.BTR")));
  std::filesystem::remove_all(local.file("before-server"));
  TempDir scratch;
  for (const std::string& command : {"check " + Quoted(patients), "stat " + Quoted(patients),
                                     "dump " + Quoted(patients),
                                     "save " + Quoted(patients) + " " + Quoted(scratch.file("patients.seq"))}) {
    EXPECT_EQ(Reclink(command), 0) << command;
  }

  // Every workstation of the database sees the records; a new one goes to
  // the server. While one has a file open, nothing moves back.
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(other.file("MOVED.BTR")), 0);
  ASSERT_EQ(f.Walk(0).size(), 50u);
  ASSERT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(51)}})), 0);
  EXPECT_NE(Reclink("from-server " + Quoted(local.path())), 0);
  EXPECT_TRUE(std::filesystem::exists(local.file(RECMAN_SERVER_CONFIG_NAME)));
  ASSERT_EQ(f.Close(), 0);

  ASSERT_EQ(Reclink("from-server " + Quoted(local.path())), 0);
  EXPECT_FALSE(std::filesystem::exists(local.file(RECMAN_SERVER_CONFIG_NAME)));
  ASSERT_EQ(f.Open(patients), 0);
  const std::vector<std::string> numbers = f.Walk(0);
  ASSERT_EQ(numbers.size(), 51u);
  EXPECT_EQ(numbers.back(), Number(51));
  EXPECT_TRUE(std::filesystem::exists(local.file("OTHER.BTR")));
}

// A workstation's directory with nothing but the configuration of a
// database moved to the server is set up by init, which places the
// server's files there. The way back, killed at any moment, leaves the
// directory on the server with nothing lost.
TEST_F(ServerTest, InitSetsUpAWorkstationAndTheWayBackLosesNothing) {
  TempDir root;
  const std::string db = root.file("db");
  ASSERT_EQ(Reclink("demo " + Quoted(db)), 0);
  const std::string patients = ReclinkOutput("patients " + Quoted(db));
  ASSERT_NE(patients.find(" patients"), std::string::npos) << patients;
  ASSERT_EQ(Reclink("to-server " + Quoted(db) + " " + Quoted(TestServer()) + " " + Quoted(database_ + "-demo")), 0);
  const std::string second = root.file("second");
  std::filesystem::create_directory(second);
  std::filesystem::copy(db + "/" RECMAN_SERVER_CONFIG_NAME, second);
  ASSERT_EQ(Reclink("init " + Quoted(second)), 0);
  EXPECT_EQ(ReclinkOutput("patients " + Quoted(second)), patients);

  // A workstation changes the database on the server; the way back,
  // killed at any moment, leaves the directory either on the server or
  // moved whole, and the change shows either way.
  BtrFile station(3600);
  ASSERT_EQ(station.Open(second + "/PATIENT1.BTR"), 0);
  ASSERT_EQ(station.Get(B_GET_LAST, 0), 0);
  ASSERT_EQ(station.Delete(), 0);
  ASSERT_EQ(station.Close(), 0);
  const std::string changed = ReclinkOutput("patients " + Quoted(second));
  ASSERT_NE(changed, patients);
  bool local = false;
  for (double after : {0.1, 0.4, 1.0, 2.0}) {
    // The utility, killed after that many seconds unless it ended before.
    std::system(("timeout -s KILL " + std::to_string(after) + " " + Quoted(RECLINK_EXECUTABLE) + " from-server " +
                 Quoted(db) + " >/dev/null 2>&1").c_str());
    local = !std::filesystem::exists(db + "/" RECMAN_SERVER_CONFIG_NAME);
    if (local) break;
    EXPECT_EQ(ReclinkOutput("patients " + Quoted(db)), changed);
    // The server lets go of a killed client's files when it notices that
    // its connection ended: at once, or nearly.
    int opened = station.Open(second + "/PATIENT1.BTR");
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         opened == B_FILE_INUSE && std::chrono::steady_clock::now() < until;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      opened = station.Open(second + "/PATIENT1.BTR");
    }
    ASSERT_EQ(opened, 0);
    ASSERT_EQ(station.Close(), 0);
  }
  if (!local) {
    ASSERT_EQ(Reclink("from-server " + Quoted(db)), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(db + "/" RECMAN_SERVER_CONFIG_NAME));
  EXPECT_EQ(ReclinkOutput("patients " + Quoted(db)), changed);
  EXPECT_EQ(Reclink("check " + Quoted(db)), 0);

  // The server's copy goes when nobody has a file of it open.
  ASSERT_EQ(station.Open(second + "/PATIENT1.BTR"), 0);
  EXPECT_NE(Reclink("drop-server " + Quoted(db)), 0);
  ASSERT_EQ(station.Close(), 0);
  ASSERT_EQ(Reclink("drop-server " + Quoted(db)), 0);
  EXPECT_EQ(station.Open(second + "/PATIENT1.BTR"), B_FILE_NOT_FOUND);
  EXPECT_EQ(ReclinkOutput("patients " + Quoted(db)), changed);
}

}  // namespace
}  // namespace reclink::test
