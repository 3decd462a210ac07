#include "recman/storage/pg/schema.h"

namespace recman::pg {
namespace {

// prefix and n: built by appending, as g++ 12 warns falsely about a short
// literal + std::to_string(...) in optimised builds.
std::string Named(const char* prefix, int64_t n) {
  std::string name = prefix;
  name += std::to_string(n);
  return name;
}

std::string Key(size_t key) { return Named("k", static_cast<int64_t>(key)); }
std::string Seq(size_t key) { return Named("s", static_cast<int64_t>(key)); }
std::string Counter(int64_t id) { return Named("'recman.r", id) + "_pos'"; }

}  // namespace

std::string CatalogueSql() {
  // Names are bytea: a file name is the workstation's bytes, whatever
  // their encoding.
  return "CREATE SCHEMA IF NOT EXISTS recman; "
         "CREATE TABLE IF NOT EXISTS recman.files(id serial PRIMARY KEY, database bytea NOT NULL, "
         "name bytea NOT NULL, format integer NOT NULL, layout bytea NOT NULL, UNIQUE(database, name))";
}

std::string FindFileSql() {
  return "SELECT id::int8, format::int8, layout FROM recman.files WHERE database = $1::bytea AND name = $2::bytea";
}

std::string AddFileSql() {
  return "INSERT INTO recman.files(database, name, format, layout) "
         "VALUES($1::bytea, $2::bytea, $3::int8, $4::bytea) RETURNING id::int8";
}

std::string ReplaceLayoutSql() {
  return "UPDATE recman.files SET format = $2::int8, layout = $3::bytea WHERE id = $1::int8";
}

std::string ListFilesSql() {
  return "SELECT name FROM recman.files WHERE database = $1::bytea ORDER BY name";
}

std::string HoldFilesSql() {
  return "SELECT id::int8, name, pg_try_advisory_xact_lock(" + std::to_string(kLockSpace) +
         ", id) FROM recman.files WHERE database = $1::bytea ORDER BY name";
}

std::string ForgetFilesSql() { return "DELETE FROM recman.files WHERE database = $1::bytea"; }

std::string AllFilesSql() { return "SELECT database, name, id::int8 FROM recman.files ORDER BY id"; }

std::string TableName(int64_t id) { return Named("recman.r", id); }

std::vector<std::string> CreateStatements(int64_t id, const FileLayout& layout) {
  const std::string table = TableName(id);
  std::vector<std::string> out;
  // Positions are 32-bit and never reused: the counter stops at the top.
  out.push_back("CREATE SEQUENCE " + table + "_pos AS bigint MINVALUE 1 MAXVALUE 4294967295 NO CYCLE");
  std::string records = "CREATE TABLE " + table + "(pos bigint PRIMARY KEY, ver bigint NOT NULL, data bytea NOT NULL";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    records += ", " + Key(k) + " bytea";
    if (layout.keys[k].duplicates) records += ", " + Seq(k) + " bigint";
  }
  out.push_back(records + ")");
  for (size_t k = 0; k < layout.keys.size(); ++k) out.push_back(IndexSql(id, layout, k));
  return out;
}

std::string IndexSql(int64_t id, const FileLayout& layout, size_t key) {
  // bytea compares bytewise, the order the key encoding is made for. A
  // null key is kept out of its index.
  const bool dup = layout.keys[key].duplicates;
  return std::string(dup ? "CREATE INDEX ON " : "CREATE UNIQUE INDEX ON ") + TableName(id) + "(" + Key(key) +
         (dup ? ", " + Seq(key) : "") + ") WHERE " + Key(key) + " IS NOT NULL";
}

std::string AddKeySql(int64_t id, const FileLayout& to) {
  const size_t key = to.keys.size() - 1;
  return "ALTER TABLE " + TableName(id) + " ADD COLUMN " + Key(key) + " bytea" +
         (to.keys[key].duplicates ? ", ADD COLUMN " + Seq(key) + " bigint" : "");
}

std::string KeyValuesSql(int64_t id) {
  return "SELECT pos, data FROM " + TableName(id) + " WHERE pos > $1::int8 ORDER BY pos LIMIT $2::int8";
}

std::string SetKeyValuesSql(int64_t id, const FileLayout& to, const std::vector<PositionedKey>& values) {
  static const char kHex[] = "0123456789abcdef";
  const size_t key = to.keys.size() - 1;
  // The values as literals: positions are numbers and keys hex digits, so
  // the text says nothing but what it means.
  std::string rows;
  for (const PositionedKey& v : values) {
    rows += rows.empty() ? "(" : ", (";
    rows += std::to_string(v.pos) + "::int8, ";
    if (!v.present) {
      rows += "NULL::bytea)";
      continue;
    }
    rows += "'\\x";
    for (const unsigned char c : v.value) {
      rows += kHex[c >> 4];
      rows += kHex[c & 15];
    }
    rows += "'::bytea)";
  }
  // A record's place among duplicates is its position, as for an insert.
  const std::string seq = to.keys[key].duplicates ? ", " + Seq(key) + " = t.pos" : "";
  return "UPDATE " + TableName(id) + " AS t SET " + Key(key) + " = v.k" + seq + " FROM (VALUES " + rows +
         ") AS v(p, k) WHERE t.pos = v.p";
}

std::vector<std::string> DropKeyStatements(int64_t id, const FileLayout& from, size_t key) {
  const std::string alter = "ALTER TABLE " + TableName(id);
  // The key's index goes with its column; the indexes of the keys after it
  // follow their columns' new names.
  std::vector<std::string> out{alter + " DROP COLUMN " + Key(key) +
                               (from.keys[key].duplicates ? ", DROP COLUMN " + Seq(key) : "")};
  for (size_t k = key + 1; k < from.keys.size(); ++k) {
    out.push_back(alter + " RENAME COLUMN " + Key(k) + " TO " + Key(k - 1));
    if (from.keys[k].duplicates) out.push_back(alter + " RENAME COLUMN " + Seq(k) + " TO " + Seq(k - 1));
  }
  return out;
}

std::string DropSql(int64_t id) {
  // Views that others made on the records (reports) go with the table: a
  // file that Create replaces is a new file.
  return "DROP TABLE IF EXISTS " + TableName(id) + " CASCADE; DROP SEQUENCE IF EXISTS " + TableName(id) +
         "_pos; DO $$BEGIN IF to_regclass('recman.owners') IS NOT NULL THEN DELETE FROM recman.owners WHERE id = " +
         std::to_string(id) + "; END IF; END$$";
}

std::string SeekSql(int64_t id, const FileLayout& layout, size_t key, Seek seek) {
  const bool dup = layout.keys[key].duplicates;
  const std::string k = Key(key);
  const std::string s = dup ? Seq(key) : "0::int8";
  const std::string up = dup ? " ORDER BY " + k + ", " + s : " ORDER BY " + k;
  const std::string down = dup ? " ORDER BY " + k + " DESC, " + s + " DESC" : " ORDER BY " + k + " DESC";
  // Every condition says the key is not null, so that the partial index
  // serves it in the order asked for.
  std::string where = k + " IS NOT NULL";
  std::string order;
  std::string limit = " LIMIT 1";
  const std::string walkLimit = dup ? " LIMIT $3::int8" : " LIMIT $2::int8";
  switch (seek) {
    case Seek::kFirst: order = up; break;
    case Seek::kLast: order = down; break;
    case Seek::kEqual: where += " AND " + k + " = $1::bytea"; order = up; break;
    case Seek::kGreaterEq: where += " AND " + k + " >= $1::bytea"; order = up; break;
    case Seek::kGreater: where += " AND " + k + " > $1::bytea"; order = up; break;
    case Seek::kLessEq: where += " AND " + k + " <= $1::bytea"; order = down; break;
    case Seek::kLess: where += " AND " + k + " < $1::bytea"; order = down; break;
    case Seek::kNext:
      where += dup ? " AND (" + k + ", " + s + ") > ($1::bytea, $2::int8)" : " AND " + k + " > $1::bytea";
      order = up;
      limit = walkLimit;
      break;
    case Seek::kPrevious:
      where += dup ? " AND (" + k + ", " + s + ") < ($1::bytea, $2::int8)" : " AND " + k + " < $1::bytea";
      order = down;
      limit = walkLimit;
      break;
  }
  return "SELECT pos, ver, data, " + k + ", " + s + " FROM " + TableName(id) + " WHERE " + where + order + limit;
}

std::string StepSql(int64_t id, Step step) {
  const std::string from = "SELECT pos, ver, data FROM " + TableName(id);
  switch (step) {
    case Step::kFirst: return from + " ORDER BY pos LIMIT 1";
    case Step::kLast: return from + " ORDER BY pos DESC LIMIT 1";
    case Step::kNext: return from + " WHERE pos > $1::int8 ORDER BY pos LIMIT $2::int8";
    case Step::kPrevious: return from + " WHERE pos < $1::int8 ORDER BY pos DESC LIMIT $2::int8";
  }
  return {};
}

std::string InsertSql(int64_t id, const FileLayout& layout) {
  std::string cols = "pos, ver, data";
  std::string vals = "n.p, 1, $1::bytea";
  int param = 1;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    cols += ", " + Key(k);
    vals += ", $" + std::to_string(++param) + "::bytea";
    if (layout.keys[k].duplicates) {
      cols += ", " + Seq(k);
      vals += ", n.p";
    }
  }
  return "INSERT INTO " + TableName(id) + "(" + cols + ") SELECT " + vals + " FROM (SELECT nextval(" +
         Counter(id) + ") AS p) n ON CONFLICT DO NOTHING RETURNING pos";
}

std::string UpdateSql(int64_t id, const FileLayout& layout) {
  std::string sql = "UPDATE " + TableName(id) + " SET ver = ver + 1, data = $2::bytea";
  int param = 2;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += ", " + Key(k) + " = $" + std::to_string(++param) + "::bytea";
    if (layout.keys[k].duplicates) sql += ", " + Seq(k) + " = $" + std::to_string(++param) + "::int8";
  }
  return sql + " WHERE pos = $1::int8";
}

std::string DeleteSql(int64_t id) {
  return "DELETE FROM " + TableName(id) + " WHERE pos = $1::int8 AND ver = $2::int8";
}

std::string RowSql(int64_t id, const FileLayout& layout, bool forUpdate) {
  std::string sql = "SELECT ver, data";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += layout.keys[k].duplicates ? ", " + Seq(k) : std::string(", 0::int8");
  }
  return sql + " FROM " + TableName(id) + " WHERE pos = $1::int8" + (forUpdate ? " FOR UPDATE" : "");
}

std::string NextSequenceSql(int64_t id) { return "SELECT nextval(" + Counter(id) + ")"; }

std::string HasOwnersSql() { return "SELECT to_regclass('recman.owners') IS NOT NULL"; }
std::string ReadOwnerSql() { return "SELECT name, read_without FROM recman.owners WHERE id = $1::int8"; }
std::string MakeOwnersSql() {
  return "CREATE TABLE IF NOT EXISTS recman.owners(id int8 PRIMARY KEY, name bytea NOT NULL, "
         "read_without boolean NOT NULL)";
}
std::string ClearOwnerSql() { return "DELETE FROM recman.owners WHERE id = $1::int8"; }
std::string WriteOwnerSql() {
  return "INSERT INTO recman.owners(id, name, read_without) VALUES($1::int8, $2::bytea, $3::int8 <> 0) "
         "ON CONFLICT DO NOTHING";
}

std::string CountSql(int64_t id) { return "SELECT count(*) FROM " + TableName(id); }

std::string CountValuesSql(int64_t id, size_t key) {
  return "SELECT count(DISTINCT " + Key(key) + ") FROM " + TableName(id) + " WHERE " + Key(key) + " IS NOT NULL";
}

std::string CountOnPathSql(int64_t id, const FileLayout& layout, int key, bool before) {
  const std::string count = "SELECT count(*) FROM " + TableName(id);
  if (key < 0) return before ? count + " WHERE pos < $1::int8" : count;
  const std::string k = Key(static_cast<size_t>(key));
  std::string where = k + " IS NOT NULL";
  if (before) {
    where += layout.keys[key].duplicates
                 ? " AND (" + k + ", " + Seq(static_cast<size_t>(key)) + ") < ($1::bytea, $2::int8)"
                 : " AND " + k + " < $1::bytea";
  }
  return count + " WHERE " + where;
}

std::string NthSql(int64_t id, const FileLayout& layout, int key) {
  return (key < 0 ? StepSql(id, Step::kFirst) : SeekSql(id, layout, static_cast<size_t>(key), Seek::kFirst)) +
         " OFFSET $1::int8";
}

std::string CheckRowsSql(int64_t id, const FileLayout& layout) {
  std::string sql = "SELECT pos, data";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += ", " + Key(k) + (layout.keys[k].duplicates ? ", " + Seq(k) : std::string(", 0::int8"));
  }
  return sql + " FROM " + TableName(id) + " ORDER BY pos";
}

std::string LockExclusiveSql(int64_t id) { return "LOCK TABLE " + TableName(id) + " IN EXCLUSIVE MODE"; }

std::string LockWritersSql(int64_t id) {
  return "LOCK TABLE " + TableName(id) + " IN SHARE ROW EXCLUSIVE MODE";
}

}  // namespace recman::pg
