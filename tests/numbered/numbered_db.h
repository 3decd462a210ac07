#pragma once
// Shared pieces of the numbered-interface tests: the database directory of
// the record-class suites, and records built from texts.

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "reclink/rec_link.h"
#include "records/record_db.h"

namespace reclink::test {

// size bytes of filler with each text, and its zero, at its offset.
inline std::vector<char> Rec(size_t size, const std::vector<std::pair<size_t, std::string>>& texts,
                             char filler = 0) {
  std::vector<char> record(size, filler);
  for (const auto& [at, text] : texts) std::memcpy(&record[at], text.c_str(), text.size() + 1);
  return record;
}

// DB_GetEQ on key 0 taken from the first bytes of record (every numbered
// file's key 0 lies back to back from offset 0) into out; the status.
inline int GetEQ(CRecLink& link, int dbno, const std::vector<char>& record,
                 std::vector<char>& out) {
  out.assign(record.size(), 0);
  char key[256] = {};
  std::memcpy(key, record.data(), std::min<size_t>(record.size(), 64));
  return link.DB_GetEQ(dbno, 0, out.data(), key);
}

}  // namespace reclink::test
