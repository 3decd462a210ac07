// save and load: records to and from the sequential format.
#include <filesystem>
#include <ostream>
#include <sys/stat.h>

#include "cli/btr_file.h"
#include "cli/input.h"
#include "cli/partial.h"
#include "cli/progress.h"
#include "cli/reasons.h"
#include "cli/sequential.h"
#include "commands/commands.h"
#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

constexpr size_t kWriteChunk = 1 << 20;  // bytes gathered before each write of save

// The records a regular sequential file of records of recordLength holds, for
// the progress line; 0 (unknown) for anything else.
uint64_t RecordsIn(const std::string& path, size_t recordLength) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  const size_t entry = SequentialEntry(std::string(recordLength, '\0')).size();
  return static_cast<uint64_t>(st.st_size) / entry;
}

}  // namespace

int RunSave(const Args& args, Io& io) {
  const std::string& path = args.operands[0];
  const std::string& outPath = args.operands[1];
  int key = -1;
  if (!KeyOption(args, io, "save", -1, &key)) return kExitUsage;
  if (OutputIsInput(io, "save", outPath, path) || OutputIsRecordFile(io, "save", outPath)) return kExitFailure;
  BtrFile file;
  FileSpec spec;
  if (!OpenRecordFile(io, "save", path, B_MODE_READ_ONLY, &file, &spec)) return kExitFailure;

  // Written beside OUT and renamed at the end, so a failed save leaves OUT as it was.
  RemoveStaleOutputs(io, "save", std::filesystem::path(outPath).parent_path().string());
  PartialOutput out;
  std::string error;
  if (!out.CreateFile(outPath, &error)) {
    return Failure(io, "save", "cannot write " + outPath + ": " + error);
  }
  Progress progress(io.err, io.terminal, "saving " + path, spec.records);
  uint64_t count = 0;
  std::string chunk;
  std::string record;
  int status = file.First(key, &record);
  for (; status == 0; status = file.Next(key, &record)) {
    chunk += SequentialEntry(record);
    if (chunk.size() >= kWriteChunk) {
      if (!out.Write(chunk, &error)) {
        return Failure(io, "save", "cannot write " + outPath + ": " + error);
      }
      chunk.clear();
    }
    progress.Update(++count);
  }
  progress.Finish();
  if (status != B_END_OF_FILE) {
    return Failure(io, "save", "cannot read " + path + " after " + std::to_string(count) +
                                   " records: " + StatusText(status) + "; " + outPath +
                                   " was not written");
  }
  chunk += kSequentialEnd;
  if (!out.Write(chunk, &error) || !out.Commit(&error)) {
    return Failure(io, "save", "cannot write " + outPath + ": " + error);
  }
  // OUT may be the standard output, whatever it is: nothing but the records
  // goes there, so the count is a message.
  io.err << count << " records saved from " << path << " to " << outPath << "\n";
  return kExitOk;
}

int RunLoad(const Args& args, Io& io) {
  const std::string& inPath = args.operands[0];
  const std::string& path = args.operands[1];
  if (OutputIsInput(io, "load", path, inPath)) return kExitFailure;
  BtrFile file;
  FileSpec spec;
  if (!OpenRecordFile(io, "load", path, B_MODE_NORMAL, &file, &spec)) return kExitFailure;
  std::ifstream in;
  std::string error;
  if (!OpenInput(inPath, &in, &error)) return Failure(io, "load", error);

  // One pass inside one transaction: any fault aborts it, so FILE is loaded
  // whole or left as it was, and the input may be a pipe.
  int status = BeginTransaction();
  if (status != 0) {
    return Failure(io, "load", "cannot begin a transaction: " + StatusText(status));
  }
  const std::string unchanged = "; " + path + " is unchanged";
  // A variable-length file takes records from its fixed part up to the
  // longest record the record manager stores.
  const bool variable = (spec.fileFlags & B_FILE_VARIABLE_LENGTH) != 0;
  SequentialReader reader(in, spec.recordLength, variable ? size_t{B_MAX_VARIABLE_RECORD} : spec.recordLength);
  Progress progress(io.err, io.terminal, "loading " + path, RecordsIn(inPath, spec.recordLength));
  uint64_t count = 0;
  std::string record;
  SequentialReader::Result r;
  while ((r = reader.Next(&record)) == SequentialReader::Result::kRecord) {
    status = file.Insert(record);
    if (status != 0) break;
    progress.Update(++count);
  }
  progress.Finish();
  if (r == SequentialReader::Result::kError) {
    AbortTransaction();
    return Failure(io, "load", inPath + ": " + reader.error() + unchanged);
  }
  // A record the file refuses is the record's fault; anything else is the file's.
  if (status == B_DUPLICATE_KEY_VALUE || status == B_DATALENGTH_ERROR) {
    AbortTransaction();
    return Failure(io, "load", inPath + ": record " + std::to_string(reader.recordNumber()) +
                                   ", byte offset " + std::to_string(reader.recordOffset()) +
                                   ": insert refused with " + StatusText(status) + unchanged);
  }
  if (status == 0) status = EndTransaction();
  if (status != 0) {
    AbortTransaction();
    return Failure(io, "load",
                   "cannot write " + path + ": " + WriteReason(path, status) + unchanged);
  }
  io.out << count << " records loaded from " << inPath << " into " << path << "\n";
  return kExitOk;
}

}  // namespace reclink::cli
