// Creating record files: every file of the table with its record length and
// key layout, as the record manager reports them.

#include <gtest/gtest.h>

#include <string>

#include "reclink/base_rec_link.h"
#include "reclink/btrieve.h"
#include "reclink/database.h"
#include "reclink/records/catalogue.h"
#include "support/test_support.h"

namespace reclink::test {
namespace {

TEST(DatabaseTest, CreatesEveryFileWithItsKeysAndNeverReplacesOne) {
  TempDir tmp;
  ASSERT_EQ(CreateDatabase(tmp.path().c_str()), 0);  // a separator is added
  for (const RecordFileRow& row : kRecordFiles) {
    SCOPED_TRACE(row.fileName);
    CBaseRecLink file((tmp.dir() + row.fileName).c_str());
    ASSERT_EQ(file.Open(BTR_OPEN_NORMAL), 0);
    FileDescriptionType info{};
    ASSERT_EQ(file.GetDBInfo(&info), 0);
    EXPECT_EQ(info.fileSpec.recordLength, row.recordLength);
    ASSERT_EQ(info.fileSpec.numberOfKeys, row.keyCount);
    int n = 0;
    for (int k = 0; k < row.keyCount; ++k) {
      const KeyLayout& key = row.keys[k];
      for (int s = 0; s < key.segmentCount; ++s, ++n) {
        const BtrKeySpec& spec = info.keySpec[n];
        EXPECT_EQ(spec.position, key.segments[s].offset + 1) << "key " << k;
        EXPECT_EQ(spec.length, key.segments[s].width) << "key " << k;
        EXPECT_EQ(spec.extendedType, B_TYPE_ZSTRING);
        EXPECT_EQ((spec.flags & B_KEY_DUPLICATES) != 0, key.duplicates) << "key " << k;
        EXPECT_EQ((spec.flags & B_KEY_SEGMENTED) != 0, s + 1 < key.segmentCount);
      }
    }
    file.Close();
  }
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), "PATIENT1.BTR"), B_FILE_ALREADY_EXISTS);
  EXPECT_EQ(CreateDatabase(tmp.dir().c_str()), B_FILE_ALREADY_EXISTS);
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), "patient1.btr"), B_FILENAME_BAD);
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), nullptr), B_FILENAME_BAD);
}

}  // namespace
}  // namespace reclink::test
