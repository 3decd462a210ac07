// Every statement the engine runs on a record file has a plan without a
// temporary B-tree and without a scan of the records: a sort or a full scan
// on a path that should seek would make each call grow with the file.
// The statements are caught as SQLite runs them, while the call scripts and
// every kind of seek run, so that a statement added later is checked
// without being listed here.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "call_script.h"
#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

std::mutex g_mu;                              // guards g_plans
std::map<std::string, std::string> g_plans;  // the plan of every statement run, by its SQL

// The plan of sql on db, one line per step.
std::string PlanOf(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    return std::string("cannot explain: ") + sqlite3_errmsg(db);
  }
  std::string plan;
  while (sqlite3_step(stmt) == SQLITE_ROW) plan += std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3))) + "\n";
  sqlite3_finalize(stmt);
  return plan;
}

// Explains each statement that reads or writes rows as it starts, on the
// connection that runs it: the scripts' record files are gone by the end.
int RecordStatement(unsigned, void*, void* statement, void*) {
  auto* stmt = static_cast<sqlite3_stmt*>(statement);
  const std::string sql = sqlite3_sql(stmt) != nullptr ? sqlite3_sql(stmt) : "";
  const std::string verb = sql.substr(0, sql.find(' '));
  if (verb != "SELECT" && verb != "INSERT" && verb != "UPDATE" && verb != "DELETE") return 0;
  std::lock_guard<std::mutex> guard(g_mu);
  if (g_plans.count(sql) == 0) g_plans[sql] = PlanOf(sqlite3_db_handle(stmt), sql);
  return 0;
}

// Runs on every connection opened in this process, the engine's too.
int WatchConnection(sqlite3* db, const char**, const sqlite3_api_routines*) {
  sqlite3_trace_v2(db, SQLITE_TRACE_STMT, RecordStatement, nullptr);
  return SQLITE_OK;
}

// Statements that read the whole file by their nature: Stat's counts and the
// file check (which must not trust the indexes).
bool WholeFileByNature(const std::string& sql) {
  return sql.find("count(") != std::string::npos || sql.find("NOT INDEXED") != std::string::npos;
}

// Scans of the small tables beside the records: the position counter (one
// row) and what a transaction over several files leaves behind (empty but
// while such a transaction ends).
bool ScansOnlyBookkeeping(const std::string& plan) {
  for (size_t at = plan.find("SCAN "); at != std::string::npos; at = plan.find("SCAN ", at + 1)) {
    if (plan.compare(at, 12, "SCAN recman_") != 0 && plan.compare(at, 20, "SCAN sqlite_sequence") != 0) {
      return false;
    }
  }
  return true;
}

TEST(PlanTest, NoStatementSortsOrScansTheRecords) {
  sqlite3_auto_extension(reinterpret_cast<void (*)()>(WatchConnection));
  for (const char* script : {RECMAN_SCRIPTS}) RunCallScript(script);
  // Every seek on every kind of key path (unique, duplicates, two segments
  // with a null value), and a transaction over two files, ended and aborted.
  TempDir dir;
  const std::vector<uint8_t> spec =
      MakeSpec(32, 3,
               {{1, 8, 0},
                {9, 4, B_KEY_DUPLICATES | B_KEY_MODIFIABLE},
                {13, 4, B_KEY_SEGMENTED | B_KEY_MODIFIABLE | B_KEY_NULL, B_TYPE_INTEGER},
                {17, 4, B_KEY_MODIFIABLE | B_KEY_NULL}});
  BtrFile files[2] = {BtrFile(32), BtrFile(32)};
  for (BtrFile& f : files) {
    const std::string path = dir.file(std::to_string(&f - files) + ".dat");
    ASSERT_EQ(CreateFile(path, spec), 0);
    ASSERT_EQ(f.Open(path), 0);
  }
  BtrFile& f = files[0];
  auto rec = [](int i) {
    std::string r = MakeRecord(32, {{0, "r" + std::to_string(i)}, {8, "d" + std::to_string(i % 7)}});
    r[12] = static_cast<char>(i);
    return r;
  };
  for (int i = 0; i < 40; ++i) ASSERT_EQ(f.Insert(rec(i)), 0);
  for (int8_t k = 0; k < 3; ++k) {
    for (uint16_t op : {B_GET_FIRST, B_GET_NEXT, B_GET_LAST, B_GET_PREVIOUS}) {
      ASSERT_EQ(f.Get(op, k), 0);
      ASSERT_EQ(f.Get(static_cast<uint16_t>(op + B_GET_KEY), k), 0);
    }
    for (uint16_t op : {B_GET_EQUAL, B_GET_GE, B_GET_GREATER, B_GET_LE, B_GET_LESS}) f.Get(op, k, f.Key(4));
  }
  for (uint16_t op : {B_STEP_FIRST, B_STEP_NEXT, B_STEP_LAST, B_STEP_PREVIOUS}) ASSERT_EQ(f.Step(op), 0);
  for (uint16_t end : {B_END_TRAN, B_ABORT_TRAN}) {
    ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
    for (BtrFile& each : files) ASSERT_EQ(each.Insert(rec(100 + end)), 0);
    ASSERT_EQ(f.Update(f.Record().replace(8, 3, "mid")), 0);
    ASSERT_EQ(Tx(end), 0);
  }
  Tx(B_RESET);
  sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(WatchConnection));

  for (const auto& [sql, plan] : g_plans) {
    if (WholeFileByNature(sql)) continue;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << sql << "\n" << plan;
    EXPECT_EQ(plan.find("cannot explain"), std::string::npos) << sql << "\n" << plan;
    EXPECT_TRUE(ScansOnlyBookkeeping(plan)) << sql << "\n" << plan;
  }
  EXPECT_GT(g_plans.size(), 30u) << "the engine's statements were not caught";
}

}  // namespace
}  // namespace reclink::test
