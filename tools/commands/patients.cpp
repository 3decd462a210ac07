// patients: find patients through the patient class's own look-ups.
#include <cstring>
#include <filesystem>
#include <ostream>

#include "cli/box_printer.h"
#include "cli/layout_check.h"
#include "cli/text_codec.h"
#include "commands/clinic_fields.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"
#include "reclink/records/catalogue.h"
#include "reclink/records/patient.h"

namespace reclink::cli {

namespace {

using clinic::kNameWidth;
constexpr int kNumberOffset = clinic::kPatientNumber;
constexpr int kNameOffset = clinic::kPatientName;
constexpr int kKanaOffset = clinic::kPatientKana;
constexpr int kIdOffset = clinic::kPatientId;
constexpr int kExclusionOffset = clinic::kPatientExcluded;

std::string Field(const char* record, int offset, int width) {
  return Cp932ToUtf8(std::string(record + offset, strnlen(record + offset, static_cast<size_t>(width))));
}

void PrintPatient(std::ostream& out, const char* record) {
  out << Field(record, kNumberOffset, 21) << "  " << Field(record, kNameOffset, kNameWidth) << "  ("
      << Field(record, kKanaOffset, kNameWidth) << ")";
  std::string id = Field(record, kIdOffset, 21);
  if (!id.empty()) out << "  ID " << id;
  if (record[kExclusionOffset] == 1) out << "  [excluded]";
  out << "\n";
}

// Lists every patient that is not excluded and whose field at offset (key
// keyNumber) is exactly value, after the look-up found one. Returns the count.
int ListMatches(CPatientDB& db, int keyNumber, int offset, const std::string& value, std::ostream& out) {
  char image[kNameWidth] = {};
  std::memcpy(image, value.data(), value.size());
  db.SetKey(keyNumber);
  db.SetKeyBuffer(image, sizeof image);
  int count = 0;
  const char* record = db.GetRecordBuffer();
  for (int status = db.GetGREQ(); status == 0 && !db.IsEOF(); status = db.GetNEXT()) {
    if (std::strncmp(record + offset, value.c_str(), kNameWidth) != 0) break;
    if (record[kExclusionOffset] == 1) continue;
    PrintPatient(out, record);
    ++count;
  }
  return count;
}

}  // namespace

int RunPatients(const Args& args, Io& io) {
  int given = args.Has("--name") + args.Has("--kana") + args.Has("--number");
  if (given > 1) {
    io.err << "reclink patients: give one of --name, --kana and --number\n";
    return kExitUsage;
  }
  // The look-ups read fields at the catalogue's offsets: a file of another
  // layout is refused before the library opens it.
  const RecordFileRow& row = RecordFileOf(RecordFile::kPatient);
  const std::string path = (std::filesystem::path(args.operands[0]) / row.fileName).string();
  {
    BtrFile file;
    FileSpec spec;
    if (!OpenRecordFile(io, "patients", path, B_MODE_READ_ONLY, &file, &spec)) return kExitFailure;
    std::string differences;
    for (const std::string& d : LayoutDifferences(row, spec)) differences += "; " + d;
    if (!differences.empty()) {
      return Failure(io, "patients",
                     path + " does not have the layout of the patient file" + differences);
    }
  }
  std::string dir = args.operands[0] + "/";
  BoxPrinter boxes(io.err);
  CPatientDB db(dir.c_str());
  if (db.Open(BTR_OPEN_READONLY) != 0) {
    return Failure(io, "patients", "cannot open " + path + " through the patient record class");
  }

  if (args.Has("--number")) {
    std::string number = args.Value("--number");
    long n = 0;
    if (number.size() < 10 && ParseCount(number, 999999999, &n)) {
      number = std::string(10 - number.size(), '0') + number;  // stored as ten digits
    }
    std::string key;
    if (!Utf8ToCp932(number, &key) || key.size() > 20) {
      io.err << "reclink patients: --number takes at most 20 characters\n";
      return kExitUsage;
    }
    if (db.GetPatientData(key.c_str()) != 0) {
      return Failure(io, "patients", "no patient numbered " + number);
    }
    PrintPatient(io.out, db.GetRecordBuffer());
    return kExitOk;
  }

  if (args.Has("--name") || args.Has("--kana")) {
    bool byName = args.Has("--name");
    std::string text = args.Value(byName ? "--name" : "--kana");
    std::string value;
    if (!Utf8ToCp932(text, &value) || value.size() >= kNameWidth) {
      io.err << "reclink patients: the name must be code page 932 text of at most 40 bytes\n";
      return kExitUsage;
    }
    int found = byName ? db.GetPatientDataByName(value.c_str()) : db.GetPatientDataByKana(value.c_str());
    if (found != 0) {
      return Failure(io, "patients", std::string("no patient with the ") +
                                         (byName ? "name " : "kana name ") + text);
    }
    int count = ListMatches(db, byName ? 1 : 2, byName ? kNameOffset : kKanaOffset, value, io.out);
    io.out << count << (count == 1 ? " patient\n" : " patients\n");
    return kExitOk;
  }

  int count = 0;
  db.SetKey(0);
  int status = db.GetFIRST();
  for (; status == 0; status = db.GetNEXT()) {
    PrintPatient(io.out, db.GetRecordBuffer());
    ++count;
  }
  io.out << count << (count == 1 ? " patient\n" : " patients\n");
  return status == 0 || status == 9 ? kExitOk : kExitFailure;
}

}  // namespace reclink::cli
