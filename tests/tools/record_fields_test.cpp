// Which fields dump shows for a file, and how it decodes them.
#include <gtest/gtest.h>

#include "cli/record_fields.h"
#include "reclink/btrieve.h"

namespace reclink::cli {
namespace {

KeySpec Key(std::vector<std::pair<int, int>> segments, uint8_t type = B_TYPE_ZSTRING) {
  KeySpec k;
  for (auto [position, length] : segments) {
    SegmentSpec s;
    s.position = static_cast<uint16_t>(position);
    s.length = static_cast<uint16_t>(length);
    s.type = type;
    k.segments.push_back(s);
  }
  return k;
}

std::vector<std::string> Names(const std::vector<FieldDef>& fields) {
  std::vector<std::string> names;
  for (const FieldDef& f : fields) names.push_back(f.name + "@" + std::to_string(f.offset));
  return names;
}

TEST(RecordFields, KnownFieldsByFileNameAndUncoveredKeysByType) {
  FileSpec photo;
  photo.recordLength = 80;
  photo.keys = {Key({{1, 21}, {22, 11}}), Key({{45, 21}}),
                Key({{1, 21}, {33, 9}, {42, 3}, {66, 11}})};
  EXPECT_EQ(Names(FieldsOf("/db/photo.btr", photo)),
            (std::vector<std::string>{"patient key@0", "photo number@21", "first grouping field@32",
                                      "second grouping field@41", "key 1@44", "sort number@65"}));

  FileSpec other;  // a file the database does not know: its keys only
  other.recordLength = 40;
  other.keys = {Key({{1, 10}, {11, 4}}), Key({{15, 8}}, B_TYPE_UNSIGNED_BINARY)};
  other.keys[0].segments[1].type = B_TYPE_INTEGER;
  std::vector<FieldDef> fields = FieldsOf("T.BTR", other);
  EXPECT_EQ(Names(fields),
            (std::vector<std::string>{"key 0 segment 1@0", "key 0 segment 2@10", "key 1@14"}));
  EXPECT_EQ(fields[1].kind, FieldKind::kInteger);
  EXPECT_EQ(fields[2].kind, FieldKind::kUnsigned);

  EXPECT_EQ(Names(FieldsOf("POINTLAT.BTR", FileSpec())),
            (std::vector<std::string>{"patient key@0", "sub-key@21", "layout@55"}));
}

TEST(RecordFields, DecodesTextNumbersAndTheLayoutMark) {
  std::vector<FieldDef> fields = {
      {0, 8, FieldKind::kText, "name"},     {8, 2, FieldKind::kInteger, "small"},
      {10, 4, FieldKind::kUnsigned, "big"}, {14, 1, FieldKind::kLayoutMark, "layout"},
      {15, 1, FieldKind::kByte, "flag"},    {16, 3, FieldKind::kHex, "raw"},
  };
  std::string record("\x8e\x52\x93\x63\0zz\0" "\xfe\xff" "\x01\x00\x00\x80" "0" "\x01" "\xab\x00\x01",
                     19);
  std::vector<FieldValue> v = DecodeFields(fields, record);
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[0].text, "\xe5\xb1\xb1\xe7\x94\xb0");  // 山田
  EXPECT_FALSE(v[0].number);
  EXPECT_EQ(v[1].text, "-2");
  EXPECT_TRUE(v[1].number);
  EXPECT_EQ(v[2].text, "2147483649");
  EXPECT_EQ(v[3].text, "older (0x30)");
  EXPECT_EQ(v[4].text, "1");
  EXPECT_EQ(v[5].text, "ab0001");
  record[14] = '1';
  EXPECT_EQ(DecodeFields(fields, record)[3].text, "current");

  // Bytes behind a text field's terminator are not shown by the field.
  std::vector<ByteRun> other = OtherBytes(fields, record);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].offset, 5u);
  EXPECT_EQ(other[0].hex, "7a7a");
}

TEST(RecordFields, OtherBytesAreRunsOfNonZeroBytesOutsideTheFields) {
  std::vector<FieldDef> fields = {{2, 2, FieldKind::kHex, "f"}};
  std::string record("\x01\x02\x03\x04\x00\x05\x06\x00\x00\x07", 10);
  std::vector<ByteRun> runs = OtherBytes(fields, record);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].offset, 0u);
  EXPECT_EQ(runs[0].hex, "0102");
  EXPECT_EQ(runs[1].offset, 5u);
  EXPECT_EQ(runs[1].hex, "0506");
  EXPECT_EQ(runs[2].offset, 9u);
  EXPECT_EQ(runs[2].hex, "07");
  EXPECT_TRUE(OtherBytes({}, std::string(100, '\0')).empty());
}

}  // namespace
}  // namespace reclink::cli
