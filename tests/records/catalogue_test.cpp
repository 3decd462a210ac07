// Every record class against what it should be: its row of the record-file
// table, ident, length, paths and prime key; then, on the files that
// CreateDatabase makes, the files' layouts, the look-up, Update and copying.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "class_table.h"
#include "reclink/btrieve.h"
#include "reclink/records.h"
#include "reclink/tools.h"
#include "reclink/win_app.h"
#include "record_db.h"

namespace reclink::test {
namespace {

using Bytes = std::vector<char>;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(RecordClassTest, TableRowIdentLengthAndPathFromTheDirectoryConstructor) {
  for (int i = 0; i < 41; ++i) {
    const ClassCase& c = kClasses[i];
    const RecordFileRow& row = kRecordFiles[i];
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(row.className, c.name);
    EXPECT_STREQ(row.ident, c.ident);
    EXPECT_STREQ(row.fileName, c.fileName);
    EXPECT_EQ(row.recordLength, c.recordLength);
    EXPECT_EQ(row.primeKeyLength, c.keyLength);
    EXPECT_TRUE(row.primeKeyRule == c.rule);
    EXPECT_EQ(row.completesDirectory, c.completes);
    ASSERT_EQ(row.keys[0].segmentCount, c.segments);
    EXPECT_FALSE(row.keys[0].duplicates);
    for (int s = 0; s < c.segments; ++s) {
      EXPECT_EQ(row.keys[0].segments[s].offset, c.offsets[s]);
      EXPECT_EQ(row.keys[0].segments[s].width, c.widths[s]);
    }

    auto plain = c.makeWithDir("C:\\DATA");
    EXPECT_STREQ(plain->GetRecordIdent(), c.ident);
    EXPECT_EQ(plain->GetDataLength(), static_cast<unsigned long>(c.recordLength));
    EXPECT_FALSE(plain->IsOpen());
    std::string expected = std::string(c.completes ? "C:\\DATA\\" : "C:\\DATA") + c.fileName;
    EXPECT_STREQ(plain->GetFilePath(), expected.c_str());
    EXPECT_STREQ(c.makeWithDir("C:\\DATA\\")->GetFilePath(), ("C:\\DATA\\" + std::string(c.fileName)).c_str());
  }
}

TEST(RecordClassTest, DefaultConstructorsReadTheProfileEveryTime) {
  TempDir tmp;
  const std::string profile = tmp.file("tools.ini"), host = tmp.file("host.ini");
  struct Case {
    const char* value;   // the "DATABASE" entry, nullptr for none
    const char* prefix;  // what the path begins with
  } cases[] = {{"C:\\DATA", "C:\\DATA\\"}, {"C:\\DATA\\", "C:\\DATA\\"}, {"", "\\"},
               {nullptr, "\\"}, {"D:\\x\x83\x5C", "D:\\x\x83\x5C"}};  // the last byte counts
  for (const Case& c : cases) {
    WriteFile(profile, std::string("[DB_DIR]\r\n") + (c.value ? "DATABASE=" + std::string(c.value) : ""));
    CTools::SetIniFileName(profile.c_str());
    for (const ClassCase& k : kClasses)
      EXPECT_STREQ(k.makeDefault()->GetFilePath(), (std::string(c.prefix) + k.fileName).c_str()) << k.name;
  }
  // The host application's profile comes first.
  WriteFile(host, "[db_dir]\r\ndatabase = \"E:\\HOST\"\r\n");
  {
    CWinApp app(host.c_str());
    EXPECT_STREQ(CBodyDB().GetFilePath(), "E:\\HOST\\BODY.BTR");
  }
  EXPECT_STREQ(CBodyDB().GetFilePath(), "D:\\x\x83\x5C" "BODY.BTR");
  CTools::SetIniFileName(nullptr);
}

TEST(RecordClassTest, PrimeKeyFollowsTheClassesRule) {
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    auto object = c.makeWithDir("");
    char* record = c.record(*object);
    const char* prime = c.primeKey(*object);
    // Full fields first: every rule gives the record's bytes.
    std::memset(record, 'x', c.recordLength);
    for (int s = 0; s < c.segments; ++s)
      PutField(record, c.offsets[s], std::string(c.widths[s] - 1, static_cast<char>('a' + s)).c_str());
    object->GetPrimeKeyFromBuffer();
    ASSERT_EQ(std::memcmp(prime, record, c.keyLength), 0);
    Bytes before(prime, prime + c.keyLength);
    // Then one character each, with the old bytes behind the terminators.
    for (int s = 0; s < c.segments; ++s) PutField(record, c.offsets[s], "s");
    object->GetPrimeKeyFromBuffer();
    for (int s = 0; s < c.segments; ++s) {
      for (int b = 0, at = c.offsets[s]; b < c.widths[s]; ++b, ++at) {
        char want = b == 0 ? 's' : b == 1 ? '\0' : c.rule == PrimeKeyRule::kStrings ? '\0' : before[at];
        if (c.rule == PrimeKeyRule::kCopy) want = record[at];
        ASSERT_EQ(prime[at], want) << "byte " << at;
      }
    }
  }
}

TEST(RecordClassTest, CreateDatabaseMakesEveryFileOfTheTableAndReplacesNone) {
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
    for (int k = 0, n = 0; k < row.keyCount; ++k) {
      for (int s = 0; s < row.keys[k].segmentCount; ++s, ++n) {
        const KeySegment& field = row.keys[k].segments[s];
        const BtrKeySpec& spec = info.keySpec[n];
        EXPECT_EQ(std::tuple(spec.position, spec.length, spec.extendedType,
                             (spec.flags & B_KEY_DUPLICATES) != 0, (spec.flags & B_KEY_SEGMENTED) != 0),
                  std::tuple(field.offset + 1, field.width, B_TYPE_ZSTRING, row.keys[k].duplicates,
                             s + 1 < row.keys[k].segmentCount)) << "key " << k << " segment " << s;
      }
    }
  }
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), "PATIENT1.BTR"), B_FILE_ALREADY_EXISTS);
  EXPECT_EQ(CreateDatabase(tmp.dir().c_str()), B_FILE_ALREADY_EXISTS);
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), "patient1.btr"), B_FILENAME_BAD);
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), nullptr), B_FILENAME_BAD);
}

// A record of c whose key-0 fields hold prefix, the field's index and, when
// full, prefix up to the field's width; every other byte, those behind the
// terminators included, holds a pattern without zeros.
Bytes MakeRecord(const ClassCase& c, char prefix, bool full, std::vector<std::string>* keys) {
  Bytes record(c.recordLength);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>('!' + (i * 7) % 90);
  keys->clear();
  for (int s = 0; s < c.segments; ++s) {
    std::string value(full ? c.widths[s] - 1 : 2, prefix);
    value[1] = static_cast<char>('0' + s);
    PutField(record.data(), c.offsets[s], value.c_str());
    keys->push_back(value);
  }
  // What a point-lat record holds once stored: the current layout's mark.
  if (std::string(c.ident) == "POINTLAT_DB") record[55] = '1';
  return record;
}

TEST_F(RecordDbTest, LookUpFindsOrZeroesAndUpdateFindsTheRecordByItsPrimeKey) {
  ASSERT_EQ(CreateDatabase(dir().c_str()), 0);
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    auto object = c.makeWithDir(dir().c_str());
    OpenOk(*object);
    char* record = c.record(*object);
    std::vector<std::string> keysA, keysB, keysMissing;
    const Bytes a = MakeRecord(c, 'A', true, &keysA);
    Bytes b = MakeRecord(c, 'B', false, &keysB);
    MakeRecord(c, 'C', false, &keysMissing);
    auto lookUp = [&](const std::vector<std::string>& keys) {
      const char* args[4] = {};
      for (size_t i = 0; i < keys.size(); ++i) args[i] = keys[i].c_str();
      return c.lookUp(*object, args);
    };
    for (const Bytes& r : {a, b}) {
      std::memcpy(record, r.data(), r.size());
      ASSERT_EQ(object->Insert(), 0);
    }

    ASSERT_EQ(lookUp(keysA), 0);
    EXPECT_EQ(std::memcmp(record, a.data(), a.size()), 0);
    EXPECT_EQ(lookUp(keysMissing), 4);
    Bytes zeros(c.recordLength, 0);
    if (std::string(c.ident) == "POINTLAT_DB") zeros[55] = '1';  // a failed read is upgraded too
    EXPECT_EQ(std::memcmp(record, zeros.data(), zeros.size()), 0);

    // Positioned on A, Update writes B: it finds the record by the prime key
    // taken from the buffer, whatever lies behind the key terminators.
    ASSERT_EQ(lookUp(keysA), 0);
    b.back() ^= 0x40;
    std::memcpy(record, b.data(), b.size());
    ASSERT_EQ(object->Update(), 0);
    ASSERT_EQ(lookUp(keysA), 0);
    EXPECT_EQ(std::memcmp(record, a.data(), a.size()), 0);
    ASSERT_EQ(lookUp(keysB), 0);
    EXPECT_EQ(std::memcmp(record, b.data(), b.size()), 0);

    // A copy holds the same bytes; so does an object assigned from it.
    auto copy = c.copy(*object);
    EXPECT_EQ(std::memcmp(c.record(*copy), record, c.recordLength), 0);
    EXPECT_EQ(std::memcmp(c.primeKey(*copy), c.primeKey(*object), c.keyLength), 0);
    auto other = c.makeWithDir("elsewhere\\");
    c.assign(*other, *object);
    EXPECT_EQ(std::memcmp(c.record(*other), record, c.recordLength), 0);
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
