// The SQL of a record file: its tables, indexes and the statements the
// engine prepares once per file. Nothing here runs per call.
#pragma once

#include <string>
#include <vector>

#include "recman/file_layout.h"

namespace recman {

// Identifies our files: the value of recman_file.magic.
inline constexpr const char* kFileMagic = "reclink record file";
// The version of the layout below, kept in recman_file.format.
inline constexpr int kFormatVersion = 1;

// Statements that create a new file's tables and indexes, in order.
std::vector<std::string> CreateStatements(const FileLayout& layout);

// Reads the identification row: magic, format, layout image.
std::string ReadHeaderSql();

// Stores the identification row: ?1 magic, ?2 format, ?3 layout image.
std::string WriteHeaderSql();

// Per key statements. Every one returns the columns pos, ver, data, k, s
// (s is 0 for a unique key) of at most one record.
enum class Seek { kFirst, kLast, kEqual, kGreaterEq, kGreater, kLessEq, kLess, kNext, kPrevious };
inline constexpr int kSeekCount = 9;
std::string SeekSql(const FileLayout& layout, size_t key, Seek seek);

// A walk along key `key` from (?1, ?2) on, one record per step, no LIMIT:
// the same columns as SeekSql.
std::string WalkSql(const FileLayout& layout, size_t key, bool forward);

// Physical order: pos, ver, data.
enum class Step { kFirst, kLast, kNext, kPrevious, kAt };
inline constexpr int kStepCount = 5;
std::string StepSql(Step step);

// INSERT: ?1 data, then k of every key; the position comes from
// AUTOINCREMENT and is also the sequence of every duplicate key.
std::string InsertSql(const FileLayout& layout);
// UPDATE of pos ?1: ?2 data, then k and (duplicates only) s of every key.
std::string UpdateSql(const FileLayout& layout);
// The stored ver, data and the s of every key (0 for unique keys) of pos ?1.
std::string RowSql(const FileLayout& layout);
// The columns of a stored record after pos: ver, data, k and s columns;
// with declared, with their types (for CREATE TABLE).
std::string RowColumns(const FileLayout& layout, bool declared);
// Keeps record ?2 as it is now under transaction ?1, unless already kept.
std::string SaveBeforeSql(const FileLayout& layout);
// Puts back every record that transaction ?1 kept and that existed before.
std::string RestoreSql(const FileLayout& layout);
// Column names of key k: k<k> and s<k>.
std::string KeyColumn(size_t key);
std::string SeqColumn(size_t key);

}  // namespace recman
