// The SQL of a record file kept in SQLite: its tables and indexes, and the
// statements the engine prepares once per connection. Nothing here runs per
// call.
#pragma once

#include <string>
#include <vector>

#include "recman/format/file_layout.h"
#include "recman/storage/storage.h"
#include "recman/storage/table_sql.h"

namespace recman::sqlite {

// Identifies our files: the value of recman_file.magic.
inline constexpr const char* kFileMagic = "reclink record file";
// The version of the layout below, kept in recman_file.format.
inline constexpr int kFormatVersion = 1;
// The highest position: positions are 32-bit.
inline constexpr int64_t kMaxPosition = 4294967295;

// How SQLite spells the statements of a file's records (table_sql.h).
const SqlDialect& Dialect();

// Statements that create a new file's tables and indexes, in order.
std::vector<std::string> CreateStatements(const FileLayout& layout);

// The table of undo images of a transaction over several files.
std::string UndoTableSql(const FileLayout& layout);

// Create Index: the statements that add the last key of `to` to the
// records (its values still null) and remake the undo table for it; the
// statement that sets its value ?2 for the record at ?1. IndexSql of its
// key then makes its index.
std::vector<std::string> AddKeyStatements(const FileLayout& to);
std::string SetKeyValueSql(const FileLayout& to);
// Drop Index: the statements that take key `key` of `from` out, leaving
// the keys, indexes and undo table of `to`.
std::vector<std::string> DropKeyStatements(const FileLayout& from, const FileLayout& to, size_t key);
// Replaces the layout image of the identification row with ?1.
std::string WriteLayoutSql();

// Reads the identification row: magic, format, layout image.
std::string ReadHeaderSql();
// Stores the identification row: ?1 magic, ?2 format, ?3 layout image.
std::string WriteHeaderSql();

// A walk along key `key` from (?1, ?2) on, one record per step, no LIMIT:
// the same columns as SeekSql (table_sql.h).
std::string WalkSql(const FileLayout& layout, size_t key, bool forward);

// A scan along key `key` from (?1, ?2) on as WalkSql, or with key -1 in
// physical order from position ?1 on: pos and data only.
std::string ScanSql(const FileLayout& layout, int key, bool forward);

// A walk in physical order from position ?1 on, one record per step.
std::string StepWalkSql(bool forward);

// INSERT: ?1 data, then k of every key; the position comes from
// AUTOINCREMENT and is also the place of the record among duplicates on
// every key.
std::string InsertSql(const FileLayout& layout);
// Takes the next number of the position counter (no row once out of positions).
std::string NextSequenceSql();
// The last number the position counter handed out (0: none yet).
std::string HandedOutSql();
// Sets the position counter to n (statements for sqlite3_exec).
std::string SetHandedOutSql(int64_t n);
// The owner's statements (a file's own table: no file parameter).
const OwnerSql& OwnerStatements();

// The columns of a stored record after pos: ver, data, k and s columns;
// with declared, with their types (for CREATE TABLE).
std::string RowColumns(const FileLayout& layout, bool declared);
// Keeps record ?2 as it is now under transaction ?1, unless already kept.
std::string SaveBeforeSql(const FileLayout& layout);
// Notes that record ?2 did not exist before transaction ?1.
std::string SaveInsertedSql();
// Puts back every record that transaction ?1 kept and that existed before.
std::string RestoreSql(const FileLayout& layout);
// Whether any transaction over several files waits to be settled here.
std::string PendingSql();

}  // namespace recman::sqlite
