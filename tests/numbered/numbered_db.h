#pragma once
// A database directory for the numbered interface: a temporary directory,
// a profile naming it that CTools::GetIniFileName returns, and record files
// made on request.

#include <string>
#include <vector>

#include "support/test_support.h"

namespace reclink::test {

class NumberedDb {
 public:
  // directoryValue: what the profile holds under DB_DIR/DATABASE; by default
  // the directory itself, without a trailing delimiter.
  NumberedDb();
  explicit NumberedDb(const std::string& directoryValue);
  ~NumberedDb();
  NumberedDb(const NumberedDb&) = delete;
  NumberedDb& operator=(const NumberedDb&) = delete;

  const std::string& path() const { return dir_.path(); }
  std::string file(const std::string& name) const { return dir_.file(name); }
  // Rewrites the profile's DB_DIR/DATABASE value.
  void SetDirectoryValue(const std::string& value);
  // Creates every record file of the database, the numbered ones included.
  void CreateAll();
  // Creates the record files of the given numbers only.
  void Create(const std::vector<int>& dbnos);

 private:
  TempDir dir_;     // the database directory
  TempDir iniDir_;  // holds the profile, apart from the database
};

// A zero-filled record of dbno's length whose key 0 texts are the given ones,
// in the order of the number's key fields.
std::vector<char> MakeRecord(int dbno, const std::vector<std::string>& keyTexts);

}  // namespace reclink::test
