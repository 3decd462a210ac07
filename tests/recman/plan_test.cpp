// Every statement the engine runs on a record file has a plan without a
// temporary B-tree and without a scan of the records: a sort or a full scan
// on a path that should seek would make each call grow with the file.
// The statements are caught as SQLite runs them, so a statement added later
// is checked without being listed here.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <mutex>
#include <set>

#include "support/btr_file.h"
#include "reclink/recman_check.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

std::mutex g_mu;                  // guards g_statements
std::set<std::string> g_statements;  // the SQL of every statement run in this process

int RecordStatement(unsigned, void*, void* statement, void*) {
  const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
  std::lock_guard<std::mutex> guard(g_mu);
  if (sql != nullptr) g_statements.insert(sql);
  return 0;
}

// Runs on every connection opened in this process, the engine's too.
int WatchConnection(sqlite3* db, const char**, const sqlite3_api_routines*) {
  sqlite3_trace_v2(db, SQLITE_TRACE_STMT, RecordStatement, nullptr);
  return SQLITE_OK;
}

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
  TempDir dir;
  const std::string a = dir.file("a.dat"), b = dir.file("b.dat");
  // Every kind of key path: unique, duplicates, two segments with a null value.
  const std::vector<uint8_t> spec =
      MakeSpec(64, 3,
               {{1, 8, 0},
                {9, 4, B_KEY_DUPLICATES | B_KEY_MODIFIABLE},
                {13, 4, B_KEY_SEGMENTED | B_KEY_MODIFIABLE | B_KEY_NULL, B_TYPE_INTEGER},
                {17, 4, B_KEY_MODIFIABLE | B_KEY_NULL}});
  ASSERT_EQ(CreateFile(a, spec), 0);
  ASSERT_EQ(CreateFile(b, spec), 0);
  BtrFile f(64), g(64);
  ASSERT_EQ(f.Open(a), 0);
  ASSERT_EQ(g.Open(b), 0);
  auto rec = [](int i) {
    std::string r = MakeRecord(64, {{0, "r" + std::to_string(i)}, {8, "d" + std::to_string(i % 7)}});
    r[12] = static_cast<char>(i);
    return r;
  };
  for (int i = 0; i < 40; ++i) ASSERT_EQ(f.Insert(rec(i), static_cast<int8_t>(i % 3)), 0);
  for (int8_t k = 0; k < 3; ++k) {
    for (uint16_t op : {B_GET_FIRST, B_GET_NEXT, B_GET_NEXT, B_GET_PREVIOUS, B_GET_LAST, B_GET_PREVIOUS}) {
      ASSERT_EQ(f.Get(op, k), 0);
      ASSERT_EQ(f.Get(static_cast<uint16_t>(op + B_GET_KEY), k), 0);
    }
    for (uint16_t op : {B_GET_EQUAL, B_GET_GE, B_GET_GREATER, B_GET_LE, B_GET_LESS}) f.Get(op, k, f.Key(4));
  }
  for (uint16_t op : {B_STEP_FIRST, B_STEP_NEXT, B_STEP_LAST, B_STEP_PREVIOUS}) ASSERT_EQ(f.Step(op), 0);
  // The percentages on every path, physical order (-1) too: they count
  // along their path by nature, but through the index, never sorting.
  for (int8_t k = -1; k < 3; ++k) {
    ASSERT_EQ(f.Write(B_GET_BY_PERCENTAGE, std::string(64, '\x10'), k), 0);
    std::string position(4, '\0');
    const uint32_t at = f.Position();
    std::memcpy(position.data(), &at, 4);
    ASSERT_EQ(f.Write(B_FIND_PERCENTAGE, position, k), 0);
  }
  ASSERT_EQ(f.Write(B_INSERT_EXTENDED, std::string("\x01\x00\x40\x00", 4) + rec(50), 0), 0);
  ASSERT_EQ(f.Direct(f.Position(), 1), 0);
  auto changed = [&](const char* tag) { return f.Record().replace(8, 3, tag); };
  ASSERT_EQ(f.Update(changed("new"), 1), 0);
  ASSERT_EQ(f.Delete(1), 0);
  f.recordLength = 0;  // Stat's buffer: the whole data buffer
  ASSERT_EQ(f.Call(B_STAT, -1), 0);
  f.recordLength = 64;
  // A transaction over two files, ended and aborted; a file checked.
  for (uint16_t end : {B_END_TRAN, B_ABORT_TRAN}) {
    ASSERT_EQ(Tx(B_BEGIN_TRAN), 0);
    ASSERT_EQ(f.Insert(rec(100 + end)), 0);
    ASSERT_EQ(g.Insert(rec(100 + end)), 0);
    ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "r7"), 0);
    ASSERT_EQ(f.Update(changed("mid"), 1), 0);
    ASSERT_EQ(Tx(end), 0);
  }
  EXPECT_EQ(BtrCheckFile(a.c_str(), nullptr, nullptr), 0);
  f.Close();
  g.Close();
  sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(WatchConnection));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(a.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  int checked = 0;
  for (const std::string& sql : g_statements) {
    const std::string verb = sql.substr(0, sql.find(' '));
    if (verb != "SELECT" && verb != "INSERT" && verb != "UPDATE" && verb != "DELETE") continue;
    const std::string plan = PlanOf(db, sql);
    ++checked;
    if (WholeFileByNature(sql)) continue;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << sql << "\n" << plan;
    EXPECT_TRUE(ScansOnlyBookkeeping(plan)) << sql << "\n" << plan;
  }
  sqlite3_close(db);
  EXPECT_GT(checked, 30) << "the engine's statements were not caught";
}

}  // namespace
}  // namespace reclink::test
