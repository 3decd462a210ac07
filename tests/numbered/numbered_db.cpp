#include "numbered_db.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "numbered/db_number_table.h"
#include "numbered/work_key_table.h"
#include "reclink/btrieve.h"
#include "reclink/tools.h"

namespace reclink::test {

namespace {

using reclink::numbered::DbNumberEntry;
using reclink::numbered::WorkKeyRule;

// The fields of a rule's key: (offset, width) pairs.
std::vector<std::pair<int, int>> KeyFields(const WorkKeyRule& rule) {
  std::vector<std::pair<int, int>> fields;
  if (rule.fieldCount == 0) {
    fields.emplace_back(0, static_cast<int>(rule.keyLength));
    return fields;
  }
  for (int i = 0; i < rule.fieldCount; ++i) {
    int end = i + 1 < rule.fieldCount ? rule.offsets[i + 1] : static_cast<int>(rule.keyLength);
    fields.emplace_back(rule.offsets[i], end - rule.offsets[i]);
  }
  return fields;
}

// A file of the number's record length whose key 0 is the number's work key,
// one zstring segment per text.
void CreateFile(const std::string& path, const DbNumberEntry& entry) {
  const WorkKeyRule* rule = reclink::numbered::FindWorkKeyRule(entry.dbno);
  if (rule == nullptr) throw std::runtime_error("number without a key rule");
  auto fields = KeyFields(*rule);
  std::vector<char> spec(sizeof(BtrFileSpec) + fields.size() * sizeof(BtrKeySpec), 0);
  BtrFileSpec file{};
  file.recordLength = static_cast<uint16_t>(entry.recordLength);
  file.pageSize = 4096;
  file.numberOfKeys = 1;
  std::memcpy(spec.data(), &file, sizeof file);
  for (size_t i = 0; i < fields.size(); ++i) {
    BtrKeySpec key{};
    key.position = static_cast<uint16_t>(fields[i].first + 1);
    key.length = static_cast<uint16_t>(fields[i].second);
    key.flags = B_KEY_EXTENDED_TYPE | (i + 1 < fields.size() ? B_KEY_SEGMENTED : 0);
    key.extendedType = B_TYPE_ZSTRING;
    std::memcpy(spec.data() + sizeof file + i * sizeof key, &key, sizeof key);
  }
  char block[B_POSITION_BLOCK_SIZE] = {};
  char name[B_MAX_KEY_LENGTH + 1] = {};
  std::snprintf(name, sizeof name, "%s", path.c_str());
  uint32_t length = static_cast<uint32_t>(spec.size());
  int status = BTRCALL(B_CREATE, block, spec.data(), &length, name, B_MAX_KEY_LENGTH, 0);
  if (status != 0) throw std::runtime_error("Create failed: " + std::to_string(status));
}

}  // namespace

NumberedDb::NumberedDb() : NumberedDb(std::string()) {}

NumberedDb::NumberedDb(const std::string& directoryValue) {
  SetDirectoryValue(directoryValue.empty() ? dir_.path() : directoryValue);
}

NumberedDb::~NumberedDb() { CTools::SetIniFileName(nullptr); }

void NumberedDb::SetDirectoryValue(const std::string& value) {
  std::string ini = iniDir_.file("app.ini");
  std::ofstream(ini, std::ios::trunc) << "[DB_DIR]\nDATABASE=" << value << "\n";
  CTools::SetIniFileName(ini.c_str());
}

void NumberedDb::CreateAll() {
  for (const DbNumberEntry& entry : reclink::numbered::kDbNumbers) {
    if (entry.file != nullptr) CreateFile(dir_.file(entry.file), entry);
  }
}

std::vector<char> MakeRecord(int dbno, const std::vector<std::string>& keyTexts) {
  const DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
  const WorkKeyRule* rule = reclink::numbered::FindWorkKeyRule(dbno);
  if (entry == nullptr || rule == nullptr) throw std::runtime_error("unknown number");
  std::vector<char> record(entry->recordLength, 0);
  auto fields = KeyFields(*rule);
  for (size_t i = 0; i < keyTexts.size() && i < fields.size(); ++i) {
    std::memcpy(record.data() + fields[i].first, keyTexts[i].data(),
                std::min(keyTexts[i].size(), static_cast<size_t>(fields[i].second - 1)));
  }
  return record;
}

}  // namespace reclink::test
