// The SQL of a record file's table, the same in every backend that keeps
// records in SQL: a table of records (pos, ver, data, then per key k<n>
// and, on keys with duplicates, s<n>), one partial index per key, and the
// statements that read and write it. A backend's dialect says how it
// spells what differs. Nothing here runs per call: backends prepare these
// statements once.
#pragma once

#include <string>
#include <vector>

#include "recman/format/file_layout.h"
#include "recman/storage/storage.h"

namespace recman {

// How one backend spells the statements.
struct SqlDialect {
  std::string table;          // the records' table, as statements name it
  const char* bytes;          // the type of a column of bytes
  const char* integer;        // the type of a column of integers
  const char* position;       // the declaration of the position column
  bool typedParams;           // $n::bytea and $n::int8; otherwise ?n
  bool namedIndexes;          // each key's index is named key<n>, and reads name the index they go by
  bool notNullBeside;         // a plain comparison on a key says beside it that the key is not null
  bool orderUniqueEqual;      // Get Equal on a unique key still says its order
  bool rowLimitParam;         // Next and Previous take the row limit as their last parameter
  bool boundEnds;             // First and Last in physical order say pos > 0
  bool oneChangePerAlter;     // ALTER TABLE takes one change at a time
  const char* lockRow;        // what a read for a change adds to lock the row
};

// The statements of a file's owner, kept in a table that the first owner
// makes (a file made before owners existed stays as it is): whether that
// table is there, the owner (name, read without it), the table made, the
// owner taken away, and given (name, read without it; no row changed when
// the file has one). Where one table keeps the owners of several files,
// the file's number is the first parameter of the last four.
struct OwnerSql {
  std::string exists, read, make, clear, write;
};

// Column names of key `key`: k<key> and s<key>; its index's name where the
// dialect names indexes: key<key>.
std::string KeyColumn(size_t key);
std::string SeqColumn(size_t key);
std::string IndexName(size_t key);

// The key columns of a record after data: ", k0[, s0], k1...", with their
// types when declared.
std::string KeyColumns(const SqlDialect& d, const FileLayout& layout, bool declared);

// CREATE TABLE of the records; CREATE INDEX of key `key`.
std::string CreateTableSql(const SqlDialect& d, const FileLayout& layout);
std::string IndexSql(const SqlDialect& d, const FileLayout& layout, size_t key);

// Create Index: the statements that add the last key of `to` to the
// records (its values still null). Drop Index: those that take key `key` of
// `from` out, the columns of the keys after it renamed one down.
std::vector<std::string> AddKeyColumnsSql(const SqlDialect& d, const FileLayout& to);
std::vector<std::string> DropKeyColumnsSql(const SqlDialect& d, const FileLayout& from, size_t key);
// The records after position 1 (pos, data), at most parameter 2 of them,
// in position order: for filling a new key in.
std::string KeyValuesSql(const SqlDialect& d);

// Along key `key`: pos, ver, data, k, s (0 on unique keys) of one record;
// parameter 1 is the value, 2 the place among duplicates (kNext and
// kPrevious on keys with duplicates), and with rowLimitParam kNext and
// kPrevious take the row limit as their last parameter.
std::string SeekSql(const SqlDialect& d, const FileLayout& layout, size_t key, Seek seek);
// Physical order: pos, ver, data of one record; kNext and kPrevious from
// position 1 (and the row limit as 2 with rowLimitParam).
std::string StepSql(const SqlDialect& d, Step step);

// UPDATE of pos 1: 2 data, then k and (duplicates only) s of every key.
std::string UpdateSql(const SqlDialect& d, const FileLayout& layout);
// DELETE of pos 1 if its version is 2.
std::string DeleteSql(const SqlDialect& d);
// ver, data and the s of every key (0 on unique keys) of pos 1; locked for
// the write when forUpdate.
std::string RowSql(const SqlDialect& d, const FileLayout& layout, bool forUpdate);

// Counts: records; distinct non-null values of key `key`.
std::string CountSql(const SqlDialect& d);
std::string CountValuesSql(const SqlDialect& d, size_t key);
// The records on the path of key `key` (physical order with key -1): all
// of them, or with before those before (1, 2) on a key, before position 1
// in physical order.
std::string CountOnPathSql(const SqlDialect& d, const FileLayout& layout, int key, bool before);
// The record parameter 1 records from the start of that path: the columns
// of SeekSql on a key, of StepSql in physical order.
std::string NthSql(const SqlDialect& d, const FileLayout& layout, int key);
// Every stored record for the check, read from the table itself: pos,
// data, then k and s (0 on unique keys) of every key.
std::string CheckRowsSql(const SqlDialect& d, const FileLayout& layout);

}  // namespace recman
