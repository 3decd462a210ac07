#include "recman/storage/table_sql.h"

namespace recman {
namespace {

// prefix and n: built by appending, as g++ 12 warns falsely about a short
// literal + std::to_string(...) in optimised builds.
std::string Named(const char* prefix, size_t n) {
  std::string name = prefix;
  name += std::to_string(n);
  return name;
}

// Parameter n, of bytes or of an integer, typed where the dialect types
// its parameters; built by appending, as Named.
std::string Param(const SqlDialect& d, int n, const char* type) {
  std::string param = d.typedParams ? "$" : "?";
  param += std::to_string(n);
  if (d.typedParams) param += type;
  return param;
}
std::string Bytes(const SqlDialect& d, int n) { return Param(d, n, "::bytea"); }
std::string Int(const SqlDialect& d, int n) { return Param(d, n, "::int8"); }

// The place among duplicates of a unique key.
std::string Zero(const SqlDialect& d) { return d.typedParams ? "0::int8" : "0"; }

// The index a read along key `key` goes by, where the dialect names it.
std::string By(const SqlDialect& d, size_t key) { return d.namedIndexes ? " INDEXED BY " + IndexName(key) : ""; }

// A plain comparison c on key column k.
std::string Compared(const SqlDialect& d, const std::string& k, const std::string& c) {
  return d.notNullBeside ? k + " IS NOT NULL AND " + c : c;
}

// (k, s) compared by op with (1, 2): a row value implies nothing, so it
// says that the key is not null itself.
std::string RowCompared(const SqlDialect& d, const std::string& k, const std::string& s, const char* op) {
  return k + " IS NOT NULL AND (" + k + ", " + s + ") " + op + " (" + Bytes(d, 1) + ", " + Int(d, 2) + ")";
}

}  // namespace

std::string KeyColumn(size_t key) { return Named("k", key); }
std::string SeqColumn(size_t key) { return Named("s", key); }
std::string IndexName(size_t key) { return Named("key", key); }

std::string KeyColumns(const SqlDialect& d, const FileLayout& layout, bool declared) {
  std::string cols;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    cols += ", " + KeyColumn(k) + (declared ? std::string(" ") + d.bytes : "");
    if (layout.keys[k].duplicates) cols += ", " + SeqColumn(k) + (declared ? std::string(" ") + d.integer : "");
  }
  return cols;
}

std::string CreateTableSql(const SqlDialect& d, const FileLayout& layout) {
  return "CREATE TABLE " + d.table + "(" + d.position + ", ver " + d.integer + " NOT NULL, data " + d.bytes +
         " NOT NULL" + KeyColumns(d, layout, true) + ")";
}

std::string IndexSql(const SqlDialect& d, const FileLayout& layout, size_t key) {
  // Bytes compare bytewise, the order the key encoding is made for. A null
  // key is kept out of its index.
  const bool dup = layout.keys[key].duplicates;
  const std::string k = KeyColumn(key);
  return std::string(dup ? "CREATE INDEX " : "CREATE UNIQUE INDEX ") + (d.namedIndexes ? IndexName(key) + " " : "") +
         "ON " + d.table + "(" + k + (dup ? ", " + SeqColumn(key) : "") + ") WHERE " + k + " IS NOT NULL";
}

std::vector<std::string> AddKeyColumnsSql(const SqlDialect& d, const FileLayout& to) {
  const size_t key = to.keys.size() - 1;
  std::vector<std::string> changes{"ADD COLUMN " + KeyColumn(key) + " " + d.bytes};
  if (to.keys[key].duplicates) changes.push_back("ADD COLUMN " + SeqColumn(key) + " " + d.integer);
  std::vector<std::string> out;
  for (const std::string& change : changes) {
    if (out.empty() || d.oneChangePerAlter) {
      out.push_back("ALTER TABLE " + d.table + " " + change);
    } else {
      out.back() += ", " + change;
    }
  }
  return out;
}

std::vector<std::string> DropKeyColumnsSql(const SqlDialect& d, const FileLayout& from, size_t key) {
  const std::string alter = "ALTER TABLE " + d.table;
  std::vector<std::string> out{alter + " DROP COLUMN " + KeyColumn(key)};
  if (from.keys[key].duplicates) {
    if (d.oneChangePerAlter) {
      out.push_back(alter + " DROP COLUMN " + SeqColumn(key));
    } else {
      out.back() += ", DROP COLUMN " + SeqColumn(key);
    }
  }
  for (size_t k = key + 1; k < from.keys.size(); ++k) {
    out.push_back(alter + " RENAME COLUMN " + KeyColumn(k) + " TO " + KeyColumn(k - 1));
    if (from.keys[k].duplicates) out.push_back(alter + " RENAME COLUMN " + SeqColumn(k) + " TO " + SeqColumn(k - 1));
  }
  return out;
}

std::string KeyValuesSql(const SqlDialect& d) {
  return "SELECT pos, data FROM " + d.table + " WHERE pos > " + Int(d, 1) + " ORDER BY pos LIMIT " + Int(d, 2);
}

std::string SeekSql(const SqlDialect& d, const FileLayout& layout, size_t key, Seek seek) {
  const bool dup = layout.keys[key].duplicates;
  const std::string k = KeyColumn(key);
  const std::string s = dup ? SeqColumn(key) : Zero(d);
  const std::string up = dup ? " ORDER BY " + k + ", " + s : " ORDER BY " + k;
  const std::string down = dup ? " ORDER BY " + k + " DESC, " + s + " DESC" : " ORDER BY " + k + " DESC";
  // Every condition implies that the key is not null, so that the partial
  // index serves it; the index's order is the order asked for, so nothing
  // is sorted. (A planner may sort for an explicit IS NOT NULL beside an
  // equality: without notNullBeside the comparison alone says it.)
  const std::string value = Bytes(d, 1);
  std::string where;
  std::string order;
  std::string limit = " LIMIT 1";
  const bool walk = seek == Seek::kNext || seek == Seek::kPrevious;
  if (walk && d.rowLimitParam) limit = " LIMIT " + Int(d, dup ? 3 : 2);
  switch (seek) {
    case Seek::kFirst: where = k + " IS NOT NULL"; order = up; break;
    case Seek::kLast: where = k + " IS NOT NULL"; order = down; break;
    case Seek::kEqual: where = Compared(d, k, k + " = " + value); order = dup || d.orderUniqueEqual ? up : ""; break;
    case Seek::kGreaterEq: where = Compared(d, k, k + " >= " + value); order = up; break;
    case Seek::kGreater: where = Compared(d, k, k + " > " + value); order = up; break;
    case Seek::kLessEq: where = Compared(d, k, k + " <= " + value); order = down; break;
    case Seek::kLess: where = Compared(d, k, k + " < " + value); order = down; break;
    case Seek::kNext: where = dup ? RowCompared(d, k, s, ">") : Compared(d, k, k + " > " + value); order = up; break;
    case Seek::kPrevious:
      where = dup ? RowCompared(d, k, s, "<") : Compared(d, k, k + " < " + value);
      order = down;
      break;
  }
  return "SELECT pos, ver, data, " + k + ", " + s + " FROM " + d.table + By(d, key) + " WHERE " + where + order +
         limit;
}

std::string StepSql(const SqlDialect& d, Step step) {
  const std::string from = "SELECT pos, ver, data FROM " + d.table;
  // pos > 0 (every position is) makes a plan a search from one end where
  // the dialect needs it said.
  const std::string ends = d.boundEnds ? " WHERE pos > 0" : "";
  const std::string limit = d.rowLimitParam ? " LIMIT " + Int(d, 2) : " LIMIT 1";
  switch (step) {
    case Step::kFirst: return from + ends + " ORDER BY pos LIMIT 1";
    case Step::kLast: return from + ends + " ORDER BY pos DESC LIMIT 1";
    case Step::kNext: return from + " WHERE pos > " + Int(d, 1) + " ORDER BY pos" + limit;
    case Step::kPrevious: return from + " WHERE pos < " + Int(d, 1) + " ORDER BY pos DESC" + limit;
  }
  return {};
}

std::string UpdateSql(const SqlDialect& d, const FileLayout& layout) {
  std::string sql = "UPDATE " + d.table + " SET ver = ver + 1, data = " + Bytes(d, 2);
  int n = 2;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += ", " + KeyColumn(k) + " = " + Bytes(d, ++n);
    if (layout.keys[k].duplicates) sql += ", " + SeqColumn(k) + " = " + Int(d, ++n);
  }
  return sql + " WHERE pos = " + Int(d, 1);
}

std::string DeleteSql(const SqlDialect& d) {
  return "DELETE FROM " + d.table + " WHERE pos = " + Int(d, 1) + " AND ver = " + Int(d, 2);
}

std::string RowSql(const SqlDialect& d, const FileLayout& layout, bool forUpdate) {
  std::string sql = "SELECT ver, data";
  for (size_t k = 0; k < layout.keys.size(); ++k) sql += ", " + (layout.keys[k].duplicates ? SeqColumn(k) : Zero(d));
  return sql + " FROM " + d.table + " WHERE pos = " + Int(d, 1) + (forUpdate ? d.lockRow : "");
}

std::string CountSql(const SqlDialect& d) { return "SELECT count(*) FROM " + d.table; }

std::string CountValuesSql(const SqlDialect& d, size_t key) {
  const std::string k = KeyColumn(key);
  return "SELECT count(DISTINCT " + k + ") FROM " + d.table + By(d, key) + " WHERE " + k + " IS NOT NULL";
}

std::string CountOnPathSql(const SqlDialect& d, const FileLayout& layout, int key, bool before) {
  if (key < 0) return before ? CountSql(d) + " WHERE pos < " + Int(d, 1) : CountSql(d);
  const size_t at = static_cast<size_t>(key);
  const std::string k = KeyColumn(at);
  std::string where = k + " IS NOT NULL";
  if (before) {
    where = layout.keys[at].duplicates ? RowCompared(d, k, SeqColumn(at), "<")
                                       : Compared(d, k, k + " < " + Bytes(d, 1));
  }
  return CountSql(d) + By(d, at) + " WHERE " + where;
}

std::string NthSql(const SqlDialect& d, const FileLayout& layout, int key) {
  return (key < 0 ? StepSql(d, Step::kFirst) : SeekSql(d, layout, static_cast<size_t>(key), Seek::kFirst)) +
         " OFFSET " + Int(d, 1);
}

std::string CheckRowsSql(const SqlDialect& d, const FileLayout& layout) {
  std::string sql = "SELECT pos, data";
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    sql += ", " + KeyColumn(k) + ", " + (layout.keys[k].duplicates ? SeqColumn(k) : Zero(d));
  }
  // Where reads name their index, the check reads none: it compares the
  // records themselves with what the keys say.
  return sql + " FROM " + d.table + (d.namedIndexes ? " NOT INDEXED" : "") + " ORDER BY pos";
}

}  // namespace recman
