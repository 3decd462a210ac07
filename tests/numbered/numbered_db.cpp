#include "numbered_db.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "numbered/db_number_table.h"
#include "numbered/work_key_table.h"
#include "reclink/database.h"
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
  int status = reclink::CreateDatabase(dir_.path().c_str());
  if (status != 0) throw std::runtime_error("CreateDatabase: " + std::to_string(status));
}

void NumberedDb::Create(const std::vector<int>& dbnos) {
  for (int dbno : dbnos) {
    const DbNumberEntry* entry = reclink::numbered::FindDbNumber(dbno);
    if (entry == nullptr || entry->file == nullptr) throw std::runtime_error("no file");
    int status = reclink::CreateRecordFile(dir_.path().c_str(), entry->file);
    if (status != 0) throw std::runtime_error("CreateRecordFile: " + std::to_string(status));
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
