#include "recman/storage/sqlite/schema.h"

namespace recman::sqlite {
namespace {

// The index of key `key`: the engine names its indexes by key number.
std::string IndexName(size_t key) {
  std::string name = "key";
  name += std::to_string(key);
  return name;
}

// The next position AUTOINCREMENT hands out; sqlite_sequence holds one row.
constexpr const char* kNextPosition =
    "(SELECT coalesce(max(seq), 0) + 1 FROM sqlite_sequence WHERE name = 'records')";

}  // namespace

// Built by appending: g++ 12 warns falsely about "k" + std::to_string(...)
// in optimised builds.
std::string KeyColumn(size_t key) {
  std::string name = "k";
  name += std::to_string(key);
  return name;
}

std::string SeqColumn(size_t key) {
  std::string name = "s";
  name += std::to_string(key);
  return name;
}

std::string RowColumns(const FileLayout& layout, bool declared) {
  std::string cols = declared ? "ver INTEGER, data BLOB" : "ver, data";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    cols += ", " + KeyColumn(k) + (declared ? " BLOB" : "");
    if (layout.keys[k].duplicates) cols += ", " + SeqColumn(k) + (declared ? " INTEGER" : "");
  }
  return cols;
}

std::vector<std::string> CreateStatements(const FileLayout& layout) {
  std::vector<std::string> out;
  out.push_back(
      "CREATE TABLE recman_file(id INTEGER PRIMARY KEY CHECK(id = 1), magic TEXT NOT NULL, "
      "format INTEGER NOT NULL, layout BLOB NOT NULL)");
  std::string records =
      "CREATE TABLE records(pos INTEGER PRIMARY KEY AUTOINCREMENT, ver INTEGER NOT NULL, "
      "data BLOB NOT NULL";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    records += ", " + KeyColumn(k) + " BLOB";
    if (layout.keys[k].duplicates) records += ", " + SeqColumn(k) + " INTEGER";
  }
  out.push_back(records + ")");
  // What a transaction over several files leaves behind until it is settled:
  // in every file but the deciding one, a marker and the records as they
  // were; in the deciding file, the decision.
  out.push_back("CREATE TABLE recman_pending(txid INTEGER PRIMARY KEY, coordinator TEXT NOT NULL)");
  out.push_back("CREATE TABLE recman_decided(txid INTEGER PRIMARY KEY, participants TEXT NOT NULL)");
  out.push_back(UndoTableSql(layout));
  for (size_t k = 0; k < layout.keys.size(); ++k) out.push_back(IndexSql(layout, k));
  return out;
}

std::string UndoTableSql(const FileLayout& layout) {
  return "CREATE TABLE recman_undo(txid INTEGER NOT NULL, pos INTEGER NOT NULL, existed INTEGER NOT NULL, " +
         RowColumns(layout, true) + ", PRIMARY KEY(txid, pos))";
}

std::string IndexSql(const FileLayout& layout, size_t key) {
  const bool dup = layout.keys[key].duplicates;
  const std::string cols = dup ? KeyColumn(key) + ", " + SeqColumn(key) : KeyColumn(key);
  return std::string(dup ? "CREATE INDEX " : "CREATE UNIQUE INDEX ") + IndexName(key) + " ON records(" + cols +
         ") WHERE " + KeyColumn(key) + " IS NOT NULL";
}

std::vector<std::string> AddKeyStatements(const FileLayout& to) {
  const size_t key = to.keys.size() - 1;
  std::vector<std::string> out{"ALTER TABLE records ADD COLUMN " + KeyColumn(key) + " BLOB"};
  if (to.keys[key].duplicates) out.push_back("ALTER TABLE records ADD COLUMN " + SeqColumn(key) + " INTEGER");
  // The undo table is empty outside a transaction over several files.
  out.push_back("DROP TABLE recman_undo");
  out.push_back(UndoTableSql(to));
  return out;
}

std::string KeyValuesSql() { return "SELECT pos, data FROM records WHERE pos > ?1 ORDER BY pos LIMIT ?2"; }

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
  out.push_back("ALTER TABLE records DROP COLUMN " + KeyColumn(key));
  if (from.keys[key].duplicates) out.push_back("ALTER TABLE records DROP COLUMN " + SeqColumn(key));
  for (size_t k = key + 1; k < from.keys.size(); ++k) {
    out.push_back("ALTER TABLE records RENAME COLUMN " + KeyColumn(k) + " TO " + KeyColumn(k - 1));
    if (from.keys[k].duplicates) {
      out.push_back("ALTER TABLE records RENAME COLUMN " + SeqColumn(k) + " TO " + SeqColumn(k - 1));
    }
  }
  for (size_t k = key; k < to.keys.size(); ++k) out.push_back(IndexSql(to, k));
  out.push_back("DROP TABLE recman_undo");
  out.push_back(UndoTableSql(to));
  return out;
}

std::string WriteLayoutSql() { return "UPDATE recman_file SET layout = ?1 WHERE id = 1"; }

std::string ReadHeaderSql() { return "SELECT magic, format, layout FROM recman_file WHERE id = 1"; }

std::string WriteHeaderSql() {
  return "INSERT INTO recman_file(id, magic, format, layout) VALUES(1, ?1, ?2, ?3)";
}

std::string SeekSql(const FileLayout& layout, size_t key, Seek seek) {
  const bool dup = layout.keys[key].duplicates;
  const std::string k = KeyColumn(key);
  const std::string s = dup ? SeqColumn(key) : "0";
  const std::string up = dup ? " ORDER BY " + k + ", " + s : " ORDER BY " + k;
  const std::string down = dup ? " ORDER BY " + k + " DESC, " + s + " DESC" : " ORDER BY " + k + " DESC";
  // Every condition implies that the key is not null, so that the partial
  // index serves it (a row value implies nothing: it says so itself); the
  // index's order is the order asked for, so nothing is sorted. An explicit
  // IS NOT NULL beside an equality would make SQLite sort.
  std::string where;
  std::string order;
  switch (seek) {
    case Seek::kFirst: where = k + " IS NOT NULL"; order = up; break;
    case Seek::kLast: where = k + " IS NOT NULL"; order = down; break;
    case Seek::kEqual: where = k + " = ?1"; order = dup ? up : ""; break;
    case Seek::kGreaterEq: where = k + " >= ?1"; order = up; break;
    case Seek::kGreater: where = k + " > ?1"; order = up; break;
    case Seek::kLessEq: where = k + " <= ?1"; order = down; break;
    case Seek::kLess: where = k + " < ?1"; order = down; break;
    case Seek::kNext:
      where = dup ? k + " IS NOT NULL AND (" + k + ", " + s + ") > (?1, ?2)" : k + " > ?1";
      order = up;
      break;
    case Seek::kPrevious:
      where = dup ? k + " IS NOT NULL AND (" + k + ", " + s + ") < (?1, ?2)" : k + " < ?1";
      order = down;
      break;
  }
  return "SELECT pos, ver, data, " + k + ", " + s + " FROM records INDEXED BY " + IndexName(key) + " WHERE " +
         where + order + " LIMIT 1";
}

std::string WalkSql(const FileLayout& layout, size_t key, bool forward) {
  std::string sql = SeekSql(layout, key, forward ? Seek::kNext : Seek::kPrevious);
  return sql.substr(0, sql.size() - std::string(" LIMIT 1").size());
}

std::string ScanSql(const FileLayout& layout, int key, bool forward) {
  const std::string sql = key < 0 ? StepWalkSql(forward) : WalkSql(layout, static_cast<size_t>(key), forward);
  return "SELECT pos, data" + sql.substr(sql.find(" FROM "));
}

std::string StepSql(Step step) {
  switch (step) {
    // pos > 0 (every position is) makes the plan a search from one end.
    case Step::kFirst: return "SELECT pos, ver, data FROM records WHERE pos > 0 ORDER BY pos LIMIT 1";
    case Step::kLast: return "SELECT pos, ver, data FROM records WHERE pos > 0 ORDER BY pos DESC LIMIT 1";
    case Step::kNext: return "SELECT pos, ver, data FROM records WHERE pos > ?1 ORDER BY pos LIMIT 1";
    case Step::kPrevious:
      return "SELECT pos, ver, data FROM records WHERE pos < ?1 ORDER BY pos DESC LIMIT 1";
  }
  return {};
}

std::string StepWalkSql(bool forward) {
  std::string sql = StepSql(forward ? Step::kNext : Step::kPrevious);
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

std::string UpdateSql(const FileLayout& layout) {
  std::string sql = "UPDATE records SET ver = ver + 1, data = ?2";
  int n = 2;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += ", " + KeyColumn(k) + " = ?" + std::to_string(++n);
    if (layout.keys[k].duplicates) sql += ", " + SeqColumn(k) + " = ?" + std::to_string(++n);
  }
  return sql + " WHERE pos = ?1";
}

std::string DeleteSql() { return "DELETE FROM records WHERE pos = ?1 AND ver = ?2"; }

std::string RowSql(const FileLayout& layout) {
  std::string sql = "SELECT ver, data";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += layout.keys[k].duplicates ? ", " + SeqColumn(k) : std::string(", 0");
  }
  return sql + " FROM records WHERE pos = ?1";
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

std::string HasOwnerTableSql() {
  return "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'recman_owner'";
}
std::string ReadOwnerSql() { return "SELECT name, read_without FROM recman_owner WHERE id = 1"; }
std::string MakeOwnerTableSql() {
  return "CREATE TABLE IF NOT EXISTS recman_owner(id INTEGER PRIMARY KEY CHECK(id = 1), name BLOB NOT NULL, "
         "read_without INTEGER NOT NULL)";
}
std::string WriteOwnerSql() { return "INSERT OR IGNORE INTO recman_owner(id, name, read_without) VALUES(1, ?1, ?2)"; }
std::string ClearOwnerSql() { return "DELETE FROM recman_owner"; }

std::string CountSql() { return "SELECT count(*) FROM records"; }

std::string CountValuesSql(size_t key) {
  const std::string k = KeyColumn(key);
  return "SELECT count(DISTINCT " + k + ") FROM records INDEXED BY " + IndexName(key) +
         " WHERE " + k + " IS NOT NULL";
}

std::string CountOnPathSql(const FileLayout& layout, int key, bool before) {
  if (key < 0) return before ? "SELECT count(*) FROM records WHERE pos < ?1" : CountSql();
  const std::string k = KeyColumn(static_cast<size_t>(key));
  std::string where = k + " IS NOT NULL";
  if (before) {
    where = layout.keys[key].duplicates
                ? where + " AND (" + k + ", " + SeqColumn(static_cast<size_t>(key)) + ") < (?1, ?2)"
                : k + " < ?1";
  }
  return "SELECT count(*) FROM records INDEXED BY " + IndexName(key) + " WHERE " + where;
}

std::string NthSql(const FileLayout& layout, int key) {
  return (key < 0 ? StepSql(Step::kFirst) : SeekSql(layout, static_cast<size_t>(key), Seek::kFirst)) +
         " OFFSET ?1";
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
