#include "cli/sequential.h"

#include <cerrno>
#include <istream>

#include "cli/reasons.h"

namespace reclink::cli {

namespace {

constexpr int kMaxLengthDigits = 9;

}  // namespace

std::string SequentialEntry(const std::string& record) {
  return std::to_string(record.size()) + ',' + record + "\r\n";
}

SequentialReader::SequentialReader(std::istream& in, size_t minLength, size_t maxLength)
    : in_(in), minLength_(minLength), maxLength_(maxLength) {}

SequentialReader::Result SequentialReader::Fail(uint64_t at, const std::string& what) {
  error_ = "record " + std::to_string(recordNumber_) + ", byte offset " + std::to_string(at) +
           ": " + what;
  return Result::kError;
}

SequentialReader::Result SequentialReader::Unreadable() {
  const int err = errno;
  error_ = "cannot read beyond byte offset " + std::to_string(offset_) + ": " +
           (err != 0 ? SystemReason(err) : std::string("read error"));
  return Result::kError;
}

SequentialReader::Result SequentialReader::Next(std::string* record) {
  errno = 0;  // so that a failed read's reason is its own
  int c = in_.get();
  if (in_.bad()) return Unreadable();
  if (c == std::char_traits<char>::eof() || c == kSequentialEnd) return Result::kEnd;
  ++recordNumber_;
  recordOffset_ = offset_;

  // The length: decimal digits up to the comma.
  size_t length = 0;
  int digits = 0;
  while (c != ',') {
    if (in_.bad()) return Unreadable();
    if (c == std::char_traits<char>::eof()) return Fail(offset_, "input ends inside the length");
    if (c < '0' || c > '9') {
      return Fail(offset_, digits == 0 ? "bad length: expected a decimal digit"
                                       : "bad length: expected a digit or a comma");
    }
    if (++digits > kMaxLengthDigits) return Fail(offset_, "bad length: too many digits");
    length = length * 10 + static_cast<size_t>(c - '0');
    ++offset_;
    c = in_.get();
  }
  if (digits == 0) return Fail(offset_, "bad length: no digits before the comma");
  ++offset_;  // the comma
  if (length < minLength_ || length > maxLength_) {
    const std::string allowed = minLength_ == maxLength_
                                    ? std::to_string(minLength_)
                                    : std::to_string(minLength_) + " to " + std::to_string(maxLength_);
    return Fail(recordOffset_, "wrong record length " + std::to_string(length) + ", the file's records are " +
                                   allowed + " bytes");
  }

  record->resize(length);
  in_.read(record->data(), static_cast<std::streamsize>(length));
  size_t got = static_cast<size_t>(in_.gcount());
  if (got != length) {
    offset_ += got;
    if (in_.bad()) return Unreadable();
    return Fail(offset_, "truncated record: " + std::to_string(got) + " of " +
                             std::to_string(length) + " bytes");
  }
  offset_ += length;

  for (const char expected : {'\r', '\n'}) {
    const int got = in_.get();
    if (in_.bad()) return Unreadable();
    if (got != expected) return Fail(offset_, "missing CR LF after the record");
    ++offset_;
  }
  return Result::kRecord;
}

}  // namespace reclink::cli
