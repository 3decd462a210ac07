#pragma once
// A fresh database directory for the record-class and numbered suites, named
// by the profile that CTools::GetIniFileName returns, with every message box
// shown during a test captured; and helpers to build, store and count records.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "reclink/base_rec_link.h"
#include "reclink/database.h"
#include "reclink/tools.h"
#include "support/test_support.h"

namespace reclink::test {

// Writes text (nullptr = empty) into the field at offset of record.
inline void PutField(char* record, int offset, const char* text) {
  std::strcpy(record + offset, text == nullptr ? "" : text);
}

// size bytes of filler with each text, and its zero, at its offset.
inline std::vector<char> Rec(size_t size, const std::vector<std::pair<size_t, std::string>>& texts,
                             char filler = 0) {
  std::vector<char> record(size, filler);
  for (const auto& [at, text] : texts) std::memcpy(&record[at], text.c_str(), text.size() + 1);
  return record;
}

// Inserts a record of object that is zero but for the strings at their offsets.
template <class C>
void Store(C& object, std::initializer_list<std::pair<int, const char*>> fields) {
  std::memset(object.GetRecordBuffer(), 0, C::kRecordLength);
  for (const auto& [offset, text] : fields) PutField(object.GetRecordBuffer(), offset, text);
  ASSERT_EQ(object.Insert(), 0) << object.GetRecordBuffer();
}

// The records of an open file, counted on key 0.
inline int CountRecords(CBaseRecLink& object) {
  int n = 0;
  object.SetKey(0);
  for (int status = object.GetFIRST(); status == 0; status = object.GetNEXT()) ++n;
  return n;
}

// Deletes every record of an open file, expecting each delete to succeed.
inline void DeleteAll(CBaseRecLink& object) {
  object.SetKey(0);
  while (object.GetFIRST() == 0) ASSERT_EQ(object.Delete(), 0);
}

class DatabaseTest : public ::testing::Test {
 protected:
  DatabaseTest() { SetProfileDirectory(dir()); }
  ~DatabaseTest() override { CTools::SetIniFileName(nullptr); }

  // The database directory, ending in a separator, as constructors take it.
  std::string dir() const { return tmp_.dir(); }
  // Rewrites the profile's DB_DIR/DATABASE value.
  void SetProfileDirectory(const std::string& value) {
    const std::string ini = elsewhere_.file("app.ini");
    std::ofstream(ini, std::ios::trunc) << "[DB_DIR]\nDATABASE=" << value << "\n";
    CTools::SetIniFileName(ini.c_str());
  }
  // Creates the record file of each object (constructed on dir()) and opens it.
  void CreateAndOpen(std::initializer_list<CBaseRecLink*> objects) {
    for (CBaseRecLink* object : objects) {
      const std::string path = object->GetFilePath().GetString();
      const std::string name = path.substr(path.find_last_of("/\\") + 1);
      ASSERT_EQ(CreateRecordFile(dir().c_str(), name.c_str()), 0) << path;
      ASSERT_EQ(object->Open(BTR_OPEN_NORMAL), 0) << path << ": status " << object->GetLastStatus();
    }
  }

  TempDir tmp_;               // the database directory
  TempDir elsewhere_;         // holds the profile, apart from the database
  MessageBoxRecorder boxes_;  // every box shown during the test
};

}  // namespace reclink::test
