#include "reclink/records/catalogue.h"

#include <cstring>

namespace reclink {

const RecordFileRow* FindRecordFile(const char* fileName) {
  if (fileName == nullptr) return nullptr;
  for (const RecordFileRow& row : kRecordFiles)
    if (std::strcmp(row.fileName, fileName) == 0) return &row;
  return nullptr;
}

}  // namespace reclink
