#pragma once
// A record file's specification against the database's record-file table:
// what differs, in words.

#include <string>
#include <vector>

#include "cli/file_spec.h"
#include "reclink/records/catalogue.h"

namespace reclink::cli {

// One line per difference between spec (from Stat) and row: record length,
// number of keys, each key's segments (position and length) and whether it
// allows duplicates. Empty when spec has the layout of row. Keys beyond the
// table's are allowed.
std::vector<std::string> LayoutDifferences(const RecordFileRow& row, const FileSpec& spec);

}  // namespace reclink::cli
