// A clinic's database moved: rebuilt by import from a folder of saved files,
// whole or not at all (on Linux even when a signal stops it half way), and
// moved onto the server by to-server.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <random>

#include "command_test_support.h"
#include "reclink/records/catalogue.h"
#include "support/child_process.h"

namespace fs = std::filesystem;

namespace reclink::cli::test {
namespace {

// Makes the demonstration's database in db, then saves every record file of
// it into folder as NAME.SEQ, as a clinic saves its files before a move.
void SaveDemoDatabase(const std::string& db, const std::string& folder) {
  ASSERT_EQ(Reclink({"demo", db}).status, 0);
  fs::create_directories(folder);
  for (const RecordFileRow& row : kRecordFiles) {
    const std::string stem = fs::path(row.fileName).stem().string();
    Outcome o = Reclink({"save", db + "/" + row.fileName, folder + "/" + stem + ".SEQ"});
    ASSERT_EQ(o.status, 0) << o.err;
  }
}

// Whether dir holds no partial output (a name ending in .partial).
bool LeftNoPartial(const std::string& dir) {
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    if (e.path().extension() == ".partial") return false;
  }
  return true;
}

constexpr char kExtraDescription[] =
    "record=16 key=1\nposition=1 length=8 type=zstring\n";

TEST(ImportCommand, RebuildsASavedDatabaseWholeOrNotAtAll) {
  TempDir tmp;
  const std::string db = tmp.file("old");
  const std::string folder = tmp.file("saved");
  SaveDemoDatabase(db, folder);
  // A file of the clinic's own, which the catalogue does not know.
  Spit(tmp.file("extra.des"), kExtraDescription);
  ASSERT_EQ(Reclink({"create", db + "/EXTRA.BTR", tmp.file("extra.des")}).status, 0);
  InsertAll(db + "/EXTRA.BTR", {std::string("b\0......b\0.....", 16), std::string("a\0......a\0.....", 16)});
  ASSERT_EQ(Reclink({"save", db + "/EXTRA.BTR", folder + "/Extra.seq"}).status, 0);

  // Nothing refused may leave a database behind.
  const std::string other = tmp.file("other");
  fs::create_directories(other);
  Spit(other + "/PATIENT1.SEQ", "");
  Spit(other + "/patient1.txt", "");
  Spit(other + "/PHOTO.des", kExtraDescription);
  ExpectEach(1, {
      {{"import", folder, tmp.file("new")}, "Extra.seq: the database has no record file EXTRA.BTR, and no "
                                            "description Extra.des beside it"},
      {{"import", other, tmp.file("new")}, "would be loaded into PATIENT1.BTR; keep one of them"},
      {{"import", other, tmp.file("new")}, "PHOTO.des describes PHOTO.BTR, which the database itself defines"},
  });
  EXPECT_FALSE(fs::exists(tmp.file("new")));

  // With a description beside it, the file is made as described. An empty
  // directory gives way to the database.
  fs::copy_file(tmp.file("extra.des"), folder + "/extra.DES");
  fs::create_directory(tmp.file("new"));
  Outcome o = Reclink({"import", folder, tmp.file("new")});
  ASSERT_EQ(o.status, 0) << o.err;
  for (const RecordFileRow& row : kRecordFiles) {
    EXPECT_EQ(ReadAll(tmp.file("new/") + row.fileName), ReadAll(db + "/" + row.fileName)) << row.fileName;
  }
  EXPECT_EQ(ReadAll(tmp.file("new/EXTRA.BTR")), ReadAll(db + "/EXTRA.BTR"));
  EXPECT_TRUE(LeftNoPartial(tmp.path()));

  o = Reclink({"import", folder, tmp.file("new")});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("exists and is not an empty directory"));

  // A damaged saved file, its last record cut short, leaves no database.
  const std::string photos = Slurp(folder + "/PHOTO.SEQ");
  Spit(folder + "/PHOTO.SEQ", photos.substr(0, photos.size() - 20));
  o = Reclink({"import", folder, tmp.file("newer")});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("PHOTO.SEQ: record "));
  EXPECT_THAT(o.err, HasSubstr("nothing was imported; " + tmp.file("newer") + " was not made\n"));
  EXPECT_FALSE(fs::exists(tmp.file("newer")));
  EXPECT_TRUE(LeftNoPartial(tmp.path()));
#ifndef _WIN32
  // A saved file that is a FIFO keeps a run loading until a signal stops
  // it; the next import clears up what the stopped one left.
  const std::string target = tmp.file("newer");
  Spit(folder + "/PHOTO.SEQ", photos);
  const std::string fifoPath = folder + "/PATIENT1.SEQ";
  const std::string patients = Slurp(fifoPath);
  fs::remove(fifoPath);
  ASSERT_EQ(::mkfifo(fifoPath.c_str(), 0600), 0);
  // Held open for writing here, so the loading run never sees the end.
  const int fifo = ::open(fifoPath.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fifo, 0);
  ASSERT_EQ(::write(fifo, patients.data(), 10), 10);

  // The shell says its process id, which the import then takes over; the
  // import's messages come on the same channel.
  const std::string command =
      "echo $$; exec '" RECLINK_EXECUTABLE "' import '" + folder + "' '" + target + "' 2>&1 >/dev/null";
  reclink::test::ChildProcess run(reclink::test::Program{"/bin/sh", {"-c", command}});
  const std::optional<std::string> pid = run.Receive();
  ASSERT_TRUE(pid.has_value()) << "the shell said no process id";
  std::string said;
  const std::string loading = "loading " + fifoPath;
  for (std::optional<std::string> line; said.find(loading) == std::string::npos && (line = run.Receive());) {
    said += *line + "\n";
  }
  EXPECT_THAT(said, HasSubstr(loading));
  ::kill(std::stoi(*pid), SIGTERM);
  EXPECT_EQ(run.Wait(), 128 + SIGTERM) << said;
  ::close(fifo);

  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(LeftNoPartial(tmp.path()));  // the half-built database, beside where it was to go
  fs::remove(fifoPath);
  Spit(fifoPath, patients);
  o = Reclink({"import", folder, target});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.err, HasSubstr("left by an interrupted run"));
  EXPECT_TRUE(LeftNoPartial(tmp.path()));
  EXPECT_EQ(ReadAll(target + "/PATIENT1.BTR"), ReadAll(db + "/PATIENT1.BTR"));
#endif
}

// The demonstration's database moved onto the server is every
// workstation's: a copy of its directory, less the old records the move set
// aside, lists the same patients through the record classes (on Windows
// through their short paths).
TEST(ToServerCommand, ACopyOfTheMovedDirectoryIsASecondWorkstations) {
  const char* server = std::getenv("RECLINK_TEST_SERVER");
  if (server == nullptr || *server == '\0') GTEST_SKIP() << "no test server: scripts/test starts one";
  TempDir tmp;
  const std::string db = tmp.file("db"), second = tmp.file("second");
  ASSERT_EQ(Reclink({"demo", db}).status, 0);
  const Outcome before = Reclink({"patients", db});
  ASSERT_EQ(before.status, 0) << before.err;
  const std::string database = "moved-demo-" + std::to_string(std::random_device{}());
  const Outcome moved = Reclink({"to-server", db, server, database});
  ASSERT_EQ(moved.status, 0) << moved.err;
  fs::create_directory(second);
  for (const auto& entry : fs::directory_iterator(db)) {
    if (entry.path().filename() != "before-server") fs::copy(entry.path(), second / entry.path().filename());
  }
  const Outcome after = Reclink({"patients", second});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(after.out, before.out);
}

}  // namespace
}  // namespace reclink::cli::test
