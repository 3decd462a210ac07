// The Create/Stat buffer codec. What Create and Stat make of it, the call
// scripts show; here, the segments older programs write, which no script
// writes: a binary key without an extended type.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "reclink/file_spec.h"

namespace recman {
namespace {

TEST(FileSpecCodec, ASegmentWithoutAnExtendedTypeIsOrderedAsItsFlagsSay) {
  FileSpec spec;
  spec.recordLength = 40;
  spec.pageSize = 1024;
  SegmentSpec code{
      .position = 1, .length = 8, .flags = B_KEY_BINARY, .type = B_TYPE_UNSIGNED_BINARY};
  SegmentSpec name{.position = 9, .length = 8, .type = B_TYPE_STRING};
  spec.keys = {KeySpec{{code}}, KeySpec{{name}}};
  const std::vector<uint8_t> buffer = EncodeFileSpec(spec);
  for (int n : {0, 1}) {
    BtrKeySpec raw;
    std::memcpy(&raw, buffer.data() + sizeof(BtrFileSpec) + n * sizeof raw, sizeof raw);
    EXPECT_EQ(raw.flags & B_KEY_EXTENDED_TYPE, 0) << "key " << n << " needs no extended type";
  }
  FileSpec decoded;
  const auto length = static_cast<uint32_t>(buffer.size());
  ASSERT_EQ(DecodeFileSpec(buffer.data(), length, &decoded), B_NO_ERROR);
  EXPECT_EQ(decoded, spec);
}

}  // namespace
}  // namespace recman
