#pragma once
// The database-number table: the 32 numbers by which CRecLink names its record
// files, with each number's file, record ident, position-block slot and record
// length.

namespace reclink::numbered {

struct DbNumberEntry {
  int dbno;                  // database number
  const char* file;          // file name in the database directory; nullptr: open by path only
  const char* ident;         // record ident shown in boxes and logged; "" for none
  int slot;                  // index of the number's position block, 0..31
  unsigned int recordLength; // bytes of one record
};

constexpr int kDbNumberCount = 32;

// Every row, in number order.
extern const DbNumberEntry kDbNumbers[kDbNumberCount];

// The row of dbno, or nullptr for an unknown number.
const DbNumberEntry* FindDbNumber(int dbno);

}  // namespace reclink::numbered
