// The Create/Stat buffer codec: what it writes for the reader to find (key
// count, segmented flags, extended types) and what it keeps of a buffer it
// cannot read whole.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reclink/file_spec.h"

namespace recman {
namespace {

// Two keys: a zstring with a descending integer after it, compared by the
// first collating sequence; and an old-style binary key without an extended
// type, which must come back as it was written.
FileSpec TwoKeys() {
  FileSpec spec;
  spec.recordLength = 40;
  spec.pageSize = 1024;
  spec.fileFlags = B_FILE_VARIABLE_LENGTH;
  spec.records = 7;
  spec.allocation = 3;
  SegmentSpec name{.position = 1, .length = 20, .flags = B_KEY_ALT_COLLATION | B_KEY_DUPLICATES,
                   .type = B_TYPE_ZSTRING};
  SegmentSpec number{.position = 21, .length = 4, .flags = B_KEY_DESCENDING | B_KEY_DUPLICATES,
                     .type = B_TYPE_INTEGER, .uniqueValues = 5};
  SegmentSpec code{.position = 25, .length = 8, .flags = B_KEY_BINARY, .type = B_TYPE_UNSIGNED_BINARY};
  spec.keys = {KeySpec{{name, number}}, KeySpec{{code}}};
  BtrAltCollation sequence{B_ACS_SIGNATURE, {'U', 'P', 'P', 'E', 'R', ' ', ' ', ' '}, {}};
  spec.collations.assign(reinterpret_cast<const char*>(&sequence), sizeof sequence);
  return spec;
}

BtrKeySpec SegmentAt(const std::vector<uint8_t>& buffer, int n) {
  BtrKeySpec raw;
  std::memcpy(&raw, buffer.data() + sizeof(BtrFileSpec) + n * sizeof raw, sizeof raw);
  return raw;
}

TEST(FileSpecCodec, EncodesWhatTheReaderNeedsAndDecodesItBack) {
  const FileSpec spec = TwoKeys();
  const std::vector<uint8_t> buffer = EncodeFileSpec(spec);
  ASSERT_EQ(buffer.size(), sizeof(BtrFileSpec) + 3 * sizeof(BtrKeySpec) + sizeof(BtrAltCollation));
  BtrFileSpec file;
  std::memcpy(&file, buffer.data(), sizeof file);
  EXPECT_EQ(file.numberOfKeys, 2);
  EXPECT_EQ(SegmentAt(buffer, 0).flags, B_KEY_ALT_COLLATION | B_KEY_DUPLICATES | B_KEY_SEGMENTED |
                                            B_KEY_EXTENDED_TYPE);
  EXPECT_EQ(SegmentAt(buffer, 1).flags, B_KEY_DESCENDING | B_KEY_DUPLICATES | B_KEY_EXTENDED_TYPE);
  EXPECT_EQ(SegmentAt(buffer, 1).extendedType, B_TYPE_INTEGER);
  EXPECT_EQ(SegmentAt(buffer, 2).flags, B_KEY_BINARY);

  FileSpec decoded;
  ASSERT_EQ(DecodeFileSpec(buffer.data(), static_cast<uint32_t>(buffer.size()), &decoded), B_NO_ERROR);
  FileSpec expected = spec;
  expected.keys[0].segments[0].flags |= B_KEY_EXTENDED_TYPE;
  expected.keys[0].segments[1].flags |= B_KEY_EXTENDED_TYPE;
  EXPECT_EQ(decoded, expected);
  EXPECT_EQ(EncodeFileSpec(decoded), buffer);
}

TEST(FileSpecCodec, AShortBufferGives22AndKeepsWhatWasRead) {
  const std::vector<uint8_t> buffer = EncodeFileSpec(TwoKeys());
  FileSpec decoded;
  // Ends inside the second segment of key 0.
  const uint32_t inKey0 = sizeof(BtrFileSpec) + sizeof(BtrKeySpec) + 10;
  ASSERT_EQ(DecodeFileSpec(buffer.data(), inKey0, &decoded), B_DATALENGTH_ERROR);
  EXPECT_EQ(decoded.recordLength, 40);
  ASSERT_EQ(decoded.keys.size(), 1u);
  EXPECT_EQ(decoded.keys[0].segments.size(), 1u);
  // Ends right after key 0: key 1 is there, without segments.
  ASSERT_EQ(DecodeFileSpec(buffer.data(), sizeof(BtrFileSpec) + 2 * sizeof(BtrKeySpec), &decoded),
            B_DATALENGTH_ERROR);
  ASSERT_EQ(decoded.keys.size(), 2u);
  EXPECT_EQ(decoded.keys[0].segments.size(), 2u);
  EXPECT_TRUE(decoded.keys[1].segments.empty());

  EXPECT_EQ(DecodeFileSpec(buffer.data(), sizeof(BtrFileSpec) - 1, &decoded), B_DATALENGTH_ERROR);
  EXPECT_EQ(DecodeFileSpec(nullptr, 0, &decoded), B_DATALENGTH_ERROR);
  FileSpec many = TwoKeys();
  many.keys.resize(B_MAX_KEYS + 1, many.keys[1]);
  const std::vector<uint8_t> tooMany = EncodeFileSpec(many);
  EXPECT_EQ(DecodeFileSpec(tooMany.data(), static_cast<uint32_t>(tooMany.size()), &decoded), B_NUMBER_OF_KEYS);
}

}  // namespace
}  // namespace recman
