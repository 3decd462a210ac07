// The sequential reader on a stream that fails part way: a read error is no
// end of the input, wherever it falls.
#include <gtest/gtest.h>

#include <ios>
#include <istream>
#include <streambuf>

#include "cli/sequential.h"

namespace reclink::cli::test {
namespace {

// Hands out text, then fails the next read as a disk would.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::ios_base::failure("read error"); }

 private:
  std::string text_;  // what reads before the failure get
};

TEST(SequentialReader, AReadErrorIsNoEndOfTheInput) {
  const std::string record(8, 'r');
  const std::string entry = "8," + record + "\r\n";
  // The failure between records, inside a length, inside a record's bytes,
  // between the record and its CR LF.
  for (const std::string& before : {entry, entry + "8", entry + "8,rrr", entry + "8," + record + "\r"}) {
    FailingBuffer buffer(before);
    std::istream in(&buffer);
    SequentialReader reader(in, record.size(), record.size());
    std::string got;
    ASSERT_EQ(reader.Next(&got), SequentialReader::Result::kRecord);
    EXPECT_EQ(got, record);
    EXPECT_EQ(reader.Next(&got), SequentialReader::Result::kError) << before.size() << " bytes before";
    EXPECT_EQ(reader.error().rfind("cannot read beyond byte offset ", 0), 0u) << reader.error();
  }
}

}  // namespace
}  // namespace reclink::cli::test
