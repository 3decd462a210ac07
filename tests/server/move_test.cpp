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

// The clinic's demonstration database goes to the server, is used there by
// a workstation that init set up, and comes back, the way back killed at
// any moment; the server's copy goes at last.
TEST_F(ServerTest, DirectoryMovesToTheServerAndBackLosingNothing) {
  TempDir root;
  const std::string db = root.file("db"), config = db + "/" RECMAN_SERVER_CONFIG_NAME;
  ASSERT_EQ(Reclink("demo " + Quoted(db)), 0);
  const std::string patients = ReclinkOutput("patients " + Quoted(db));
  ASSERT_NE(patients.find(" patients"), std::string::npos) << patients;
  // A file of no record class: the utility checks it against nothing but itself.
  ASSERT_EQ(CreateFile(db + "/OTHER.BTR", PatientSpec()), 0);
  const std::string database = database_ + "-moved";
  const std::string move = "to-server " + Quoted(db) + " " + Quoted(TestServer()) + " " + Quoted(database);

  // A file that is no record file, or one that another program has open,
  // stops the move before anything is copied: the directory stays local.
  std::ofstream(db + "/JUNK.BTR") << "not a record file\n";
  EXPECT_NE(Reclink(move), 0);
  EXPECT_FALSE(std::filesystem::exists(config));
  std::filesystem::remove(db + "/JUNK.BTR");
  BtrFile station(3600);
  ASSERT_EQ(station.Open(db + "/PATIENT1.BTR"), 0);
  EXPECT_NE(Reclink(move), 0) << "a workstation has a file open";
  EXPECT_FALSE(std::filesystem::exists(config));
  ASSERT_EQ(station.Close(), 0);
  // Files of the database already on the server are replaced only on
  // demand: here another layout's PATIENT1.BTR.
  Workstation other(database);
  ASSERT_EQ(CreateFile(other.file("PATIENT1.BTR"), PatientSpec()), 0);
  EXPECT_NE(Reclink(move), 0) << "the server holds a file of the database already";
  // A password would be written where every user of the share reads it.
  EXPECT_NE(Reclink(move + " password=secret"), 0);
  ASSERT_EQ(Reclink(move + " --force"), 0);
  ASSERT_TRUE(std::filesystem::exists(config));
  // The old local files are set aside, and each file has its placeholder.
  EXPECT_EQ(BtrIsPlaceholder((db + "/PATIENT1.BTR").c_str()), 1);
  EXPECT_TRUE(std::filesystem::exists(db + "/before-server/PATIENT1.BTR"));
  std::filesystem::remove_all(db + "/before-server");

  // A workstation's directory with nothing but the configuration is set up
  // by init, which places the server's files there. While it has a file
  // open, nothing moves back; its change shows once back.
  const std::string second = root.file("second");
  std::filesystem::create_directory(second);
  std::filesystem::copy(config, second);
  ASSERT_EQ(Reclink("init " + Quoted(second)), 0);
  EXPECT_EQ(ReclinkOutput("patients " + Quoted(second)), patients);
  ASSERT_EQ(station.Open(second + "/PATIENT1.BTR"), 0);
  ASSERT_EQ(station.Get(B_GET_LAST, 0), 0);
  ASSERT_EQ(station.Delete(), 0);
  EXPECT_NE(Reclink("from-server " + Quoted(db)), 0);
  EXPECT_TRUE(std::filesystem::exists(config));
  ASSERT_EQ(station.Close(), 0);
  const std::string changed = ReclinkOutput("patients " + Quoted(second));
  ASSERT_NE(changed, patients);

  // The way back, killed at any moment, leaves the directory either on the
  // server or moved whole, and the change shows either way.
  bool local = false;
  for (double after : {0.1, 0.4, 1.0, 2.0}) {
    // The utility, killed after that many seconds unless it ended before.
    std::system(("timeout -s KILL " + std::to_string(after) + " " + Quoted(RECLINK_EXECUTABLE) + " from-server " +
                 Quoted(db) + " >/dev/null 2>&1").c_str());
    local = !std::filesystem::exists(config);
    if (local) break;
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
    EXPECT_EQ(ReclinkOutput("patients " + Quoted(db)), changed);
  }
  if (!local) {
    ASSERT_EQ(Reclink("from-server " + Quoted(db)), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(config));
  EXPECT_EQ(ReclinkOutput("patients " + Quoted(db)), changed);
  EXPECT_TRUE(std::filesystem::exists(db + "/OTHER.BTR"));
  EXPECT_EQ(Reclink("check " + Quoted(db)), 0) << "every file is back, and none is a placeholder";

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
