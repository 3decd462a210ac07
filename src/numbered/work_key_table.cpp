#include "numbered/work_key_table.h"

#include <cstring>

#include "core/point_lat.h"

namespace reclink::numbered {

const WorkKeyRule kWorkKeyRules[kWorkKeyRuleCount] = {
    {10, 32, 2, {0, 21, 0}, false},
    {110, 21, 0, {0, 0, 0}, false},
    {120, 32, 2, {0, 21, 0}, false},
    {130, 3, 1, {0, 0, 0}, false},
    {140, 32, 2, {0, 21, 0}, true},
    {150, 3, 1, {0, 0, 0}, false},
    {160, 32, 2, {0, 21, 0}, false},
    {170, 32, 2, {0, 21, 0}, false},
    {180, 32, 2, {0, 21, 0}, false},
    {190, 3, 1, {0, 0, 0}, false},
    {200, 4, 1, {0, 0, 0}, false},
    {210, 8, 2, {0, 4, 0}, false},
    {220, 29, 3, {0, 21, 25}, false},
    {230, 4, 1, {0, 0, 0}, false},
    {240, 12, 3, {0, 4, 8}, false},
    {250, 32, 2, {0, 21, 0}, false},
    {260, 32, 2, {0, 21, 0}, false},
    {270, 32, 2, {0, 21, 0}, false},
    {280, 32, 2, {0, 21, 0}, false},
    {290, 32, 2, {0, 21, 0}, false},
    {300, 32, 2, {0, 21, 0}, false},
    {310, 21, 1, {0, 0, 0}, false},
    {320, 32, 2, {0, 21, 0}, false},
    {330, 32, 2, {0, 21, 0}, false},
    {340, 32, 2, {0, 21, 0}, false},
    {350, 32, 2, {0, 21, 0}, false},
    {360, 32, 2, {0, 21, 0}, false},
    {450, 32, 2, {0, 21, 0}, false},
    {460, 32, 2, {0, 21, 0}, false},
    {470, 35, 3, {0, 21, 32}, false},
    {480, 35, 3, {0, 21, 32}, false},
    {490, 32, 2, {0, 21, 0}, false},
};

const WorkKeyRule* FindWorkKeyRule(int dbno) {
  for (const WorkKeyRule& rule : kWorkKeyRules) {
    if (rule.dbno == dbno) return &rule;
  }
  return nullptr;
}

void PrepareWorkCopy(const WorkKeyRule& rule, const void* record, size_t copyLength, char* copy,
                     char* key, size_t keyCapacity) {
  std::memcpy(copy, record, copyLength);
  if (rule.pointLatMark && copyLength > static_cast<size_t>(kPointLatMarkOffset)) {
    copy[kPointLatMarkOffset] = '1';
  }
  std::memset(key, 0, keyCapacity);
  const size_t keyLength = rule.keyLength < keyCapacity ? rule.keyLength : keyCapacity;
  if (rule.fieldCount == 0) {
    std::memcpy(key, copy, keyLength < copyLength ? keyLength : copyLength);
    return;
  }
  for (int i = 0; i < rule.fieldCount; ++i) {
    const size_t offset = static_cast<size_t>(rule.offsets[i]);
    if (offset >= keyLength || offset >= copyLength) continue;
    // The text with its zero, cut where the key or the record ends.
    size_t room = keyLength - offset;
    size_t text = strnlen(copy + offset, copyLength - offset);
    size_t bytes = text < room ? text : room;
    std::memcpy(key + offset, copy + offset, bytes);
    if (bytes < room) key[offset + bytes] = '\0';
  }
}

}  // namespace reclink::numbered
