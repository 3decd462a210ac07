#pragma once
// The sequential record format of save and load: per record the length in
// ASCII decimal, a comma, exactly that many bytes, CR LF; one Ctrl-Z after the
// last record. Readers count bytes, so record data may hold CR, LF and commas.

#include <cstdint>
#include <iosfwd>
#include <string>

namespace reclink::cli {

// One record in the sequential format: its length, a comma, its bytes, CR LF.
std::string SequentialEntry(const std::string& record);
// What follows the last record: one Ctrl-Z.
constexpr char kSequentialEnd = 0x1A;

// Reads records from a stream in the sequential format. The input ends at a
// Ctrl-Z where a record would begin (what follows it is not read) or at the
// end of the stream where a record would begin. A stream that fails to read
// (its bad state) has not ended: that is an error, with the system's reason.
class SequentialReader {
 public:
  enum class Result { kRecord, kEnd, kError };

  // Every record must be minLength to maxLength bytes long (both the same
  // for a file of fixed-length records); a record announcing another length
  // is refused before its bytes are read.
  SequentialReader(std::istream& in, size_t minLength, size_t maxLength);

  // Reads the next record into *record. On kError, error() says what is wrong
  // and where: "record N, byte offset X: ...", the offset counted from the
  // start of the input to the first byte that is wrong.
  Result Next(std::string* record);

  const std::string& error() const { return error_; }
  uint64_t recordNumber() const { return recordNumber_; }  // 1-based, of the last record read
  uint64_t recordOffset() const { return recordOffset_; }  // where that record begins
  uint64_t offset() const { return offset_; }              // bytes consumed so far

 private:
  Result Fail(uint64_t at, const std::string& what);
  Result Unreadable();  // the stream failed at offset_

  std::istream& in_;           // source; not owned
  size_t minLength_;           // the shortest record allowed
  size_t maxLength_;           // the longest
  uint64_t offset_ = 0;        // bytes consumed
  uint64_t recordNumber_ = 0;  // records begun
  uint64_t recordOffset_ = 0;  // start of the record being read
  std::string error_;          // last error
};

}  // namespace reclink::cli
