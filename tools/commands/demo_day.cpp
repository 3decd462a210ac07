// The demonstration's day at the clinic. Every step uses the library the way
// the application does and checks that it got what the day needs.
#include "commands/demo_day.h"

#include <cstdio>
#include <cstring>
#include <ostream>
#include <vector>

#include "cli/btr_file.h"
#include "cli/text_codec.h"
#include "commands/clinic_fields.h"
#include "reclink/btrieve.h"
#include "reclink/ptr_array.h"
#include "reclink/rec_link.h"
#include "reclink/records.h"
#include "reclink/tools.h"

namespace reclink::cli {

namespace {

namespace c = clinic;

// One patient of the day, as the front desk types it.
struct NewPatient {
  const char* name;  // UTF-8
  const char* kana;  // UTF-8, full-width katakana
  const char* id;    // the clinic's own identifier
};

const NewPatient kPatients[] = {
    {"山田 太郎", "ヤマダ タロウ", "K-2026-0117"},
    {"佐藤 花子", "サトウ ハナコ", "K-2026-0118"},
    {"鈴木 一郎", "スズキ イチロウ", "K-2026-0119"},
};

// Photos taken in the morning session: grouping fields and a caption.
struct NewPhoto {
  const char* group1;  // at most 8 characters
  const char* group2;  // at most 2 characters
};

const NewPhoto kPhotos[] = {{"CEPH", "LA"}, {"CEPH", "LA"}, {"CEPH", "PA"}, {"FACE", "FR"}};

std::string Ten(unsigned long n) {
  char text[16];
  std::snprintf(text, sizeof text, "%010lu", n);
  return text;
}

void Put(char* record, int offset, const std::string& text) {
  std::memcpy(record + offset, text.c_str(), text.size() + 1);
}

std::string Get(const char* record, int offset, int width) {
  return std::string(record + offset, strnlen(record + offset, static_cast<size_t>(width)));
}

class Day {
 public:
  Day(const std::string& dir, const std::string& profile, std::ostream& out)
      : dir_(dir + "/"), profile_(profile), out_(out) {}

  int Play() {
    Registration();
    if (numbers_.size() != 3) return failures_ + 1;  // nothing else can be shown
    Lookups();
    Photos();
    PhotoSet();
    ReportsAndSlideShows();
    Surgery();
    PointLatUpgrade();
    ByNumber();
    DeliberateFailure();
    return failures_;
  }

 private:
  // Code page 932 bytes of a UTF-8 literal.
  std::string Sjis(const char* utf8) {
    std::string out;
    if (!Utf8ToCp932(utf8, &out)) Expect(false, std::string("code page 932 has no form of ") + utf8);
    return out;
  }

  void Section(const char* title) { out_ << "\n== " << title << " ==\n"; }

  void Expect(bool ok, const std::string& what) {
    if (ok) return;
    ++failures_;
    out_ << "  !! unexpected: " << what << "\n";
  }

  void Registration() {
    Section("Morning: the front desk registers three new patients");
    CPatientDB db(dir_.c_str());
    Expect(db.Open(BTR_OPEN_NORMAL) == 0, "the patient file opens");
    out_ << "  next patient number (forecast): " << db.GetNextPatientID().GetString() << "\n";
    for (const NewPatient& p : kPatients) {
      char* r = db.GetRecordBuffer();
      std::memset(r, 0, CPatientDB::kRecordLength);
      Put(r, c::kPatientName, Sjis(p.name));
      Put(r, c::kPatientKana, Sjis(p.kana));
      Put(r, c::kPatientId, p.id);
      int status = db.InsertPatientData();
      Expect(status == 0, "InsertPatientData returns 0, got " + std::to_string(status));
      std::string number = Get(r, c::kPatientNumber, c::kPatientKeyWidth);
      numbers_.push_back(number);
      out_ << "  registered " << number << "  " << p.name << " (" << p.kana << ")  ID " << p.id
           << "\n";
    }
    Expect(numbers_.size() == 3 && numbers_[0] == "0000000001" && numbers_[2] == "0000000003",
           "patients numbered 0000000001 to 0000000003");
    out_ << "  next patient number now: " << db.GetNextPatientID().GetString() << "\n";
  }

  void Lookups() {
    Section("The doctor finds patients by name and by reading");
    CPatientDB db(dir_.c_str());
    Expect(db.Open(BTR_OPEN_READONLY) == 0, "the patient file opens read-only");
    const char* r = db.GetRecordBuffer();
    int status = db.GetPatientDataByName(Sjis("佐藤 花子").c_str());
    out_ << "  by name 佐藤 花子: " << (status == 0 ? "found" : "not found") << "\n";
    Expect(status == 0, "佐藤 花子 is found by name");
    status = db.GetPatientDataByKana(Sjis("スズキ イチロウ").c_str());
    out_ << "  by kana スズキ イチロウ: " << (status == 0 ? "found" : "not found") << "\n";
    Expect(status == 0, "スズキ イチロウ is found by kana");
    status = db.GetPatientDataByName(Sjis("山田").c_str());
    out_ << "  by name 山田 (only the start of a name): "
         << (status == 0 ? "found" : "not found, as it should be") << "\n";
    Expect(status == -1, "a name prefix is not a match");
    status = db.GetPatientData(numbers_.size() > 1 ? numbers_[1].c_str() : "");
    out_ << "  by number " << (numbers_.size() > 1 ? numbers_[1] : "?") << ": "
         << Cp932ToUtf8(Get(r, c::kPatientName, c::kNameWidth)) << "\n";
    Expect(status == 0 && Get(r, c::kPatientName, c::kNameWidth) == Sjis("佐藤 花子"),
           "patient 2 is 佐藤 花子");
    status = db.GetPatientDataByID("K-2026-0119");
    out_ << "  by clinic ID K-2026-0119: " << Cp932ToUtf8(Get(r, c::kPatientName, c::kNameWidth))
         << "\n";
    Expect(status == 0, "the clinic ID finds its patient");
  }

  void Photos() {
    Section("Radiography: photos of 山田 太郎 with photo and sort numbers");
    CPhotoDB db(dir_.c_str());
    Expect(db.Open(BTR_OPEN_NORMAL) == 0, "the photo file opens");
    const std::string& pk = numbers_.at(0);
    for (const NewPhoto& p : kPhotos) {
      int photoNo = db.GetNextPhotoNo(pk.c_str());
      std::string sort = db.GetPhotoNextSortNo(pk.c_str(), p.group1, p.group2).GetString();
      char* r = db.GetRecordBuffer();
      std::memset(r, 0, CPhotoDB::kRecordLength);
      Put(r, c::kPatientKey, pk);
      Put(r, c::kNumber, Ten(static_cast<unsigned long>(photoNo)));
      Put(r, c::kPhotoGroup1, p.group1);
      Put(r, c::kPhotoGroup2, p.group2);
      Put(r, c::kPhotoSortNumber, sort);
      Expect(db.Insert() == 0, "the photo is stored");
      out_ << "  photo " << photoNo << " in group " << p.group1 << "/" << p.group2
           << ", sort number " << sort << "\n";
      ++photos_;
    }
    std::string nextSort = db.GetPhotoNextSortNo(pk.c_str(), "CEPH", "LA").GetString();
    out_ << "  next photo number " << db.GetNextPhotoNo(pk.c_str()) << "; next sort number in CEPH/LA "
         << nextSort << "\n";
    Expect(nextSort == "0000000002", "CEPH/LA holds sort numbers 0 and 1");
    Expect(db.GetNextPhotoNo(numbers_.at(1).c_str()) == 1, "佐藤 花子 has no photos yet");
  }

  void PhotoSet() {
    Section("The photo set for the consultation: image and text items");
    const std::string& pk = numbers_.at(0);
    CTZPhotoEXDB sets(dir_.c_str());
    CTZPhotoEXImgDB images(dir_.c_str());
    CTZPhotoEXTextDB texts(dir_.c_str());
    Expect(sets.Open(BTR_OPEN_NORMAL) == 0 && images.Open(BTR_OPEN_NORMAL) == 0 &&
               texts.Open(BTR_OPEN_NORMAL) == 0,
           "the photo-set files open");
    std::string set = Ten(sets.GetLastPhotoEXNo(pk.c_str()));
    char* r = sets.GetRecordBuffer();
    std::memset(r, 0, CTZPhotoEXDB::kRecordLength);
    Put(r, c::kPatientKey, pk);
    Put(r, c::kNumber, set);
    Expect(sets.Insert() == 0, "the photo set is stored");
    out_ << "  photo set " << set << " for patient " << pk << "\n";
    for (int i = 1; i <= 3; ++i) {
      char* item = images.GetRecordBuffer();
      std::memset(item, 0, CTZPhotoEXImgDB::kRecordLength);
      Put(item, c::kPatientKey, pk);
      Put(item, c::kNumber, set);
      Put(item, c::kItemNumber, "0000" + std::to_string(i));
      Put(item, c::kItemBody, "photo " + std::to_string(i));
      Expect(images.Insert() == 0, "an image item is stored");
    }
    const char* notes[] = {"術前の側貌", "上顎前突、経過観察"};
    for (int i = 1; i <= 2; ++i) {
      char* item = texts.GetRecordBuffer();
      std::memset(item, 0, CTZPhotoEXTextDB::kRecordLength);
      Put(item, c::kPatientKey, pk);
      Put(item, c::kNumber, set);
      Put(item, c::kItemNumber, "0000" + std::to_string(i));
      Put(item, c::kItemBody, Sjis(notes[i - 1]));
      Expect(texts.Insert() == 0, "a text item is stored");
    }

    CPtrArray list;
    int n = images.EnumImages(pk.c_str(), set.c_str(), &list);
    out_ << "  EnumImages: " << n << " image items:";
    for (int i = 0; i < list.GetSize(); ++i) {
      auto* e = static_cast<ImageListEntry*>(list.GetAt(i));
      out_ << " " << Get(e->record, c::kItemNumber, 6) << " (" << Get(e->record, c::kItemBody, 20) << ")";
    }
    out_ << "\n";
    Expect(n == 3, "three image items are enumerated");
    for (int i = 0; i < list.GetSize(); ++i) {
      auto* e = static_cast<ImageListEntry*>(list.GetAt(i));
      ReleaseBitmap(e->bitmap);
      delete e;
    }
    list.RemoveAll();

    n = texts.EnumText(pk.c_str(), set.c_str(), &list);
    out_ << "  EnumText: " << n << " text items:";
    for (int i = 0; i < list.GetSize(); ++i) {
      auto* e = static_cast<TextListEntry*>(list.GetAt(i));
      out_ << " " << Get(e->record, c::kItemNumber, 6) << " \""
           << Cp932ToUtf8(Get(e->record, c::kItemBody, 200)) << "\"";
    }
    out_ << "\n";
    Expect(n == 2, "two text items are enumerated");
    for (int i = 0; i < list.GetSize(); ++i) delete static_cast<TextListEntry*>(list.GetAt(i));
    list.RemoveAll();
    out_ << "  next photo-set number: " << sets.GetLastPhotoEXNo(pk.c_str()) << "\n";
  }

  // Stores a record of file, of a file numbered per patient, for patient pk
  // under number no, and says so: what names the record.
  template <class File>
  void StoreNumbered(File& file, const std::string& pk, unsigned long no, const char* what) {
    char* r = file.GetRecordBuffer();
    std::memset(r, 0, File::kRecordLength);
    Put(r, c::kPatientKey, pk);
    Put(r, c::kNumber, Ten(no));
    Expect(file.Insert() == 0, std::string("a ") + what + " is stored");
    out_ << "  " << what << " " << Ten(no) << "\n";
  }

  void ReportsAndSlideShows() {
    Section("Reports and slide shows, numbered per patient");
    const std::string& pk = numbers_.at(0);
    CReportDB reports(dir_.c_str());
    CSlideShowDB shows(dir_.c_str());
    Expect(reports.Open(BTR_OPEN_NORMAL) == 0 && shows.Open(BTR_OPEN_NORMAL) == 0,
           "the report and slide-show files open");
    for (int i = 0; i < 2; ++i) StoreNumbered(reports, pk, reports.GetLastReportNo(pk.c_str()), "report");
    StoreNumbered(shows, pk, shows.GetLastSlideShowNo(pk.c_str()), "slide show");
    unsigned long nextReport = reports.GetLastReportNo(pk.c_str());
    unsigned long nextShow = shows.GetLastSlideShowNo(pk.c_str());
    out_ << "  next report number " << nextReport << ", next slide-show number " << nextShow
         << "; 佐藤 花子 would get report " << reports.GetLastReportNo(numbers_.at(1).c_str()) << "\n";
    Expect(nextReport == 3 && nextShow == 2, "numbers continue per patient");
  }

  void Surgery() {
    Section("Surgery: treatment items, then one surgery's items deleted as a whole");
    const std::string& pk = numbers_.at(2);
    CSurgeryDB surgeries(dir_.c_str());
    CSurgeryTreatmentDB items(dir_.c_str());
    Expect(surgeries.Open(BTR_OPEN_NORMAL) == 0 && items.Open(BTR_OPEN_NORMAL) == 0,
           "the surgery files open");
    const char* kSurgeries[] = {"01", "02"};
    for (const char* s : kSurgeries) {
      char* r = surgeries.GetRecordBuffer();
      std::memset(r, 0, CSurgeryDB::kRecordLength);
      Put(r, c::kPatientKey, pk);
      Put(r, c::kSurgeryField2, "20261206");
      Put(r, c::kSurgeryField3, s);
      Expect(surgeries.Insert() == 0, "a surgery is stored");
    }
    auto addItem = [&](const char* surgery, const char* item) {
      char* r = items.GetRecordBuffer();
      std::memset(r, 0, CSurgeryTreatmentDB::kRecordLength);
      Put(r, c::kPatientKey, pk);
      Put(r, c::kSurgeryField2, "20261206");
      Put(r, c::kSurgeryField3, surgery);
      Put(r, c::kTreatmentItem, item);
      Expect(items.Insert() == 0, "a treatment item is stored");
    };
    for (const char* item : {"0001", "0002", "0003"}) addItem("01", item);
    addItem("02", "0001");
    out_ << "  surgeries 20261206/01 (3 treatment items) and 20261206/02 (1 item) for " << pk << "\n";
    int status = items.DeleteAllItemOf(pk.c_str(), "20261206", "01");
    bool gone = items.GetSurgeryTreamentData(pk.c_str(), "20261206", "01", "0002") == 4;
    bool kept = items.GetSurgeryTreamentData(pk.c_str(), "20261206", "02", "0001") == 0;
    bool surgeryKept = surgeries.GetSurgeryData(pk.c_str(), "20261206", "01") == 0;
    out_ << "  DeleteAllItemOf(20261206/01) returned " << status << ": its items "
         << (gone ? "are gone" : "remain") << ", surgery 02's item " << (kept ? "remains" : "is gone")
         << ", the surgery record itself " << (surgeryKept ? "remains" : "is gone") << "\n";
    Expect(status == 0 && gone && kept && surgeryKept, "only surgery 01's items are deleted");
  }

  void PointLatUpgrade() {
    Section("An older point-lat record, upgraded as it is read");
    const std::string& pk = numbers_.at(0);
    const std::string path = dir_ + "POINTLAT.BTR";
    std::string old(3000, '\0');
    std::memcpy(old.data() + c::kPatientKey, pk.c_str(), pk.size());
    std::memcpy(old.data() + c::kNumber, "LAT", 3);
    old[c::kLayoutMark] = '0';
    const int32_t pairs[3][2] = {{512, 384}, {530, 410}, {498, 451}};
    std::memcpy(old.data() + c::kOlderPairTable, pairs, sizeof pairs);
    const double angle = 112.5;
    std::memcpy(old.data() + c::kOlderMeasure, &angle, sizeof angle);
    {
      // Written as an older version of the application left it: straight
      // through the record manager, past the library's marking.
      BtrFile raw;
      Expect(raw.Open(path, B_MODE_NORMAL) == 0 && raw.Insert(old) == 0,
             "the older record is stored");
    }
    out_ << "  stored for " << pk << " with layout mark '0' and the angle " << angle
         << " at offset " << c::kOlderMeasure << "\n";

    CPointLatDB db(dir_.c_str());
    Expect(db.Open(BTR_OPEN_NORMAL) == 0, "the point-lat file opens");
    int status = db.GetPointLatData(pk.c_str(), "LAT");
    const char* r = db.GetRecordBuffer();
    double moved = 0;
    std::memcpy(&moved, r + c::kCurrentMeasure, sizeof moved);
    int32_t first[2];
    std::memcpy(first, r + c::kOlderPairTable, sizeof first);
    out_ << "  read through CPointLatDB: status " << status << ", layout mark '" << r[c::kLayoutMark]
         << "', the angle " << moved << " now at offset " << c::kCurrentMeasure
         << ", first point (" << first[0] << ", " << first[1] << ") in place\n";
    Expect(status == 0 && r[c::kLayoutMark] == '1' && moved == angle && first[0] == 512,
           "the record arrives in the current layout");
    out_ << "  in the file it is still the older layout (mark '" << StoredMark(path)
         << "') until written back\n";
    Expect(StoredMark(path) == '0', "reading does not rewrite the file");
    Expect(db.Update() == 0, "the upgraded record is written back");
    out_ << "  after Update the file holds mark '" << StoredMark(path) << "'\n";
    Expect(StoredMark(path) == '1', "the written record is in the current layout");
  }

  char StoredMark(const std::string& path) {
    BtrFile raw;
    std::string record;
    if (raw.Open(path, B_MODE_READ_ONLY) != 0 || raw.First(-1, &record) != 0) return '?';
    return record.size() > static_cast<size_t>(c::kLayoutMark) ? record[c::kLayoutMark] : '?';
  }

  void ByNumber() {
    Section("The same records through the numbered interface");
    CTools::SetIniFileName(profile_.c_str());
    CRecLink db;
    Expect(db.DB_Open(110, 0) == 0 && db.DB_Open(120, 0) == 0 && db.DB_Open(140, 0) == 0,
           "numbers 110, 120 and 140 open");
    std::vector<char> patient(3600);
    char key[256] = {};
    int count = 0;
    for (int s = db.DB_GetFIRST(110, 1, patient.data(), key); s == 0;
         s = db.DB_GetNEXT(110, 1, patient.data(), key)) {
      out_ << "  110 by name: " << Get(patient.data(), c::kPatientNumber, 21) << " "
           << Cp932ToUtf8(Get(patient.data(), c::kPatientName, c::kNameWidth)) << "\n";
      ++count;
    }
    Expect(count == 3, "three patients by number 110");

    char photo[80];
    std::memset(key, 0, sizeof key);
    std::memcpy(key, numbers_.at(0).c_str(), numbers_.at(0).size());
    int photos = 0;
    for (int s = db.DB_GetGREQ(120, 0, photo, key);
         s == 0 && Get(photo, c::kPatientKey, 21) == numbers_.at(0);
         s = db.DB_GetNEXT(120, 0, photo, key)) {
      ++photos;
    }
    out_ << "  120: " << photos << " photos of " << numbers_.at(0) << "\n";
    Expect(photos == photos_, "the photos are there by number");

    std::vector<char> point(3000);
    std::memset(key, 0, sizeof key);
    std::memcpy(key, numbers_.at(0).c_str(), numbers_.at(0).size());
    std::memcpy(key + 21, "LAT", 3);
    int s = db.DB_GetEQ(140, 0, point.data(), key);
    out_ << "  140: point-lat record of " << numbers_.at(0) << ", status " << s
         << ", layout mark '" << point[c::kLayoutMark] << "'\n";
    Expect(s == 0 && point[c::kLayoutMark] == '1', "the point-lat record by number");
    db.DB_Close(110);
    db.DB_Close(120);
    db.DB_Close(140);
    CTools::SetIniFileName(nullptr);
  }

  void DeliberateFailure() {
    Section("A mistake: a report is looked up before its file is opened");
    CReportDB reports(dir_.c_str());
    int status = reports.GetReportData(numbers_.at(0).c_str(), Ten(1).c_str());
    out_ << "  GetReportData returned " << status << "\n";
    Expect(status == B_FILE_NOT_OPEN, "the closed file answers status 3");
  }

  std::string dir_;                   // database directory with its separator
  std::string profile_;               // profile file naming the directory
  std::ostream& out_;                 // the story
  std::vector<std::string> numbers_;  // patient numbers allocated today
  int photos_ = 0;                    // photos taken of the first patient
  int failures_ = 0;                  // expectations not met
};

}  // namespace

int PlayClinicDay(const std::string& dir, const std::string& profile, std::ostream& out) {
  return Day(dir, profile, out).Play();
}

}  // namespace reclink::cli
