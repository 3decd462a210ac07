// What Stat reports of a file: its Create buffer as received, with the
// counts of today.
#pragma once

#include <string>

#include "recman/storage/storage.h"

namespace recman {

// The Stat buffer of table into *out: the file specification (with the
// record count, and the format version when withVersion), every key
// specification with its key's count of distinct values, and the collating
// sequences. The caller holds the table's mutex. Returns 0 or the status of
// a failed count.
int StatImage(Table& table, bool withVersion, std::string* out);

}  // namespace recman
