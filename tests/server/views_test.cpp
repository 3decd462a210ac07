// The reports' views of a database on the server (reclink views): every
// field of every view as dump decodes it, hostile bytes included; a
// reporting role that reads the views and nothing else; two databases of
// one server apart. Each test has a PostgreSQL database of its own, so that
// "the server's first database" is the test's.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>

#include "reclink/records/catalogue.h"
#include "run_reclink.h"
#include "server_fixture.h"
#include "sql.h"

namespace reclink::test {
namespace {

std::string Random() { return std::to_string(std::random_device{}() % 1000000000u); }

class ViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestServer().empty()) GTEST_SKIP() << "no server to test against: scripts/test starts one";
    Sql cluster(TestServer());
    cluster("CREATE DATABASE " + name_);
    admin_ = std::make_unique<Sql>(server_);
  }
  void TearDown() override {
    if (TestServer().empty()) return;
    admin_.reset();
    Sql cluster(TestServer());
    cluster("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    cluster("DROP ROLE IF EXISTS " + name_);
  }

  // A database directory made by `reclink command` in dir, moved onto the
  // test's server as database.
  void Serve(const TempDir& dir, const std::string& command, const std::string& database) {
    std::string out;
    ASSERT_EQ(Reclink(command + " " + Quoted(dir.file("db")), &out), 0) << out;
    const std::string move = "to-server " + Quoted(dir.file("db")) + " " + Quoted(server_) + " " + Quoted(database);
    ASSERT_EQ(Reclink(move, &out), 0) << out;
  }
  void Views(const TempDir& dir, const std::string& options = "") {
    std::string out;
    ASSERT_EQ(Reclink("views " + Quoted(dir.file("db")) + options, &out), 0) << out;
  }

  // The views of schema by the file each shows (its comment names it).
  std::map<std::string, std::string> FileViews(const std::string& schema) {
    std::map<std::string, std::string> views;
    for (const auto& row : (*admin_)("SELECT substring(obj_description(c.oid, 'pg_class') FROM ' of ([A-Z0-9_]+\\.BTR) '), "
                                     "c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                                     "WHERE n.nspname = $1 AND c.relkind = 'v'",
                                     {schema})) {
      views[row[0]] = row[1];
    }
    return views;
  }

  // Every view of schema shows the fields of every record of its file in
  // dir as dump's JSON does (the view's last two columns, position and
  // bytes, aside).
  void ExpectViewsAgreeWithDump(const TempDir& dir, const std::string& schema) {
    for (const auto& [file, view] : FileViews(schema)) {
      std::string json;
      ASSERT_EQ(Reclink("dump --format json " + Quoted(dir.file("db/" + file)), &json), 0) << json;
      Rows fromDump;
      for (const auto& field : (*admin_)("SELECT e.n, j.key, j.value FROM json_array_elements($1::json) "
                                         "WITH ORDINALITY e(o, n), json_each_text(e.o) WITH ORDINALITY j(key, value, k) "
                                         "WHERE j.key NOT IN ('record', 'other bytes') ORDER BY e.n, j.k",
                                         {json})) {
        if (fromDump.size() < std::stoul(field[0])) fromDump.emplace_back();
        fromDump.back().push_back(field[2]);
      }
      Rows fromView = (*admin_)("SELECT * FROM " + schema + "." + view);
      for (auto& row : fromView) row.resize(row.size() - 2);
      std::sort(fromDump.begin(), fromDump.end());
      std::sort(fromView.begin(), fromView.end());
      EXPECT_EQ(fromView, fromDump) << schema << "." << view << " and " << file;
    }
  }

  const std::string name_ = "views_" + Random();                     // the test's database, and its role
  const std::string server_ = TestServer() + " dbname=" + name_;     // the test's database on the server
  std::unique_ptr<Sql> admin_;                                       // connected to it as the owner
};

// The demonstration database and an empty second one on one server; the
// second's views made first, so that the schema report stays the first
// database's, and the reporting role granted the first's.
TEST_F(ViewsTest, EveryViewShowsWhatDumpShowsToTheReportingRoleWhichReadsNothingElse) {
  TempDir local, branch;
  ASSERT_NO_FATAL_FAILURE(Serve(local, "demo", "main"));
  ASSERT_NO_FATAL_FAILURE(Serve(branch, "init", "Branch-2"));
  Views(branch);
  (*admin_)("CREATE ROLE " + name_ + " LOGIN PASSWORD 'reports'");
  Views(local, " --grant " + name_);

  // Records, added after the views were made, whose text is not all code
  // page 932: invalid pairs, lone lead bytes, 0xFF, zero bytes inside a
  // field, a field without terminator, user-defined and half-width
  // characters.
  BtrFile f(3600);
  ASSERT_EQ(f.Open(local.file("db/PATIENT1.BTR")), 0);
  for (const std::string& record :
       {MakeRecord(3600, {{0, "0000000901"}, {21, "\x82\x80\xff" "A\x81"}, {62, "\xf0\x40\xb1\xf9\xfc\x85\x40"},
                          {103, std::string(21, 'Z')}, {156, "\xff"}}),
        MakeRecord(3600, {{0, "0000000902"}, {21, std::string(40, '\xff')}, {62, "\x81\x40\x5c\x7e"},
                          {103, "\xfd\xfe\x80\xa0"}, {110, "behind the terminator"}}),
        MakeRecord(3600, {{0, "0000000903"}, {21, std::string("A\0B", 3)}, {62, "\xe0"}})}) {
    ASSERT_EQ(f.Insert(record), 0);
  }
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(FileViews("report").size(), static_cast<size_t>(kRecordFileCount));
  ExpectViewsAgreeWithDump(local, "report");

  Sql reader(server_ + " user=" + name_ + " password=reports");
  const std::string patients = "SELECT count(*) FROM report.patient";
  EXPECT_EQ(reader(patients), (*admin_)(patients));
  const std::string table =
      (*admin_)("SELECT 'recman.r' || id FROM recman.files WHERE name = 'PATIENT1.BTR' AND database = 'main'")[0][0];
  for (const std::string& sql : std::vector<std::string>{
           "SELECT * FROM recman.files", "SELECT * FROM " + table, "INSERT INTO " + table + " VALUES (9, 1, '')",
        "DELETE FROM " + table, "DELETE FROM report.patient", "UPDATE report.patient SET record_bytes = ''",
        "CREATE VIEW report.mine AS SELECT 1",
        "CREATE FUNCTION report.substr(bytea, int, int) RETURNS text LANGUAGE sql AS 'SELECT 1'"}) {
    EXPECT_EQ(reader.Refusal(sql), "42501") << sql;
  }

  // Views made anew stay readable by the role: one whose columns changed
  // (dropped and made again), and one whose file was made again with
  // another layout, of little-endian integers of every width and sign and
  // a float: its view went with the old table, and the next run makes it
  // with the new columns.
  (*admin_)("DROP VIEW report.doctor");
  (*admin_)("CREATE VIEW report.doctor AS SELECT 1 AS number");
  const uint16_t segmented = B_KEY_SEGMENTED;
  ASSERT_EQ(CreateFile(local.file("db/CASE.BTR"),
                       MakeSpec(64, 1,
                                {{1, 2, segmented, B_TYPE_INTEGER}, {3, 4, segmented, B_TYPE_UNSIGNED_BINARY},
                                 {7, 8, segmented, B_TYPE_INTEGER}, {15, 8, segmented, B_TYPE_UNSIGNED_BINARY},
                                 {23, 4, 0, B_TYPE_FLOAT}})),
            0);
  BtrFile cases(64);
  ASSERT_EQ(cases.Open(local.file("db/CASE.BTR")), 0);
  for (const std::string& record :
       {std::string("\xfe\xff" "\xfe\xff\xff\xff" "\0\0\0\0\0\0\0\x80", 14) + std::string(8, '\xff') +
            std::string("\0\0\x80\x3f", 4) + std::string(38, '\0'),
        std::string("\x01\x7f" "\x01\0\0\x80" "\xff\xff\xff\xff\xff\xff\xff\x7f", 14) +
            std::string("\x01\0\0\0\0\0\0\x80", 8) + std::string(42, '\x07')}) {
    ASSERT_EQ(cases.Insert(record), 0);
  }
  ASSERT_EQ(cases.Close(), 0);
  Views(local);
  const std::string doctors = "SELECT count(key_0) FROM report.doctor";
  EXPECT_EQ(reader(doctors), (*admin_)(doctors));
  EXPECT_EQ(reader("SELECT count(*) FROM report.case_info"), (Rows{{"2"}})) << "a view of a file made since";
  ExpectViewsAgreeWithDump(local, "report");

  // The second database's records show in its own schema only.
  BtrFile second(3600);
  ASSERT_EQ(second.Open(branch.file("db/PATIENT1.BTR")), 0);
  ASSERT_EQ(second.Insert(MakeRecord(3600, {{0, "0000000905"}})), 0);
  EXPECT_EQ((*admin_)("SELECT patient_number FROM report_branch_2.patient"), (Rows{{"0000000905"}}));
  EXPECT_EQ((*admin_)("SELECT count(*) FROM report.patient WHERE patient_number = '0000000905'"), (Rows{{"0"}}));
}

}  // namespace
}  // namespace reclink::test
