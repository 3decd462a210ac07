#include "recman/storage/sqlite/schema.h"

namespace recman::sqlite {
namespace {

// The next position AUTOINCREMENT hands out; sqlite_sequence holds one row.
constexpr const char* kNextPosition =
    "(SELECT coalesce(max(seq), 0) + 1 FROM sqlite_sequence WHERE name = 'records')";

}  // namespace

const SqlDialect& Dialect() {
  static const SqlDialect dialect{
      .table = "records",
      .bytes = "BLOB",
      .integer = "INTEGER",
      .position = "pos INTEGER PRIMARY KEY AUTOINCREMENT",
      .typedParams = false,
      .namedIndexes = true,
      .notNullBeside = false,
      .orderUniqueEqual = false,
      .rowLimitParam = false,
      .boundEnds = true,
      .oneChangePerAlter = true,
      .lockRow = "",  // a write holds the file's write lock
  };
  return dialect;
}

std::string RowColumns(const FileLayout& layout, bool declared) {
  return (declared ? "ver INTEGER, data BLOB" : "ver, data") + KeyColumns(Dialect(), layout, declared);
}

std::vector<std::string> CreateStatements(const FileLayout& layout) {
  std::vector<std::string> out;
  out.push_back(
      "CREATE TABLE recman_file(id INTEGER PRIMARY KEY CHECK(id = 1), magic TEXT NOT NULL, "
      "format INTEGER NOT NULL, layout BLOB NOT NULL)");
  out.push_back(CreateTableSql(Dialect(), layout));
  // What a transaction over several files leaves behind until it is settled:
  // in every file but the deciding one, a marker and the records as they
  // were; in the deciding file, the decision.
  out.push_back("CREATE TABLE recman_pending(txid INTEGER PRIMARY KEY, coordinator TEXT NOT NULL)");
  out.push_back("CREATE TABLE recman_decided(txid INTEGER PRIMARY KEY, participants TEXT NOT NULL)");
  out.push_back(UndoTableSql(layout));
  for (size_t k = 0; k < layout.keys.size(); ++k) out.push_back(IndexSql(Dialect(), layout, k));
  return out;
}

std::string UndoTableSql(const FileLayout& layout) {
  return "CREATE TABLE recman_undo(txid INTEGER NOT NULL, pos INTEGER NOT NULL, existed INTEGER NOT NULL, " +
         RowColumns(layout, true) + ", PRIMARY KEY(txid, pos))";
}

std::vector<std::string> AddKeyStatements(const FileLayout& to) {
  std::vector<std::string> out = AddKeyColumnsSql(Dialect(), to);
  // The undo table is empty outside a transaction over several files.
  out.push_back("DROP TABLE recman_undo");
  out.push_back(UndoTableSql(to));
  return out;
}

std::string SetKeyValueSql(const FileLayout& to) {
  const size_t key = to.keys.size() - 1;
  // A record's place among duplicates is its position, as for an insert.
  const std::string seq = to.keys[key].duplicates ? ", " + SeqColumn(key) + " = pos" : "";
  return "UPDATE records SET " + KeyColumn(key) + " = ?2" + seq + " WHERE pos = ?1";
}

std::vector<std::string> DropKeyStatements(const FileLayout& from, const FileLayout& to, size_t key) {
  std::vector<std::string> out;
  // The index of each key from `key` on goes: the ones after it are made
  // again under their new numbers, as the engine names its indexes.
  for (size_t k = key; k < from.keys.size(); ++k) out.push_back("DROP INDEX " + IndexName(k));
  for (std::string& sql : DropKeyColumnsSql(Dialect(), from, key)) out.push_back(std::move(sql));
  for (size_t k = key; k < to.keys.size(); ++k) out.push_back(IndexSql(Dialect(), to, k));
  out.push_back("DROP TABLE recman_undo");
  out.push_back(UndoTableSql(to));
  return out;
}

std::string WriteLayoutSql() { return "UPDATE recman_file SET layout = ?1 WHERE id = 1"; }

std::string ReadHeaderSql() { return "SELECT magic, format, layout FROM recman_file WHERE id = 1"; }

std::string WriteHeaderSql() {
  return "INSERT INTO recman_file(id, magic, format, layout) VALUES(1, ?1, ?2, ?3)";
}

std::string WalkSql(const FileLayout& layout, size_t key, bool forward) {
  std::string sql = SeekSql(Dialect(), layout, key, forward ? Seek::kNext : Seek::kPrevious);
  return sql.substr(0, sql.size() - std::string(" LIMIT 1").size());
}

std::string ScanSql(const FileLayout& layout, int key, bool forward) {
  const std::string sql = key < 0 ? StepWalkSql(forward) : WalkSql(layout, static_cast<size_t>(key), forward);
  return "SELECT pos, data" + sql.substr(sql.find(" FROM "));
}

std::string StepWalkSql(bool forward) {
  std::string sql = StepSql(Dialect(), forward ? Step::kNext : Step::kPrevious);
  return sql.substr(0, sql.size() - std::string(" LIMIT 1").size());
}

std::string InsertSql(const FileLayout& layout) {
  std::string cols = "ver, data";
  std::string vals = "1, ?1";
  int n = 1;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    cols += ", " + KeyColumn(k);
    vals += ", ?" + std::to_string(++n);
    if (layout.keys[k].duplicates) {
      cols += ", " + SeqColumn(k);
      vals += std::string(", ") + kNextPosition;
    }
  }
  // One row of VALUES: an INSERT ... SELECT would need a statement journal,
  // which costs more than half again per insert.
  return "INSERT INTO records(" + cols + ") VALUES(" + vals + ")";
}

std::string NextSequenceSql() {
  return "UPDATE sqlite_sequence SET seq = seq + 1 WHERE name = 'records' AND seq < " +
         std::to_string(kMaxPosition) + " RETURNING seq";
}

std::string HandedOutSql() {
  return "SELECT coalesce(max(seq), 0) FROM sqlite_sequence WHERE name = 'records'";
}

std::string SetHandedOutSql(int64_t n) {
  return "DELETE FROM sqlite_sequence WHERE name = 'records'; "
         "INSERT INTO sqlite_sequence(name, seq) VALUES('records', " + std::to_string(n) + ")";
}

const OwnerSql& OwnerStatements() {
  static const OwnerSql owner{
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'recman_owner'",
      "SELECT name, read_without FROM recman_owner WHERE id = 1",
      "CREATE TABLE IF NOT EXISTS recman_owner(id INTEGER PRIMARY KEY CHECK(id = 1), name BLOB NOT NULL, "
      "read_without INTEGER NOT NULL)",
      "DELETE FROM recman_owner",
      "INSERT OR IGNORE INTO recman_owner(id, name, read_without) VALUES(1, ?1, ?2)",
  };
  return owner;
}

std::string SaveBeforeSql(const FileLayout& layout) {
  const std::string cols = RowColumns(layout, false);
  return "INSERT OR IGNORE INTO recman_undo(txid, pos, existed, " + cols + ") SELECT ?1, pos, 1, " +
         cols + " FROM records WHERE pos = ?2";
}

std::string SaveInsertedSql() {
  return "INSERT OR IGNORE INTO recman_undo(txid, pos, existed) VALUES(?1, ?2, 0)";
}

std::string RestoreSql(const FileLayout& layout) {
  const std::string cols = RowColumns(layout, false);
  return "INSERT INTO records(pos, " + cols + ") SELECT pos, " + cols +
         " FROM recman_undo WHERE txid = ?1 AND existed = 1";
}

std::string PendingSql() { return "SELECT 1 FROM recman_pending LIMIT 1"; }

}  // namespace recman::sqlite
