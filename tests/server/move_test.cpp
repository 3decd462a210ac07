// A database directory moved onto the server with the reclink utility and
// back: each file whole or not at all, none while another program has one
// open, the directory changing sides only when every file has moved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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
  EXPECT_FALSE(std::filesystem::exists(local.file("recman-server.conf")));
  std::filesystem::remove(local.file("JUNK.BTR"));
  {
    BtrFile open(kLen);
    ASSERT_EQ(open.Open(patients), 0);
    EXPECT_NE(Reclink(move), 0) << "a workstation has a file open";
    EXPECT_FALSE(std::filesystem::exists(local.file("recman-server.conf")));
  }
  // Files of the database already on the server are replaced only on demand.
  Workstation other(database);
  ASSERT_EQ(CreateFile(other.file("OTHER.BTR"), PatientSpec()), 0);
  EXPECT_NE(Reclink(move), 0) << "the server holds a file of the database already";
  ASSERT_EQ(Reclink(move + " --force"), 0);
  ASSERT_TRUE(std::filesystem::exists(local.file("recman-server.conf")));
  // The local files are out of play: without them the utility reads the
  // server's.
  for (const auto& entry : std::filesystem::directory_iterator(local.path())) {
    if (entry.path().filename() != "recman-server.conf") std::filesystem::remove(entry.path());
  }
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
  EXPECT_TRUE(std::filesystem::exists(local.file("recman-server.conf")));
  ASSERT_EQ(f.Close(), 0);

  ASSERT_EQ(Reclink("from-server " + Quoted(local.path())), 0);
  EXPECT_FALSE(std::filesystem::exists(local.file("recman-server.conf")));
  ASSERT_EQ(f.Open(patients), 0);
  const std::vector<std::string> numbers = f.Walk(0);
  ASSERT_EQ(numbers.size(), 51u);
  EXPECT_EQ(numbers.back(), Number(51));
  EXPECT_TRUE(std::filesystem::exists(local.file("OTHER.BTR")));
}

}  // namespace
}  // namespace reclink::test
