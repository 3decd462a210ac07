#include "recman/format/record_check.h"

#include "recman/format/key_codec.h"

namespace recman {

void CheckStoredRecord(const FileLayout& layout, int64_t pos, const uint8_t* data, uint32_t length,
                       const StoredKey* keys, CheckReport& report) {
  const std::string where = "record at position " + std::to_string(pos) + ": ";
  if (pos <= 0 || pos > static_cast<int64_t>(UINT32_MAX)) report.Problem(where + "position out of range");
  const bool lengthOk = layout.variableLength ? length >= layout.recordLength : length == layout.recordLength;
  if (!lengthOk || data == nullptr) {
    report.Problem(where + "length " + std::to_string(length) + ", the file's records have " +
                   std::to_string(layout.recordLength));
    if (length < layout.recordLength || data == nullptr) return;  // keys cannot be read
  }
  std::string expected;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    const bool present = EncodeFromRecord(layout.keys[k], data, &expected);
    if (present == keys[k].null || (present && keys[k].value != expected)) {
      report.Problem(where + "key " + std::to_string(k) + " in the index differs from the record");
    }
    if (layout.keys[k].duplicates && !keys[k].hasPlace) {
      report.Problem(where + "key " + std::to_string(k) + " has no duplicate order");
    }
  }
}

}  // namespace recman
