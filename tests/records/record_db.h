#pragma once
// A fresh database directory for the record-class suites: the record files a
// test asks for, message boxes captured, the profile pointed at a file of the
// test's own that names the directory.

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "reclink/base_rec_link.h"
#include "support/test_support.h"

namespace reclink::test {

class RecordDbTest : public ::testing::Test {
 protected:
  RecordDbTest();
  ~RecordDbTest() override;

  // The database directory, ending in a separator, as constructors take it.
  std::string dir() const { return tmp_.dir(); }
  // Writes a profile whose "DB_DIR" / "DATABASE" entry is value (nullptr:
  // no entry at all) and makes it the profile of the process.
  void WriteProfile(const char* value);
  // Creates the named record files (CreateRecordFile), or all of them (CreateDatabase).
  void CreateFiles(std::initializer_list<const char*> fileNames);
  void CreateAll();
  // Opens object, expecting success.
  static void OpenOk(CBaseRecLink& object);

  TempDir tmp_;               // the database directory and the profile
  MessageBoxRecorder boxes_;  // every box shown during the test
};

// Writes text (nullptr = empty) into the field at offset of record.
inline void PutField(char* record, int offset, const char* text) {
  std::strcpy(record + offset, text == nullptr ? "" : text);
}

}  // namespace reclink::test
