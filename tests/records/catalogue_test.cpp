// Every record class against its row of the record-file table: identity,
// paths, prime key, look-up, Update and copying, on files made by CreateDatabase.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "class_table.h"
#include "reclink/records/catalogue.h"
#include "record_db.h"

namespace reclink::test {
namespace {

using Bytes = std::vector<char>;

class CatalogueTest : public RecordDbTest {};

// A record of row whose key-0 segments hold prefix followed by the segment's
// index ("A0", "A1", ...) and whose other bytes hold a pattern without zeros,
// bytes behind the key terminators included.
Bytes MakeRecord(const RecordFileRow& row, char prefix, std::vector<std::string>* keys) {
  Bytes record(row.recordLength);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>('!' + (i * 7) % 90);
  keys->clear();
  for (int s = 0; s < row.keys[0].segmentCount; ++s) {
    std::string value{prefix, static_cast<char>('0' + s)};
    PutField(record.data(), row.keys[0].segments[s].offset, value.c_str());
    keys->push_back(value);
  }
  // What a point-lat record holds once stored: the current layout's mark.
  if (std::string(row.ident) == "POINTLAT_DB") record[55] = '1';
  return record;
}

std::vector<const char*> Args(const std::vector<std::string>& keys) {
  std::vector<const char*> args(4, nullptr);
  for (size_t i = 0; i < keys.size(); ++i) args[i] = keys[i].c_str();
  return args;
}

bool AllZero(const char* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

TEST(CatalogueTableTest, EveryClassHasItsRowAndEveryFileItsKeys) {
  ASSERT_EQ(kClassCount, 41);
  int withClass = 0;
  for (int i = 0; i < kRecordFileCount; ++i) {
    const RecordFileRow& row = kRecordFiles[i];
    if (row.className == nullptr) continue;
    ASSERT_LT(withClass, kClassCount);
    EXPECT_STREQ(row.className, kClasses[withClass].name);
    ++withClass;
  }
  EXPECT_EQ(withClass, 41);
  for (const RecordFileRow& row : kRecordFiles) {
    SCOPED_TRACE(row.fileName);
    EXPECT_EQ(row.keys[0].Length(), row.primeKeyLength);
    EXPECT_FALSE(row.keys[0].duplicates);
    for (int k = 0; k < row.keyCount; ++k) {
      const KeyLayout& key = row.keys[k];
      EXPECT_LE(key.Length(), 255);
      for (int s = 0; s < key.segmentCount; ++s)
        EXPECT_LE(key.segments[s].offset + key.segments[s].width, row.recordLength);
    }
  }
  EXPECT_EQ(FindRecordFile("TRACEPA.BTR"), &RecordFileOf(RecordFile::kTracePA));
  EXPECT_EQ(FindRecordFile("trace.btr"), nullptr);
}

TEST_F(CatalogueTest, IdentLengthAndPathFromTheDirectoryConstructor) {
  for (int i = 0; i < kClassCount; ++i) {
    const RecordFileRow& row = kRecordFiles[i];
    SCOPED_TRACE(row.className);
    auto plain = kClasses[i].makeWithDir("C:\\DATA");
    EXPECT_STREQ(plain->GetRecordIdent(), row.ident);
    EXPECT_EQ(plain->GetDataLength(), row.recordLength);
    EXPECT_FALSE(plain->IsOpen());
    std::string expected = std::string("C:\\DATA") + (row.completesDirectory ? "\\" : "") + row.fileName;
    EXPECT_STREQ(plain->GetFilePath(), expected.c_str());
    auto ended = kClasses[i].makeWithDir("C:\\DATA\\");
    EXPECT_STREQ(ended->GetFilePath(), (std::string("C:\\DATA\\") + row.fileName).c_str());
  }
  EXPECT_EQ(boxes_.count(), 0u);
}

TEST_F(CatalogueTest, DefaultConstructorsReadTheProfileEveryTime) {
  struct Case {
    const char* value;    // the profile entry, nullptr for none
    const char* prefix;   // what the path begins with
  } cases[] = {{"C:\\DATA", "C:\\DATA\\"}, {"C:\\DATA\\", "C:\\DATA\\"},
               {"", "\\"}, {nullptr, "\\"}, {"D:\\x\x83\x5C", "D:\\x\x83\x5C"}};
  for (const Case& c : cases) {
    WriteProfile(c.value);
    for (int i = 0; i < kClassCount; ++i) {
      SCOPED_TRACE(kRecordFiles[i].className);
      auto object = kClasses[i].makeDefault();
      EXPECT_STREQ(object->GetFilePath(), (std::string(c.prefix) + kRecordFiles[i].fileName).c_str());
      EXPECT_STREQ(object->GetRecordIdent(), kRecordFiles[i].ident);
    }
  }
}

TEST(CataloguePrimeKeyTest, PrimeKeyFollowsTheRowsRule) {
  for (int i = 0; i < kClassCount; ++i) {
    const RecordFileRow& row = kRecordFiles[i];
    SCOPED_TRACE(row.className);
    auto object = kClasses[i].makeWithDir("");
    char* record = kClasses[i].record(*object);
    const char* prime = kClasses[i].primeKey(*object);
    const KeyLayout& key = row.keys[0];
    // Long strings first: every segment full, so every rule gives the record's bytes.
    std::memset(record, 'x', row.recordLength);
    for (int s = 0; s < key.segmentCount; ++s) {
      std::string full(key.segments[s].width - 1, static_cast<char>('a' + s));
      PutField(record, key.segments[s].offset, full.c_str());
    }
    object->GetPrimeKeyFromBuffer();
    ASSERT_EQ(std::memcmp(prime, record, row.primeKeyLength), 0);
    Bytes before(prime, prime + row.primeKeyLength);
    // Then one character each, with the old bytes behind the terminators.
    for (int s = 0; s < key.segmentCount; ++s) PutField(record, key.segments[s].offset, "s");
    object->GetPrimeKeyFromBuffer();
    for (int s = 0; s < key.segmentCount; ++s) {
      const KeySegment& seg = key.segments[s];
      for (int b = 0; b < seg.width; ++b) {
        int at = seg.offset + b;
        char want;
        if (row.primeKeyRule == PrimeKeyRule::kCopy) want = record[at];
        else if (b == 0) want = 's';
        else if (b == 1) want = '\0';
        else want = row.primeKeyRule == PrimeKeyRule::kStrings ? '\0' : before[at];
        ASSERT_EQ(prime[at], want) << "byte " << at;
      }
    }
  }
}

TEST_F(CatalogueTest, LookUpFindsMissesAndUpdateRereadsByPrimeKey) {
  CreateAll();
  for (int i = 0; i < kClassCount; ++i) {
    const RecordFileRow& row = kRecordFiles[i];
    const ClassCase& c = kClasses[i];
    SCOPED_TRACE(row.className);
    auto object = c.makeWithDir(dir().c_str());
    OpenOk(*object);
    char* record = c.record(*object);

    std::vector<std::string> keysA, keysB, keysMissing;
    Bytes a = MakeRecord(row, 'A', &keysA);
    Bytes b = MakeRecord(row, 'B', &keysB);
    MakeRecord(row, 'C', &keysMissing);
    std::memcpy(record, a.data(), a.size());
    ASSERT_EQ(object->Insert(), 0);
    std::memcpy(record, b.data(), b.size());
    ASSERT_EQ(object->Insert(), 0);

    ASSERT_EQ(c.lookUp(*object, Args(keysA).data()), 0);
    EXPECT_EQ(std::memcmp(record, a.data(), a.size()), 0);
    EXPECT_EQ(object->GetKeyNumber(), 0);

    EXPECT_EQ(c.lookUp(*object, Args(keysMissing).data()), 4);
    if (std::string(row.ident) == "POINTLAT_DB") {
      // A failed read still passes the upgrade, which sets the layout mark.
      EXPECT_EQ(record[55], '1');
      record[55] = 0;
    }
    EXPECT_TRUE(AllZero(record, row.recordLength));

    // Update finds the record again through the prime key, whatever the
    // buffer holds behind the key terminators.
    ASSERT_EQ(c.lookUp(*object, Args(keysA).data()), 0);
    record[row.recordLength - 1] ^= 0x40;
    ASSERT_EQ(object->Update(), 0);
    ASSERT_EQ(c.lookUp(*object, Args(keysB).data()), 0);
    EXPECT_EQ(std::memcmp(record, b.data(), b.size()), 0);
    ASSERT_EQ(c.lookUp(*object, Args(keysA).data()), 0);
    EXPECT_EQ(record[row.recordLength - 1], static_cast<char>(a.back() ^ 0x40));

    // A copy holds the same bytes; so does an object assigned from it.
    auto copy = c.copy(*object);
    EXPECT_EQ(std::memcmp(c.record(*copy), record, row.recordLength), 0);
    EXPECT_EQ(std::memcmp(c.primeKey(*copy), c.primeKey(*object), row.primeKeyLength), 0);
    auto other = c.makeWithDir("elsewhere\\");
    c.assign(*other, *object);
    EXPECT_EQ(std::memcmp(c.record(*other), record, row.recordLength), 0);
    EXPECT_STREQ(other->GetFilePath(), object->GetFilePath());
    EXPECT_TRUE(other->IsOpen());
    // The copies share the source's position block: closing one closes it for all.
    other->Close();
    copy->Close();
    object->Close();
  }
  EXPECT_EQ(boxes_.count(), 0u);
}

}  // namespace
}  // namespace reclink::test
