#pragma once
// The work-key table: for each database number, how key 0 of a record is
// rebuilt from the record itself, so that the write operations can find the
// stored record again from nothing but the caller's record.

#include <cstddef>

namespace reclink::numbered {

constexpr int kMaxKeyFields = 3;

struct WorkKeyRule {
  int dbno;                     // database number
  unsigned int keyLength;       // bytes of key 0
  int fieldCount;               // texts making up the key (0: raw prefix, see below)
  int offsets[kMaxKeyFields];   // offset of each text, in the record and in the key
  bool pointLatMark;            // set the current-layout mark in the work copy
};

constexpr int kWorkKeyRuleCount = 32;

// Every row, in number order. A row with no fields takes the record's first
// keyLength bytes as they stand, bytes after a zero included.
extern const WorkKeyRule kWorkKeyRules[kWorkKeyRuleCount];

// The rule of dbno, or nullptr when it has none.
const WorkKeyRule* FindWorkKeyRule(int dbno);

// Fills copy (copyLength bytes) from record and key (keyCapacity bytes, at
// least rule.keyLength) by rule: the whole key is zeroed, then each text is
// copied with its zero to its offset. A text never runs past rule.keyLength
// nor is read past the end of the copy.
void PrepareWorkCopy(const WorkKeyRule& rule, const void* record, size_t copyLength, char* copy,
                     char* key, size_t keyCapacity);

}  // namespace reclink::numbered
