// save and load: records to and from the sequential format.
#include <cstdio>
#include <fstream>
#include <ostream>

#include "cli/btr_file.h"
#include "cli/progress.h"
#include "cli/sequential.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"

namespace reclink::cli {

int RunSave(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  const std::string& outPath = args.operands[1];
  int key = -1;
  if (!KeyOption(args, io, "save", -1, &key)) return kExitUsage;

  BtrFile file;
  int status = file.Open(path, B_MODE_READ_ONLY);
  if (status != 0) return Failure(io, "save", "cannot open " + path + ": " + StatusText(status));
  FileSpec spec;
  status = file.Stat(&spec);
  if (status != 0) return Failure(io, "save", "cannot stat " + path + ": " + StatusText(status));

  // Written beside OUT and renamed at the end, so a failed save leaves OUT as it was.
  const std::string partPath = outPath + ".partial";
  std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
  if (!out) return Failure(io, "save", "cannot write " + partPath);
  SequentialWriter writer(out);
  Progress progress(io.err, io.terminal, "saving " + path, spec.records);
  uint64_t count = 0;
  std::string record;
  for (status = file.First(key, &record); status == 0; status = file.Next(key, &record)) {
    writer.Write(record);
    progress.Update(++count);
  }
  progress.Finish();
  if (status != B_END_OF_FILE) {
    out.close();
    std::remove(partPath.c_str());
    return Failure(io, "save", "reading " + path + " after " + std::to_string(count) +
                                   " records: " + StatusText(status));
  }
  writer.Finish();
  out.close();
  if (!out || std::rename(partPath.c_str(), outPath.c_str()) != 0) {
    std::remove(partPath.c_str());
    return Failure(io, "save", "cannot write " + outPath);
  }
  io.out << count << " records saved from " << path << " to " << outPath << "\n";
  return kExitOk;
}

int RunLoad(const Args& args, Io& io) {
  const std::string& inPath = args.operands[0];
  const std::string& path = args.operands[1];
  BtrFile file;
  int status = file.Open(path, B_MODE_NORMAL);
  if (status != 0) return Failure(io, "load", "cannot open " + path + ": " + StatusText(status));
  FileSpec spec;
  status = file.Stat(&spec);
  if (status != 0) return Failure(io, "load", "cannot stat " + path + ": " + StatusText(status));
  std::ifstream in(inPath, std::ios::binary);
  if (!in) return Failure(io, "load", "cannot read " + inPath);

  // First pass: the whole input must be sound before anything is written.
  SequentialReader check(in, spec.recordLength);
  std::string record;
  SequentialReader::Result r;
  while ((r = check.Next(&record)) == SequentialReader::Result::kRecord) {
  }
  if (r == SequentialReader::Result::kError) {
    return Failure(io, "load", inPath + ": " + check.error() + "; " + path + " is unchanged");
  }
  const uint64_t total = check.recordNumber();

  // Second pass: one transaction, so a refused insert leaves the file as it was.
  in.clear();
  in.seekg(0);
  status = BeginTransaction();
  if (status != 0) return Failure(io, "load", "cannot begin a transaction: " + StatusText(status));
  SequentialReader reader(in, spec.recordLength);
  Progress progress(io.err, io.terminal, "loading " + path, total);
  uint64_t count = 0;
  while ((r = reader.Next(&record)) == SequentialReader::Result::kRecord) {
    status = file.Insert(record);
    if (status != 0) {
      progress.Finish();
      AbortTransaction();
      return Failure(io, "load",
                     inPath + ": record " + std::to_string(reader.recordNumber()) +
                         ", byte offset " + std::to_string(reader.recordOffset()) +
                         ": insert refused with " + StatusText(status) + "; " + path +
                         " is unchanged");
    }
    progress.Update(++count);
  }
  progress.Finish();
  if (r == SequentialReader::Result::kError) {  // the input changed since it was checked
    AbortTransaction();
    return Failure(io, "load", inPath + ": " + reader.error() + "; " + path + " is unchanged");
  }
  status = EndTransaction();
  if (status != 0) {
    AbortTransaction();
    return Failure(io, "load", "cannot end the transaction: " + StatusText(status));
  }
  io.out << count << " records loaded from " << inPath << " into " << path << "\n";
  return kExitOk;
}

}  // namespace reclink::cli
