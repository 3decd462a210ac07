// init, stat, save, load, create and clone on real record files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "command_test_support.h"
#include "reclink/records/catalogue.h"

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
  r[row.recordLength - 1] = static_cast<char>(n);  // bytes behind the keys travel too
  if (row.recordLength > 200) r[199] = '\r';
  return r;
}

const char kDescription[] =
    "record=40 key=2 page=512\n"
    "position=1 length=10 type=zstring segment=y\n"
    "position=11 length=4 type=integer\n"
    "position=15 length=8 duplicates=y modifiable=y type=string nullkey=y value=20\n";

TEST(InitCommand, CreatesEveryFileAndRefusesToOverwriteWithoutForce) {
  TempDir tmp;
  std::string db = tmp.file("db");
  Outcome o = Reclink({"init", db});
  ASSERT_EQ(o.status, 0) << o.err;
  for (const RecordFileRow& row : kRecordFiles) {
    EXPECT_TRUE(std::filesystem::exists(db + "/" + row.fileName)) << row.fileName;
  }
  const RecordFileRow& body = RecordFileOf(RecordFile::kBody);
  InsertAll(db + "/BODY.BTR", {MakeRecord(body, 1)});
  std::filesystem::remove(db + "/PHOTO.BTR");

  o = Reclink({"init", db});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("BODY.BTR"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("--force"), std::string::npos) << o.err;
  EXPECT_FALSE(std::filesystem::exists(db + "/PHOTO.BTR"));  // nothing was created
  EXPECT_EQ(ReadAll(db + "/BODY.BTR").size(), 1u);

  o = Reclink({"init", db, "--force"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("replaced BODY.BTR"), std::string::npos) << o.out;
  EXPECT_TRUE(std::filesystem::exists(db + "/PHOTO.BTR"));
  EXPECT_TRUE(ReadAll(db + "/BODY.BTR").empty());
  Outcome stat = Reclink({"stat", db + "/BODY.BTR"});
  EXPECT_NE(stat.out.find("Record Length = 400\n"), std::string::npos) << stat.out;
}

TEST(StatCommand, ShowsHeaderAndSegmentTable) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  InsertAll(tmp.file("PHOTO.BTR"), {MakeRecord(RecordFileOf(RecordFile::kPhoto), 1),
                                    MakeRecord(RecordFileOf(RecordFile::kPhoto), 2)});
  Outcome o = Reclink({"stat", tmp.file("PHOTO.BTR")});
  ASSERT_EQ(o.status, 0) << o.err;
  for (const char* line : {"Record Length = 80\n", "Number of Records = 2\n",
                           "Number of Keys = 3\n", "Number of Segments = 7\n"}) {
    EXPECT_NE(o.out.find(line), std::string::npos) << line << o.out;
  }
  // Key 2, segment 4: the sort number at offset 65, 11 bytes, duplicates allowed.
  EXPECT_NE(o.out.find("2    4        66        11      zstring"), std::string::npos) << o.out;

  o = Reclink({"stat", tmp.file("NOSUCH.BTR")});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("status 12"), std::string::npos) << o.err;
}

TEST(SaveLoadCommands, RoundTripEveryFileOfTheDatabase) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.file("a")}).status, 0);
  ASSERT_EQ(Reclink({"init", tmp.file("b")}).status, 0);
  for (const RecordFileRow& row : kRecordFiles) {
    std::vector<std::string> records = {MakeRecord(row, 3), MakeRecord(row, 1), MakeRecord(row, 2)};
    std::string from = tmp.file("a/") + row.fileName;
    std::string to = tmp.file("b/") + row.fileName;
    InsertAll(from, records);
    std::string saved = tmp.file(std::string(row.fileName) + ".seq");
    Outcome o = Reclink({"save", from, saved});
    ASSERT_EQ(o.status, 0) << row.fileName << o.err;
    EXPECT_EQ(Slurp(saved).back(), '\x1a');
    o = Reclink({"load", saved, to});
    ASSERT_EQ(o.status, 0) << row.fileName << o.err;
    EXPECT_TRUE(ReadAll(to, -1) == records) << row.fileName;  // physical order is insertion order
    EXPECT_TRUE(ReadAll(to) == ReadAll(from)) << row.fileName;
  }
  // In key order with --key.
  std::string keyed = tmp.file("keyed.seq");
  ASSERT_EQ(Reclink({"save", tmp.file("a/BODY.BTR"), keyed, "--key", "0"}).status, 0);
  const RecordFileRow& body = RecordFileOf(RecordFile::kBody);
  std::string expect;
  for (int n : {2, 3, 1}) expect += "400," + MakeRecord(body, n) + "\r\n";
  EXPECT_EQ(Slurp(keyed), expect + "\x1a");
  EXPECT_EQ(Reclink({"save", tmp.file("a/BODY.BTR"), keyed, "--key", "5"}).status, 1);
  EXPECT_TRUE(Slurp(keyed) == expect + "\x1a");  // a failed save leaves OUT as it was
}

TEST(LoadCommand, MalformedInputChangesNothingAndNamesThePlace) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  const RecordFileRow& row = RecordFileOf(RecordFile::kCondition);  // 64-byte records
  std::string file = tmp.file("CONDITION.BTR");
  InsertAll(file, {MakeRecord(row, 1)});
  std::string good = "64," + MakeRecord(row, 2) + "\r\n";
  struct Case {
    std::string input;
    std::string where;
  };
  const Case cases[] = {
      {good + "6x," + std::string(64, 'a') + "\r\n\x1a", "record 2, byte offset 70: bad length"},
      {good + "64," + MakeRecord(row, 3).substr(0, 30), "record 2, byte offset 102: truncated"},
      {good + "64," + MakeRecord(row, 3) + "\n\x1a", "record 2, byte offset 136: missing CR LF"},
      {good + "63," + MakeRecord(row, 3).substr(1) + "\r\n\x1a",
       "record 2, byte offset 69: wrong record length 63"},
      // The second record repeats a key the file already holds: the insert of
      // the first must be undone.
      {good + "64," + MakeRecord(row, 1) + "\r\n\x1a", "record 2, byte offset 69: insert refused"},
  };
  for (const Case& c : cases) {
    std::string in = tmp.file("in.seq");
    Spit(in, c.input);
    Outcome o = Reclink({"load", in, file});
    EXPECT_EQ(o.status, 1) << c.where;
    EXPECT_NE(o.err.find(c.where), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("unchanged"), std::string::npos) << o.err;
    EXPECT_TRUE(ReadAll(file) == std::vector<std::string>{MakeRecord(row, 1)}) << c.where;
  }
  EXPECT_EQ(Reclink({"load", tmp.file("missing.seq"), file}).status, 1);
  EXPECT_EQ(Reclink({"load", tmp.file("in.seq")}).status, 2);
}

TEST(CreateCommand, CreatesFromDescriptionAndReportsMistakesByLine) {
  TempDir tmp;
  std::string desc = tmp.file("t.des");
  Spit(desc, kDescription);
  Outcome o = Reclink({"create", tmp.file("T.BTR"), desc});
  ASSERT_EQ(o.status, 0) << o.err;
  o = Reclink({"stat", tmp.file("T.BTR"), "--description"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "record=40 key=2 page=512\n"
            "position=1 length=10 duplicates=n modifiable=n type=zstring descending=n "
            "caseinsensitive=n nullkey=n segment=y\n"
            "position=11 length=4 duplicates=n modifiable=n type=integer descending=n "
            "caseinsensitive=n nullkey=n segment=n\n"
            "position=15 length=8 duplicates=y modifiable=y type=string descending=n "
            "caseinsensitive=n nullkey=allsegments value=20 segment=n\n");

  // An existing file is replaced only when asked.
  InsertAll(tmp.file("T.BTR"), {std::string(40, 'x')});
  o = Reclink({"create", tmp.file("T.BTR"), desc});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("exists"), std::string::npos) << o.err;
  EXPECT_EQ(ReadAll(tmp.file("T.BTR")).size(), 1u);
  EXPECT_EQ(Reclink({"create", tmp.file("T.BTR"), desc, "--force"}).status, 0);
  EXPECT_TRUE(ReadAll(tmp.file("T.BTR")).empty());

  Spit(desc, "record=40 key=1\n\nposition=35 length=8 type=zstring\n");
  o = Reclink({"create", tmp.file("U.BTR"), desc});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("t.des: line 3: length= "), std::string::npos) << o.err;
  EXPECT_FALSE(std::filesystem::exists(tmp.file("U.BTR")));
  EXPECT_EQ(Reclink({"create", tmp.file("U.BTR"), tmp.file("none.des")}).status, 1);
}

TEST(CloneCommand, CopiesTheSpecificationButNoRecords) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  const RecordFileRow& patient = RecordFileOf(RecordFile::kPatient);
  InsertAll(tmp.file("PATIENT1.BTR"), {MakeRecord(patient, 1)});
  Outcome o = Reclink({"clone", tmp.file("COPY.BTR"), tmp.file("PATIENT1.BTR")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Reclink({"stat", tmp.file("COPY.BTR"), "--description"}).out,
            Reclink({"stat", tmp.file("PATIENT1.BTR"), "--description"}).out);
  EXPECT_TRUE(ReadAll(tmp.file("COPY.BTR")).empty());
  EXPECT_EQ(Reclink({"clone", tmp.file("COPY.BTR"), tmp.file("PATIENT1.BTR")}).status, 1);
  EXPECT_EQ(Reclink({"clone", tmp.file("X.BTR"), tmp.file("NONE.BTR")}).status, 1);
}

TEST(CommandLine, HelpVersionAndBadUsage) {
  Outcome o = Reclink({"--help"});
  EXPECT_EQ(o.status, 0);
  for (const char* name : {"init", "stat", "save", "load", "create", "clone", "dump"}) {
    EXPECT_NE(o.out.find(std::string("  ") + name + " "), std::string::npos) << name;
  }
  o = Reclink({"save", "--help"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out.rfind("usage: reclink save FILE OUT [--key N]\n", 0), 0u) << o.out;
  EXPECT_EQ(Reclink({}).status, 2);
  EXPECT_EQ(Reclink({"frobnicate"}).status, 2);
  o = Reclink({"stat"});
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("usage: reclink stat"), std::string::npos);
  EXPECT_EQ(Reclink({"save", "a", "b", "--key", "x"}).status, 2);
  EXPECT_EQ(Reclink({"dump", "a", "--format", "xml"}).status, 2);
}

}  // namespace
}  // namespace reclink::cli::test
