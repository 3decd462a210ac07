// patients of a withdrawn duplicate, and the demonstration's database moved onto the server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "cli/text_codec.h"
#include "command_test_support.h"
#include "reclink/records/patient.h"

namespace reclink::cli::test {
namespace {

void Register(const std::string& dir, const char* name, const char* kana, bool excluded = false) {
  CPatientDB db((dir + "/").c_str());
  ASSERT_EQ(db.Open(BTR_OPEN_NORMAL), 0);
  char* r = db.GetRecordBuffer();
  std::memset(r, 0, CPatientDB::kRecordLength);
  std::string n, k;
  ASSERT_TRUE(Utf8ToCp932(name, &n));
  ASSERT_TRUE(Utf8ToCp932(kana, &k));
  std::memcpy(r + 21, n.c_str(), n.size());
  std::memcpy(r + 62, k.c_str(), k.size());
  r[156] = excluded ? 1 : 0;
  ASSERT_EQ(db.InsertPatientData(), 0);
}

// A withdrawn duplicate is listed, marked, but passed over by the name look-ups,
// which list every other patient of the name.
TEST(PatientsCommand, MarksExcludedPatientsAndTheNameLookUpsPassOverThem) {
  TempDir tmp;
  ASSERT_EQ(Reclink({"init", tmp.path()}).status, 0);
  for (bool excluded : {true, false, false}) Register(tmp.path(), "佐藤 花子", "サトウ ハナコ", excluded);
  EXPECT_EQ(Reclink({"patients", tmp.path(), "--name", "佐藤 花子"}).out,
            "0000000002  佐藤 花子  (サトウ ハナコ)\n0000000003  佐藤 花子  (サトウ ハナコ)\n2 patients\n");
  EXPECT_THAT(Reclink({"patients", tmp.path()}).out,
              testing::StartsWith("0000000001  佐藤 花子  (サトウ ハナコ)  [excluded]\n"));
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
  std::filesystem::create_directory(second);
  for (const auto& entry : std::filesystem::directory_iterator(db)) {
    if (entry.path().filename() != "before-server") std::filesystem::copy(entry.path(), second / entry.path().filename());
  }
  const Outcome after = Reclink({"patients", second});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_EQ(after.out, before.out);
}

}  // namespace
}  // namespace reclink::cli::test
