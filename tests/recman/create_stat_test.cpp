// Create's checks, Stat's report, and a clone made from Stat's output; files
// without keys and files with alternate collating sequences.
#include <gtest/gtest.h>

#include <cstddef>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

// spec with its file flags set.
std::vector<uint8_t> WithFileFlags(std::vector<uint8_t> spec, uint16_t flags) {
  std::memcpy(spec.data() + offsetof(BtrFileSpec, fileFlags), &flags, 2);
  return spec;
}

// spec followed by a collating sequence that folds ASCII letters to upper
// case (or, with signature other than 0xAC, something that is not one).
std::vector<uint8_t> WithUpperCaseSequence(std::vector<uint8_t> spec, uint8_t signature = B_ACS_SIGNATURE) {
  BtrAltCollation acs{};
  acs.signature = signature;
  std::memcpy(acs.name, "UPPER   ", 8);
  for (int c = 0; c < 256; ++c) acs.table[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&acs);
  spec.insert(spec.end(), bytes, bytes + sizeof acs);
  return spec;
}

TEST(CreateTest, RefusesInvalidSpecificationsAndReplaces) {
  TempDir dir;
  const std::string path = dir.file("bad.dat");
  const struct {
    const char* what;
    std::vector<uint8_t> spec;
    int status;
  } cases[] = {
      {"page size not a multiple of 512", MakeSpec(64, 1, {{1, 8, 0}}, 1000), B_PAGE_SIZE_ERROR},
      {"page size too large", MakeSpec(64, 1, {{1, 8, 0}}, 8192), B_PAGE_SIZE_ERROR},
      {"120 keys", MakeSpec(64, 120, {}), B_NUMBER_OF_KEYS},
      {"a key flag that is not implemented", MakeSpec(64, 1, {{1, 8, 0x0080}}), B_INCONSISTENT_KEY_FLAGS},
      {"a file flag that is not implemented", WithFileFlags(MakeSpec(64, 1, {{1, 8, 0}}), 0x0002),
       B_INCONSISTENT_KEY_FLAGS},
      {"collating sequence on an integer",
       WithUpperCaseSequence(MakeSpec(64, 1, {{1, 4, B_KEY_ALT_COLLATION, B_TYPE_INTEGER}})), B_INCONSISTENT_KEY_FLAGS},
      {"collating sequence and case-insensitive",
       WithUpperCaseSequence(MakeSpec(64, 1, {{1, 8, B_KEY_ALT_COLLATION | B_KEY_CASE_INSENSITIVE}})),
       B_INCONSISTENT_KEY_FLAGS},
      {"collating sequence missing", MakeSpec(64, 1, {{1, 8, B_KEY_ALT_COLLATION}}), B_DATALENGTH_ERROR},
      {"not a collating sequence", WithUpperCaseSequence(MakeSpec(64, 1, {{1, 8, B_KEY_ALT_COLLATION}}), 0xAE),
       B_INVALID_ACS},
      {"key beyond the record", MakeSpec(64, 1, {{60, 8, 0}}), B_INVALID_KEY_POSITION},
      {"key at position 0", MakeSpec(64, 1, {{0, 8, 0}}), B_INVALID_KEY_POSITION},
      {"record too short", MakeSpec(2, 1, {{1, 1, 0}}), B_INVALID_RECORD_LENGTH},
      {"integer of 3 bytes", MakeSpec(64, 1, {{1, 3, 0, B_TYPE_INTEGER}}), B_INVALID_KEYLENGTH},
      {"empty segment", MakeSpec(64, 1, {{1, 0, 0}}), B_INVALID_KEYLENGTH},
      {"key over 255 bytes", MakeSpec(600, 1, {{1, 200, B_KEY_SEGMENTED}, {201, 100, 0}}), B_INVALID_KEYLENGTH},
      {"segments disagree on duplicates",
       MakeSpec(64, 1, {{1, 8, B_KEY_SEGMENTED | B_KEY_DUPLICATES}, {9, 8, 0}}), B_INCONSISTENT_KEY_FLAGS},
      {"autoincrement with duplicates", MakeSpec(16, 1, {{1, 4, B_KEY_DUPLICATES, B_TYPE_AUTOINCREMENT}}),
       B_INCONSISTENT_KEY_FLAGS},
      {"unknown key type", MakeSpec(64, 1, {{1, 8, 0, 77}}), B_INVALID_EXTENDED_TYPE},
      {"specs cut short", MakeSpec(64, 2, {{1, 8, 0}}), B_DATALENGTH_ERROR},
  };
  for (const auto& c : cases) EXPECT_EQ(CreateFile(path, c.spec), c.status) << c.what;
  const auto spec = MakeSpec(16, 1, {{1, 8, 0}});
  EXPECT_EQ(CreateFile("", spec), B_FILENAME_BAD);
  EXPECT_EQ(CreateFile(dir.file("no/such/dir.dat"), spec), B_CREATE_IO_ERROR);
  BtrFile f;
  EXPECT_EQ(f.Open(path), B_FILE_NOT_FOUND) << "a refused Create leaves no file";

  // Without the no-overwrite mode Create replaces a closed file with an empty one.
  ASSERT_EQ(CreateFile(path, spec), 0);
  ASSERT_EQ(f.Open(path), 0);
  ASSERT_EQ(f.Insert(MakeRecord(16, {{0, "x"}})), 0);
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(CreateFile(path, spec), 0);
  ASSERT_EQ(f.Open(path), 0);
  EXPECT_EQ(f.Get(B_GET_FIRST, 0), B_END_OF_FILE);
}

// Stat into buf through block f; returns the status, buf cut to what came back.
int Stat(BtrFile& f, std::vector<uint8_t>& buf, uint32_t room = 1024) {
  buf.assign(1024, 0);
  const int st = BTRCALL(B_STAT, f.pos, buf.data(), &room, f.keyBuf, 255, 0);
  buf.resize(st == 0 ? room : 0);
  return st;
}

TEST(StatTest, ReportsSpecificationsAndCountsAndClones) {
  TempDir dir;
  const auto spec = MakeSpec(48, 2,
                             {{1, 10, B_KEY_SEGMENTED}, {11, 4, 0, B_TYPE_INTEGER},
                              {15, 8, B_KEY_DUPLICATES | B_KEY_MODIFIABLE | B_KEY_DESCENDING}},
                             1024);
  ASSERT_EQ(CreateFile(dir.file("stat.dat"), spec), 0);
  BtrFile f;
  ASSERT_EQ(f.Open(dir.file("stat.dat")), 0);
  for (int i = 0; i < 5; ++i) {
    std::string r = MakeRecord(48, {{0, "n"}, {14, i < 3 ? "same" : "other"}});
    std::memcpy(r.data() + 10, &i, 4);
    ASSERT_EQ(f.Insert(r), 0);
  }
  std::vector<uint8_t> out;
  EXPECT_EQ(Stat(f, out, 10), B_DATALENGTH_ERROR);
  ASSERT_EQ(Stat(f, out), 0);
  ASSERT_EQ(out.size(), spec.size());
  BtrFileSpec fs;
  BtrKeySpec ks[3];
  std::memcpy(&fs, out.data(), sizeof fs);
  std::memcpy(ks, out.data() + sizeof fs, sizeof ks);
  EXPECT_EQ(+fs.numberOfRecords, 5u);
  EXPECT_EQ(+ks[0].uniqueValues, 5u);
  EXPECT_EQ(+ks[2].uniqueValues, 2u);
  // Apart from the counts, exactly what Create received.
  for (BtrKeySpec& k : ks) k.uniqueValues = 0;
  fs.numberOfRecords = 0;
  std::vector<uint8_t> plain = out;
  std::memcpy(plain.data(), &fs, sizeof fs);
  std::memcpy(plain.data() + sizeof fs, ks, sizeof ks);
  EXPECT_EQ(plain, spec);

  // Stat's output, counts and all, creates a clone that behaves the same.
  ASSERT_EQ(CreateFile(dir.file("clone.dat"), out), 0);
  BtrFile c;
  ASSERT_EQ(c.Open(dir.file("clone.dat")), 0);
  const std::string r = MakeRecord(48, {{0, "n"}, {14, "same"}});
  ASSERT_EQ(c.Insert(r), 0);
  EXPECT_EQ(c.Insert(r), B_DUPLICATE_KEY_VALUE);
  ASSERT_EQ(Stat(c, out), 0);
  std::memcpy(&fs, out.data(), sizeof fs);
  EXPECT_EQ(+fs.numberOfRecords, 1u);
  EXPECT_EQ(+fs.pageSize, 1024);
}

// A file without keys (the model test drives its operations): Stat reports
// no keys, and its output clones it.
TEST(StatTest, DataOnlyFileClonesFromStat) {
  TempDir dir;
  ASSERT_EQ(CreateFile(dir.file("log.dat"), MakeSpec(16, 0, {})), 0);
  BtrFile f(16);
  ASSERT_EQ(f.Open(dir.file("log.dat")), 0);
  for (int8_t keyNum : {0, 5}) ASSERT_EQ(f.Insert(MakeRecord(16, {{0, "entry"}}), keyNum), 0);
  std::vector<uint8_t> out;
  ASSERT_EQ(Stat(f, out), 0);
  BtrFileSpec fs;
  std::memcpy(&fs, out.data(), sizeof fs);
  EXPECT_EQ(out.size(), sizeof fs);
  EXPECT_EQ(+fs.numberOfKeys, 0);
  EXPECT_EQ(+fs.numberOfRecords, 2u);
  ASSERT_EQ(CreateFile(dir.file("clone.dat"), out), 0);
  BtrFile c(16);
  ASSERT_EQ(c.Open(dir.file("clone.dat")), 0);
  EXPECT_EQ(c.Step(B_STEP_FIRST), B_END_OF_FILE);
}

TEST(StatTest, CollatedKeyOrdersByItsSequenceAndClonesFromStat) {
  TempDir dir;
  // Key 0: a unique zstring weighed by a sequence that folds case; key 1:
  // the same bytes as they are, with duplicates.
  const auto spec = WithUpperCaseSequence(
      MakeSpec(24, 2, {{1, 10, B_KEY_ALT_COLLATION}, {1, 10, B_KEY_DUPLICATES}}));
  ASSERT_EQ(CreateFile(dir.file("users.dat"), spec), 0);
  BtrFile f(24);
  ASSERT_EQ(f.Open(dir.file("users.dat")), 0);
  for (const char* name : {"sysop", "Bob", "alice", "Carol"}) ASSERT_EQ(f.Insert(MakeRecord(24, {{0, name}})), 0);
  EXPECT_EQ(f.Insert(MakeRecord(24, {{0, "Sysop"}})), B_DUPLICATE_KEY_VALUE);
  EXPECT_EQ(f.Walk(0), (std::vector<std::string>{"alice", "Bob", "Carol", "sysop"}));
  EXPECT_EQ(f.Walk(1), (std::vector<std::string>{"Bob", "Carol", "alice", "sysop"}));
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "SYSOP"), 0);
  EXPECT_EQ(f.Key(6), std::string("sysop\0", 6)) << "the key buffer gets the stored bytes";

  // Stat hands the sequence back after the keys; a clone made of it folds too.
  std::vector<uint8_t> out;
  ASSERT_EQ(Stat(f, out), 0);
  ASSERT_EQ(out.size(), spec.size());
  EXPECT_TRUE(std::equal(spec.end() - sizeof(BtrAltCollation), spec.end(), out.end() - sizeof(BtrAltCollation)));
  ASSERT_EQ(CreateFile(dir.file("clone.dat"), out), 0);
  BtrFile c(24);
  ASSERT_EQ(c.Open(dir.file("clone.dat")), 0);
  ASSERT_EQ(c.Insert(MakeRecord(24, {{0, "Bob"}})), 0);
  EXPECT_EQ(c.Insert(MakeRecord(24, {{0, "BOB"}})), B_DUPLICATE_KEY_VALUE);
}

}  // namespace
}  // namespace reclink::test
