#include "record_db.h"

#include <fstream>

#include "reclink/database.h"
#include "reclink/tools.h"

namespace reclink::test {

RecordDbTest::RecordDbTest() { WriteProfile(tmp_.dir().c_str()); }

void RecordDbTest::CreateFiles(std::initializer_list<const char*> fileNames) {
  for (const char* name : fileNames) ASSERT_EQ(CreateRecordFile(tmp_.dir().c_str(), name), 0) << name;
}

void RecordDbTest::CreateAll() { ASSERT_EQ(CreateDatabase(tmp_.dir().c_str()), 0); }

RecordDbTest::~RecordDbTest() { CTools::SetIniFileName(nullptr); }

void RecordDbTest::WriteProfile(const char* value) {
  std::string path = tmp_.file("records_test.ini");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "[DB_DIR]\r\n";
  if (value != nullptr) out << "DATABASE=" << value << "\r\n";
  out.close();
  CTools::SetIniFileName(path.c_str());
}

void RecordDbTest::OpenOk(CBaseRecLink& object) {
  ASSERT_EQ(object.Open(BTR_OPEN_NORMAL), 0) << object.GetFilePath().GetString();
}

}  // namespace reclink::test
