// init, stat, save, load, create and clone on real record files, what
// every command says when it fails, and the exit statuses its callers see.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/btr_file.h"
#include "cli/held_file.h"
#include "command_test_support.h"
#include "reclink/btrieve.h"
#include "reclink/hooks.h"
#include "reclink/recman_check.h"
#include "reclink/records/catalogue.h"
#include "support/child_process.h"
#include "support/os_files.h"

namespace fs = std::filesystem;

namespace reclink::cli::test {
namespace {

// A record of row's length whose key fields hold text made from n, so that
// records made from different n differ in every key.
std::string MakeRecord(const RecordFileRow& row, int n) {
  std::string r(row.recordLength, '\0');
  for (int k = 0; k < row.keyCount; ++k) {
    for (int s = 0; s < row.keys[k].segmentCount; ++s) {
      const KeySegment& seg = row.keys[k].segments[s];
      std::string text = std::to_string(n * 7 + s) + "k";
      text.resize(std::min<size_t>(text.size(), seg.width - 1u));
      r.replace(seg.offset, text.size(), text);
    }
  }
  return r;
}

// The record manager as the library calls it, but Create of PHOTO.BTR fails
// as on a full disk.
int FullAtPhoto(uint16_t op, void* block, void* data, uint32_t* len, void* key, uint8_t keyLen,
                int8_t keyNum) {
  if (op == B_CREATE && std::string(static_cast<const char*>(key)).ends_with("/PHOTO.BTR")) {
    return B_DISK_FULL;
  }
  return BTRCALL(op, block, data, len, key, keyLen, keyNum);
}

TEST(InitCommand, AllOrNothingOneAtATimeAndOnlyTheMissingFilesWhenAsked) {
  TempDir tmp;
  const std::string db = tmp.file("db");
  Outcome o = Reclink({"init", db});
  ASSERT_EQ(o.status, 0) << o.err;
  InsertAll(db + "/BODY.BTR", {MakeRecord(RecordFileOf(RecordFile::kBody), 1)});
  fs::remove(db + "/LAS.BTR");
  fs::remove(db + "/PHOTO.BTR");

  o = Reclink({"init", db});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("already holds 42 record files (ADDLAT.BTR, BODY.BTR,"));
  EXPECT_FALSE(fs::exists(db + "/LAS.BTR"));  // nothing was created

  // Failing half way, it takes back what it created (LAS.BTR, made before PHOTO.BTR).
  BtrieveEntry previous = SetBtrieveEntry(&FullAtPhoto);
  o = Reclink({"init", db, "--missing"});
  SetBtrieveEntry(previous);
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("PHOTO.BTR: status 18 (disk full); removed again what it had "
                               "created: LAS.BTR\n"));
  EXPECT_FALSE(fs::exists(db + "/LAS.BTR"));
  o = Reclink({"init", db, "--missing"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "created 2 record files in " + db +
                       "; 42 were there already and were left as they were\n");
  EXPECT_EQ(ReadAll(db + "/BODY.BTR").size(), 1u);

  // While another init holds the directory, init creates and replaces nothing.
  fs::remove(db + "/LAS.BTR");
  HeldFile other;
  bool busy = false;
  std::string why;
  ASSERT_TRUE(other.HoldDirectory(db, &busy, &why)) << why;
  o = Reclink({"init", db, "--force"});
  other.Release();
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("another reclink init is working in " + db));
  EXPECT_EQ(ReadAll(db + "/BODY.BTR").size(), 1u);
  // Nor while a program has one of the files open: none is emptied.
  {
    BtrFile open;
    ASSERT_EQ(open.Open(db + "/PHOTO.BTR", B_MODE_NORMAL), 0);
    o = Reclink({"init", db, "--force"});
  }
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("another program has it open"));
  EXPECT_EQ(ReadAll(db + "/BODY.BTR").size(), 1u);
  EXPECT_FALSE(fs::exists(db + "/LAS.BTR"));

  o = Reclink({"init", db, "--force"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.out, HasSubstr("replaced BODY.BTR\n"));
  EXPECT_TRUE(fs::exists(db + "/LAS.BTR"));
  EXPECT_TRUE(ReadAll(db + "/BODY.BTR").empty());
  EXPECT_THAT(Reclink({"stat", db + "/BODY.BTR"}).out, HasSubstr("Record Length = 400\n"));
}

RECLINK_CHILD_ROLE(SayProcessId) {
  reclink::test::SendToParent(std::to_string(CurrentProcessId()));
  return 0;
}

// Partial outputs of killed runs go when their process is gone and nobody
// holds them; every other one stays.
TEST(SaveCommand, RemovesOnlyStalePartialOutputs) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.file("db")}).status, 0);
  reclink::test::ChildProcess gone("SayProcessId");
  const std::string dead = gone.Receive().value_or("0");
  ASSERT_EQ(gone.Wait(), 0);
  const std::string stale = tmp.file("a.seq.reclink-" + dead + ".partial");
  const std::string locked = tmp.file("b.seq.reclink-" + dead + ".partial");
  const std::string running = tmp.file("c.seq.reclink-" + std::to_string(CurrentProcessId()) + ".partial");
  const std::string foreign = tmp.file("d.seq.partial");
  for (const std::string& path : {stale, running, foreign}) Spit(path, "12,");
  HeldFile holder;  // its writer runs elsewhere
  std::string why;
  ASSERT_TRUE(holder.CreateFile(locked, &why)) << why;
  // A record file, or a companion of one, is never replaced.
  Spit(tmp.file("db/PHOTO.BTR-wal"), "");
  for (const std::string& out : {tmp.file("db/PHOTO.BTR"), tmp.file("db/PHOTO.BTR-wal")}) {
    const Outcome refused = Reclink({"save", tmp.file("db/BODY.BTR"), out});
    EXPECT_THAT(refused.err, HasSubstr("is never replaced by a sequential file")) << out;
  }
  EXPECT_EQ(Slurp(tmp.file("db/PHOTO.BTR-wal")), "");
  EXPECT_EQ(Reclink({"check", tmp.file("db/PHOTO.BTR")}).status, 0);
  Outcome o = Reclink({"save", tmp.file("db/BODY.BTR"), tmp.file("out.seq")});
  holder.Release();
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "reclink save: removed " + stale + ", left by an interrupted run\n0 records saved from " +
                       tmp.file("db/BODY.BTR") + " to " + tmp.file("out.seq") + "\n");
  for (const std::string& path : {locked, running, foreign}) EXPECT_TRUE(fs::exists(path)) << path;
#ifndef _WIN32
  // A file replaced keeps its permissions; the standard output that leads to
  // a file is appended to, never replaced, and gets the records alone.
  fs::permissions(tmp.file("out.seq"), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  EXPECT_EQ(Reclink({"save", tmp.file("db/BODY.BTR"), tmp.file("out.seq")}).status, 0);
  EXPECT_EQ(fs::status(tmp.file("out.seq")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  Spit(tmp.file("log.txt"), "kept\n");
  const std::string appended = "'" RECLINK_EXECUTABLE "' save '" + tmp.file("db/BODY.BTR") + "' /dev/stdout >> '" +
                               tmp.file("log.txt") + "' 2>/dev/null";
  ASSERT_EQ(std::system(appended.c_str()), 0);
  EXPECT_EQ(Slurp(tmp.file("log.txt")), "kept\n" + Slurp(tmp.file("out.seq")));
#endif
}

// What stat shows of a file, but for its name.
std::string StatWithoutName(const std::string& file) {
  const std::string out = Reclink({"stat", file}).out;
  return out.substr(std::min(out.size(), out.find('\n')));
}

// Every kind of file the record manager makes has a description that makes
// it again: variable-length records with the space hints, keys compared by
// collating sequences, a data-only file. Records of every length it stores
// go through save, load and dump. clone copies a file's layout, and
// every mistake in a description is named by its line.
TEST(CreateStatCloneCommands, DescriptionsRoundTripAndMistakesNameTheirLine) {
  TempDir tmp;
  std::string reverse(256, '\0'), upper(256, '\0');
  for (int b = 0; b < 256; ++b) {
    reverse[b] = static_cast<char>(255 - b);
    upper[b] = static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
  }
  Spit(tmp.file("reverse.alt"), reverse);
  Spit(tmp.file("upper.alt"), upper);
  const std::pair<std::string, std::string> kinds[] = {
      {"NOTES", "record=20 key=2 variable=y compress=y preallocate=y freespace=30 duplicatepointers=4\n"
                "sequence=REVERSE table=reverse.alt sequence=UPPER table=upper.alt\n"
                "position=1 length=8 alternate=REVERSE\n"
                "position=9 length=6 duplicates=y type=zstring alternate=UPPER\n"},
      {"DATA", "record=8 key=0 page=512 variable=y freespace=20\n"},
  };
  for (const auto& [name, description] : kinds) {
    const std::string file = tmp.file(name + ".BTR"), copy = tmp.file(name + "2.BTR");
    Spit(tmp.file("d.des"), description);
    ASSERT_EQ(Reclink({"create", file, tmp.file("d.des")}).status, 0) << name;
    const Outcome described = Reclink({"stat", file, "--description"});
    ASSERT_EQ(described.status, 0) << described.err;
    Spit(tmp.file("d.des"), described.out);
    const Outcome created = Reclink({"create", copy, tmp.file("d.des")});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(Reclink({"stat", copy, "--description"}).out, described.out) << name;
    EXPECT_EQ(StatWithoutName(copy), StatWithoutName(file)) << name;
  }

  std::string longest(B_MAX_VARIABLE_RECORD, '\0');
  longest.replace(0, 8, "cccccccc");
  longest.back() = 'z';
  const std::vector<std::string> records = {"aaaaaaaa" + std::string(12, 'x') + "a longer part", longest,
                                            "bbbbbbbb" + std::string(12, 'y') + std::string(70000, 'v')};
  InsertAll(tmp.file("NOTES.BTR"), records);
  Outcome o = Reclink({"save", tmp.file("NOTES.BTR"), tmp.file("notes.seq")});
  ASSERT_EQ(o.status, 0) << o.err;
  o = Reclink({"load", tmp.file("notes.seq"), tmp.file("NOTES2.BTR")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(ReadAll(tmp.file("NOTES2.BTR"), -1) == records);
  EXPECT_TRUE(ReadAll(tmp.file("NOTES2.BTR")) == (std::vector<std::string>{records[1], records[2], records[0]}))
      << "the copy sorts its key by the reverse sequence";

  const std::string desc = tmp.file("t.des");
  const std::string created =
      "record=40 key=3 page=512\n"
      "position=1 length=10 duplicates=n modifiable=n type=zstring descending=n "
      "caseinsensitive=y nullkey=n segment=y\n"
      "position=11 length=4 duplicates=n modifiable=n type=integer descending=y "
      "caseinsensitive=n nullkey=n segment=n\n"
      "position=15 length=8 duplicates=y modifiable=y type=string descending=n "
      "caseinsensitive=n nullkey=allsegments value=20 segment=n\n"
      "position=23 length=2 duplicates=y modifiable=n type=unsigned_binary descending=n "
      "caseinsensitive=n nullkey=anysegments value=ff segment=n\n";
  Spit(desc, created);
  o = Reclink({"create", tmp.file("T.BTR"), desc});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Reclink({"stat", tmp.file("T.BTR"), "--description"}).out, created);
  InsertAll(tmp.file("T.BTR"), {std::string(40, 'x')});

  // clone copies the file's layout, no records; an existing file is
  // replaced only when asked.
  ASSERT_EQ(Reclink({"clone", tmp.file("C.BTR"), tmp.file("T.BTR")}).status, 0);
  EXPECT_EQ(Reclink({"stat", tmp.file("C.BTR"), "--description"}).out, created);
  EXPECT_TRUE(ReadAll(tmp.file("C.BTR")).empty());
  o = Reclink({"clone", tmp.file("C.BTR"), tmp.file("T.BTR")});
  EXPECT_THAT(o.err, HasSubstr("C.BTR exists; --force replaces it"));
  o = Reclink({"create", tmp.file("T.BTR"), desc});
  EXPECT_THAT(o.err, HasSubstr("T.BTR exists; --force replaces it"));
  EXPECT_EQ(ReadAll(tmp.file("T.BTR")).size(), 1u);
  EXPECT_EQ(Reclink({"create", tmp.file("T.BTR"), desc, "--force"}).status, 0);
  EXPECT_TRUE(ReadAll(tmp.file("T.BTR")).empty());

  // Syntax is the description's own; whether the file can be made is the
  // record manager's verdict, pinned to the element or key it concerns.
  const std::pair<const char*, const char*> mistakes[] = {  // a description, what create says of it
      {"record=80 key=1\nposition=1 length\n", "line 2: length expected name=value"},
      {"record=80 key=1 colour=red\n", "line 1: colour= is not an element"},
      {"record=80\nkey=1 record=90\n", "line 2: record= is given twice (first on line 1)"},
      {"record=80 key=1 truncate=y\nposition=1 length=4\n",
       "line 1: truncate= is refused by the record manager: status 45"},
      {"record=80 key=1 page=4k\n", "line 1: page= '4k' must be a number"},
      {"record=80 key=1\nposition=1\n\nposition=5 length=2\n", "line 2: length= is missing"},
      {"record=80 key=1\nsequence=UP table=up.alt\n", "line 2: table= cannot read "},
      {"record=80 key=1\nposition=1 length=3 segment=y\n", "line 2: segment= says another"},
      {"record=80 key=2\nposition=1 length=3\n", "line 1: key= says 2 keys, the description has 1"},
      {"record=80 key=1\nposition=1 length=3\nposition=4 length=3\n",
       "line 3: position= begins key 1, but key=1 allows no more keys"},
      {"record=80 key=1 page=1000\nposition=1 length=4",
       "line 1: page= is refused by the record manager: status 24 (invalid page size)"},
  };
  for (const auto& [text, says] : mistakes) {
    Spit(desc, text);
    o = Reclink({"create", tmp.file("U.BTR"), desc});
    EXPECT_EQ(o.status, 1) << text;
    EXPECT_THAT(o.err, HasSubstr(desc + ": " + says)) << text;
  }
  EXPECT_FALSE(fs::exists(tmp.file("U.BTR")));
}

// Nothing is damaged by mistake, and every failure says what failed and why.
TEST(Commands, RefuseWhatWouldDamageAndSayWhyInWords) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.file("db")}).status, 0);
  const std::string file = tmp.file("db/CONDITION.BTR");
  InsertAll(file, {MakeRecord(RecordFileOf(RecordFile::kCondition), 1)});
  fs::create_hard_link(file, tmp.file("link"));
  Spit(tmp.file("text"), "not a record file");
  fs::create_directory(tmp.file("empty"));
  Spit(tmp.file("big"), std::string(1048577, 'z'));
  const std::string longPath = tmp.path() + "/" + std::string(299 - tmp.path().size(), 'x');
  const std::string none = tmp.file("NONE.BTR");
  ExpectEach(1, {
      {{"load", tmp.file("link"), file}, file + " and " + tmp.file("link") + " are the same file"},
      {{"clone", file, file, "--force"}, "are the same file"},
      {{"stat", none}, "cannot open " + none + ": status 12 (file not found)"},
      {{"dump", tmp.file("text")}, tmp.file("text") + ": status 30 (not a record file)"},
      {{"stat", tmp.path()}, "cannot open " + tmp.path() + ": it is a directory"},
      {{"save", longPath, none}, "is 300 bytes long; a record file's path may have at most 255"},
      {{"create", longPath, tmp.file("text")}, "is 300 bytes long"},
      {{"init", longPath}, "is 321 bytes long"},
      {{"load", tmp.file("empty"), file}, tmp.file("empty") + " is a directory"},
      {{"load", none, file}, "cannot read " + none + ": no such file or directory"},
      {{"create", none, tmp.file("big")}, tmp.file("big") + " is longer than 1048576 bytes, the most a"},
      {{"check", tmp.file("empty")}, tmp.file("empty") + " holds no record files"},
      {{"init", tmp.file("text")}, "cannot make directory " + tmp.file("text") + ": "},
  });
  EXPECT_EQ(ReadAll(file).size(), 1u);

  // A database directory on a network file system, as the record manager's
  // test builds can pretend: the record manager's reason follows its status.
  reclink::test::SetEnvironment("RECMAN_TEST_FILE_SYSTEM", reclink::test::TestFileSystemTypes().network.front());
  ExpectEach(1, {{{"stat", file}, "cannot open " + file + ": status 3001 (record file kept locally on a network file "
                                  "system): " + tmp.file("db") + " is on a network file system, where record files "
                                  "kept locally get damaged when several machines use them: keep the directory on a "
                                  "local disk, or its files on a server (see docs/server.md)"}});
  reclink::test::SetEnvironment("RECMAN_TEST_FILE_SYSTEM", std::nullopt);
}

// A backup is taken while the database is in use: a writer goes on
// inserting while the files are copied. Each copy is a whole record file
// holding the records committed when it was frozen; every write stays.
TEST(BackupCommand, CopiesADatabaseInUseWhole) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.file("db")}).status, 0);
  const std::string file = tmp.file("db/BODY.BTR");
  const RecordFileRow& body = RecordFileOf(RecordFile::kBody);  // a key wide enough for every n
  InsertAll(file, {MakeRecord(body, 1), MakeRecord(body, 2)});
  std::atomic<bool> stop{false};
  std::atomic<int> written{2};
  std::atomic<int> status{0};  // of the writer's last call
  std::thread writer([&] {
    BtrFile f;
    status = f.Open(file, B_MODE_NORMAL);
    for (int n = 3; status == 0 && !stop && n < 100000; ++n) {
      if ((status = f.Insert(MakeRecord(body, n))) == 0) written = n;
      std::this_thread::sleep_for(std::chrono::microseconds(500));  // a busy clinic, not a flood
    }
  });
  while (written < 50 && status == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(status, 0) << "the writer stopped";
  const Outcome o = Reclink({"backup", tmp.file("db"), tmp.file("copy")});
  stop = true;
  writer.join();
  ASSERT_EQ(o.status, 0) << o.err;
  const std::vector<std::string> copied = ReadAll(tmp.file("copy/BODY.BTR"), -1);
  ASSERT_GE(copied.size(), 50u);
  ASSERT_LE(copied.size(), static_cast<size_t>(written));
  for (size_t i = 0; i < copied.size(); ++i) ASSERT_EQ(copied[i], MakeRecord(body, static_cast<int>(i + 1)));
  EXPECT_EQ(ReadAll(file, -1).size(), static_cast<size_t>(written)) << "every write stayed";
  EXPECT_EQ(Reclink({"check", tmp.file("copy")}).status, 0);

  fs::create_directory(tmp.file("empty"));
  fs::create_directory(tmp.file("served"));
  Spit(tmp.file("served/" RECMAN_SERVER_CONFIG_NAME), RECMAN_SETTING_SERVER " = host=db\n" RECMAN_SETTING_DATABASE " = clinic\n");
  ExpectEach(1, {
      {{"backup", tmp.file("db"), tmp.file("copy")}, tmp.file("copy") + " already holds record files"},
      {{"backup", tmp.file("empty"), tmp.file("c")}, tmp.file("empty") + " holds no record files"},
      {{"backup", tmp.file("served"), tmp.file("c")}, "keeps its files on a server"},
  });
}

TEST(CommandLine, HelpVersionAndBadUsage) {
  Outcome o = Reclink({"save", "--bogus", "--help"});  // --help wins over everything else
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.rfind("usage: reclink save FILE OUT [--key N]\n", 0), 0u) << o.out;
  ExpectEach(2, {
      {{}, "usage: reclink <command>"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"stat"}, "too few arguments\nusage: reclink stat FILE"},
      {{"stat", "a", "b"}, "unexpected argument 'b'"},
      {{"dump", "a", "--key", "119"}, "--key needs a key number from 0 to 118"},
      {{"init", "a", "--force", "--missing"}, "give --force or --missing, not both"},
      {{"dump", "a", "--colour"}, "unknown option --colour"},
  });
}

// Runs the executable with args, reading what it prints; its exit status.
int ExitStatusOf(const std::vector<std::string>& args) {
  reclink::test::ChildProcess run(reclink::test::Program{RECLINK_EXECUTABLE, args});
  while (run.Receive()) {
  }
  return run.Wait();
}

// The reclink executable itself: exit statuses as the program that started
// it sees them.
TEST(Executable, ExitStatusesReachTheCaller) {
  TempDir tmp;
  EXPECT_EQ(ExitStatusOf({"stat", tmp.file("NONE.BTR")}), 1);
  EXPECT_EQ(ExitStatusOf({}), 2);
}

}  // namespace
}  // namespace reclink::cli::test
