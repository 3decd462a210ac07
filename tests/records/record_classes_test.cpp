// Every record class: its file, ident and path from a directory or the
// profile; then, on the files that CreateDatabase makes, the look-up, and
// Update with the prime key it takes from the record. And the one look-up
// that tries again: the custom table's, with the item as a two-digit number.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/point_lat.h"
#include "reclink/btrieve.h"
#include "reclink/records.h"
#include "reclink/tools.h"
#include "reclink/win_app.h"
#include "record_db.h"

namespace reclink::test {
namespace {

// The class of a look-up; declared only, for decltype.
template <class C, class... A>
C ClassOf(int (C::*)(A...));

template <auto... LookUps>
struct ClassWalk {
  static constexpr int kClasses = sizeof...(LookUps);
  // Calls f.template operator()<C, LookUp>() for the class C of every LookUp.
  template <class F>
  static void ForEach(F f) {
    (f.template operator()<decltype(ClassOf(LookUps)), LookUps>(), ...);
  }
};

using EveryClass = ClassWalk<
    &CAddLatDB::GetAdditionalLatData, &CBodyDB::GetBodyData, &CCaseInfoDB::GetCaseInfoData,
    &CCaseSearchIndexDB::GetCaseSearchIndexData, &CCaseSearchInfoDB::GetCaseSearchInfoData,
    &CCaseTblDB::GetCaseTblData, &CCasmasDB::GetCasmasData, &CChevronDB::GetChevronData,
    &CConditionDB::GetConditionData, &CCustomTblDB::GetCustomTblData, &CCvbaDB::GetCvbaData,
    &CDigiDB::GetDigiData, &CDoctorDB::GetDoctorData, &CImageTypeDB::GetImageTypeData,
    &CLasDB::GetLasData, &CMoexDB::GetMOEXData, &CMvtoDB::GetMVTOData,
    &COldPatientDB::GetOldPatientData, &COwnerDB::GetOwnerData,
    &CPatientCaseInfoDB::GetPatientCaseInfoData, &CPatientDB::GetPatientData,
    &CPatientDB2::GetPatient2Data, &CPhotoDB::GetPhotoData, &CPhotoDB2::GetPhoto2Data,
    &CPhotoEXDB::GetPhotoEXData, &CPileLatDB::GetPileLatData, &CPilePADB::GetPilePAData,
    &CPointLatDB::GetPointLatData, &CPointMO2DB::GetPointMO2Data, &CPointMODB::GetPointMOData,
    &CPointPADB::GetPointPAData, &CReportDB::GetReportData, &CSPPointDB::GetSPPointData,
    &CSPPointPADB::GetSPPointPAData, &CSlideShowDB::GetSlideShowData,
    &CSurgeryDB::GetSurgeryData, &CSurgeryTreatmentDB::GetSurgeryTreamentData,
    &CTZPhotoEXDB::GetTZPhotoEXData, &CTZPhotoEXImgDB::GetTZPhotoEXImgData,
    &CTZPhotoEXTextDB::GetTZPhotoEXTextData, &CTextTblDB::GetTextTblData>;

// Every file of the catalogue that has a record class is walked.
static_assert(EveryClass::kClasses == static_cast<int>(RecordFile::kTextTbl) + 1);

// Calls the look-up method of object with as many of values as it takes.
template <class C, class... A>
int CallLookUp(C& object, int (C::*method)(A...), const char* const* values) {
  return [&]<size_t... I>(std::index_sequence<I...>) { return (object.*method)(values[I]...); }
  (std::index_sequence_for<A...>{});
}

using Bytes = std::vector<char>;

TEST(RecordClassTest, PathsFromTheDirectoryConstructorAndFromTheProfileReadEveryTime) {
  EveryClass::ForEach([&]<class C, auto>() {
    // An application may rely on the conversion: C object = directory;
    static_assert(std::is_convertible_v<const char*, C>);
    const RecordFileRow& row = C::kRow;
    SCOPED_TRACE(row.className);
    C object = "C:\\DATA";
    // Only the two patient files complete the directory they are given.
    const std::string file = row.fileName;
    const bool completes = file == "PATIENT1.BTR" || file == "PATIENT.BTR";
    EXPECT_EQ(std::string(object.GetFilePath()), (completes ? "C:\\DATA\\" : "C:\\DATA") + file);
    EXPECT_EQ(std::string(C("C:\\DATA\\").GetFilePath()), "C:\\DATA\\" + file);
  });

  TempDir tmp;
  const std::string profile = tmp.file("tools.ini"), host = tmp.file("host.ini");
  struct Case {
    const char* value;   // the "DATABASE" entry
    const char* prefix;  // what the path begins with
  } cases[] = {{"C:\\DATA", "C:\\DATA\\"},
               {"C:\\DATA\\", "C:\\DATA\\"},
               {"", "\\"},
               {"D:\\x\x83\x5C", "D:\\x\x83\x5C"}};  // the last byte counts
  for (const Case& c : cases) {
    std::ofstream(profile, std::ios::binary) << "[DB_DIR]\r\n" << "DATABASE=" << c.value;
    CTools::SetIniFileName(profile.c_str());
    EveryClass::ForEach([&]<class C, auto>() {
      EXPECT_EQ(std::string(C().GetFilePath()), c.prefix + std::string(C::kRow.fileName));
    });
  }
  // The host application's profile comes first.
  std::ofstream(host, std::ios::binary) << "[db_dir]\r\ndatabase = \"E:\\HOST\"\r\n";
  {
    CWinApp app(host.c_str());
    EXPECT_STREQ(CBodyDB().GetFilePath(), "E:\\HOST\\BODY.BTR");
  }
  EXPECT_STREQ(CBodyDB().GetFilePath(), "D:\\x\x83\x5C" "BODY.BTR");
  CTools::SetIniFileName(nullptr);
}

// The files' layouts are proven by the look-ups below and by every suite
// that stores records in them; here, what Create refuses.
TEST(RecordClassTest, CreateReplacesNoFileAndRefusesNamesOutsideTheTable) {
  TempDir tmp;
  ASSERT_EQ(CreateDatabase(tmp.path().c_str()), 0);  // a separator is added
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), "PATIENT1.BTR"), B_FILE_ALREADY_EXISTS);
  EXPECT_EQ(CreateDatabase(tmp.dir().c_str()), B_FILE_ALREADY_EXISTS);
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), "patient1.btr"), B_FILENAME_BAD);
  EXPECT_EQ(CreateRecordFile(tmp.dir().c_str(), nullptr), B_FILENAME_BAD);
}

// A record of row whose key-0 fields hold prefix, the field's index and, when
// full, prefix up to the field's width; every other byte, those behind the
// terminators included, holds a pattern without zeros.
Bytes MakeRecord(const RecordFileRow& row, char prefix, bool full, std::vector<std::string>* keys) {
  Bytes record(row.recordLength);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>('!' + (i * 7) % 90);
  keys->clear();
  const KeyLayout& key = row.keys[0];
  for (int s = 0; s < key.segmentCount; ++s) {
    std::string value(full ? key.segments[s].width - 1 : 2, prefix);
    value[1] = static_cast<char>('0' + s);
    PutField(record.data(), key.segments[s].offset, value.c_str());
    keys->push_back(value);
  }
  // What a point-lat record holds once stored: the current layout's mark.
  if (&row == &RecordFileOf(RecordFile::kPointLat)) record[kPointLatMarkOffset] = kPointLatCurrent;
  return record;
}

TEST_F(DatabaseTest, LookUpFindsOrZeroesAndUpdateFindsTheRecordByItsPrimeKey) {
  ASSERT_EQ(CreateDatabase(dir().c_str()), 0);
  EveryClass::ForEach([&]<class C, auto LookUp>() {
    const RecordFileRow& row = C::kRow;
    const KeyLayout& key = row.keys[0];
    SCOPED_TRACE(row.className);
    C object(dir().c_str());
    ASSERT_EQ(object.Open(BTR_OPEN_NORMAL), 0) << "status " << object.GetLastStatus();
    char* record = object.GetRecordBuffer();
    std::vector<std::string> keysA, keysB, keysMissing;
    const Bytes a = MakeRecord(row, 'A', true, &keysA);
    Bytes b = MakeRecord(row, 'B', false, &keysB);
    MakeRecord(row, 'C', false, &keysMissing);
    auto lookUp = [&](const std::vector<std::string>& keys) {
      const char* values[4] = {};
      for (size_t i = 0; i < keys.size(); ++i) values[i] = keys[i].c_str();
      return CallLookUp(object, LookUp, values);
    };
    for (const Bytes& r : {a, b}) {
      std::memcpy(record, r.data(), r.size());
      ASSERT_EQ(object.Insert(), 0);
    }

    ASSERT_EQ(lookUp(keysA), 0);
    EXPECT_EQ(Bytes(record, record + a.size()), a);
    EXPECT_EQ(lookUp(keysMissing), 4);
    Bytes zeros(row.recordLength, 0);
    // A point-lat buffer is upgraded too.
    if (&row == &RecordFileOf(RecordFile::kPointLat)) zeros[kPointLatMarkOffset] = kPointLatCurrent;
    EXPECT_EQ(Bytes(record, record + a.size()), zeros);

    // Positioned on A, Update writes B: it finds the record by the prime key
    // taken from the buffer, whatever lies behind the key terminators. The
    // class's rule takes the prime key: from full fields, the record's bytes;
    // behind shorter fields, zeros, what the last prime key left, or the
    // record's bytes.
    ASSERT_EQ(lookUp(keysA), 0);
    ASSERT_EQ(object.Update(), 0);  // A as it stands
    const char* primeKey = object.GetPrimeKeyBuffer();
    auto prime = [&] { return Bytes(primeKey, primeKey + C::kPrimeKeyLength); };
    EXPECT_EQ(prime(), Bytes(a.begin(), a.begin() + C::kPrimeKeyLength));
    b.back() ^= 0x40;
    std::memcpy(record, b.data(), b.size());
    ASSERT_EQ(object.Update(), 0);
    Bytes want(b.begin(), b.begin() + C::kPrimeKeyLength);
    for (int s = 0; s < key.segmentCount && row.primeKeyRule != PrimeKeyRule::kCopy; ++s) {
      const KeySegment& field = key.segments[s];
      for (size_t at = field.offset + keysB[s].size() + 1; at < field.offset + field.width; ++at)
        want[at] = row.primeKeyRule == PrimeKeyRule::kStrings ? '\0' : a[at];
    }
    EXPECT_EQ(prime(), want);
    ASSERT_EQ(lookUp(keysA), 0);
    EXPECT_EQ(Bytes(record, record + a.size()), a);
    ASSERT_EQ(lookUp(keysB), 0);
    EXPECT_EQ(Bytes(record, record + b.size()), b);
  });
  EXPECT_EQ(boxes_.count(), 0u);
}

// The custom table's look-up tries the item code again as a two-digit number;
// the staff table is one of its tables.
TEST_F(DatabaseTest, CustomTableTriesTheItemAgainAsATwoDigitNumber) {
  CCustomTblDB table(dir().c_str());
  CreateAndOpen({&table});
  for (const char* item : {"05", "07x", "00"}) Store(table, {{0, "T1"}, {3, item}, {8, item}});
  Store(table, {{0, "AA"}, {3, "12"}, {8, "staff twelve"}});
  const char* text = table.GetRecordBuffer() + 8;

  ScriptedBtrieve calls;
  EXPECT_EQ(table.GetCustomTblData("T1", "5"), 0);
  EXPECT_STREQ(text, "05");
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 2u);
  EXPECT_EQ(table.GetCustomTblData("T1", "007"), 4);  // tried as 07, not 07x
  EXPECT_EQ(std::string(table.GetRecordBuffer(), 8), std::string(8, '\0'));
  calls.ClearCalls();
  EXPECT_EQ(table.GetCustomTblData("T1", "1234"), 4);  // no second try from 1000 on
  EXPECT_EQ(calls.CountOf(B_GET_EQUAL), 1u);
  EXPECT_EQ(table.GetCustomTblData("T1", "AB"), 0);  // no digits: tried as 00
  EXPECT_STREQ(text, "00");

  EXPECT_EQ(table.GetStaffData("12"), 0);  // the staff table is table AA
  EXPECT_STREQ(text, "staff twelve");

  // Any failure of the first try is reported, and the second try made.
  table.Close();
  EXPECT_EQ(table.GetCustomTblData("T1", "5"), 3);
  EXPECT_EQ(boxes_.count(), 2u);
  EXPECT_EQ(table.GetCustomTblData("T1", "1000"), 3);
  EXPECT_EQ(boxes_.count(), 3u);
}

}  // namespace
}  // namespace reclink::test
