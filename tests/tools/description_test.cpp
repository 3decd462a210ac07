// Description files: what create reads and stat --description writes.
#include <gtest/gtest.h>

#include "cli/description.h"
#include "reclink/btrieve.h"

namespace reclink::cli {
namespace {

const char kPhoto[] =
    "; photo file\n"
    "record=80 key=2 page=1024\n"
    "position=1 length=21 duplicates=n modifiable=n type=zstring segment=y\n"
    "position=22 length=11 type=zstring segment=n   # photo number\n"
    "position=1 length=21 duplicates=y modifiable=y type=zstring nullkey=y value=20\n"
    "  segment=y\n"
    "position=66 length=11 duplicates=y modifiable=y type=string descending=y\n"
    "  nullkey=allsegments value=20 segment=n\n";

TEST(Description, ParsesFileKeysAndSegments) {
  Description d;
  DescriptionError e;
  ASSERT_TRUE(ParseDescription(kPhoto, &d, &e)) << e.ToString();
  EXPECT_EQ(d.spec.recordLength, 80);
  EXPECT_EQ(d.spec.pageSize, 1024);
  EXPECT_FALSE(d.replace);
  ASSERT_EQ(d.spec.keys.size(), 2u);
  ASSERT_EQ(d.spec.keys[0].segments.size(), 2u);
  EXPECT_EQ(d.spec.keys[0].Length(), 32);
  EXPECT_EQ(d.spec.keys[0].segments[1].position, 22);
  EXPECT_EQ(d.spec.keys[0].segments[1].type, B_TYPE_ZSTRING);
  const SegmentSpec& s = d.spec.keys[1].segments[1];
  EXPECT_EQ(s.flags, B_KEY_DUPLICATES | B_KEY_MODIFIABLE | B_KEY_DESCENDING | B_KEY_NULL);
  EXPECT_EQ(s.nullValue, 0x20);
  EXPECT_EQ(s.type, B_TYPE_STRING);

  ASSERT_TRUE(ParseDescription("record=4 key=1 replace=y position=1 length=4 type=integer "
                               "null=y value=0xff",
                               &d, &e))
      << e.ToString();
  EXPECT_TRUE(d.replace);
  EXPECT_EQ(d.spec.pageSize, 4096);  // the default
  EXPECT_EQ(d.spec.keys[0].segments[0].flags, B_KEY_NULL);
  EXPECT_EQ(d.spec.keys[0].segments[0].nullValue, 0xff);
}

TEST(Description, FormattedSpecificationParsesToTheSame) {
  Description d;
  DescriptionError e;
  ASSERT_TRUE(ParseDescription(kPhoto, &d, &e));
  d.spec.keys[0].segments[0].flags |= B_KEY_CASE_INSENSITIVE;
  d.spec.keys[0].segments[1].flags |= B_KEY_CASE_INSENSITIVE;
  Description again;
  ASSERT_TRUE(ParseDescription(FormatDescription(d.spec), &again, &e)) << e.ToString();
  EXPECT_EQ(FormatDescription(again.spec), FormatDescription(d.spec));
  EXPECT_EQ(again.spec.keys[0].segments[0].flags, B_KEY_CASE_INSENSITIVE);
  EXPECT_EQ(again.spec.keys[1].segments[1].nullValue, 0x20);
}

TEST(Description, EveryMistakeNamesItsLineAndElement) {
  struct Case {
    const char* text;
    int line;
    const char* element;
  };
  const Case cases[] = {
      {"record=80 key=1\nposition=1 length\n", 2, "length"},
      {"record=80 key=1\nposition=1 length=\n", 2, "length="},
      {"record=80 key=1 colour=red\n", 1, "colour="},
      {"record=0 key=1\n", 1, "record="},
      {"record=80 key=1 page=1000\nposition=1 length=4", 1, "page="},
      {"record=80 key=1 page=8192\nposition=1 length=4", 1, "page="},
      {"record=80\nkey=1 record=90\n", 2, "record="},
      {"record=80 key=1 variable=y\n", 1, "variable="},
      {"key=1\nposition=1 length=4\n", 2, "record="},
      {"record=80 key=1\nlength=4\n", 2, "length="},
      {"record=80 key=1\nposition=1\n\nposition=5 length=2\n", 2, "length="},
      {"record=80 key=1\nposition=81 length=1\n", 2, "position="},
      {"record=80 key=1\nposition=0 length=1\n", 2, "position="},
      {"record=80 key=1\nposition=70\nlength=20\n", 3, "length="},
      {"record=300 key=1\nposition=1 length=200 segment=y\nposition=201 length=60\n", 3,
       "length="},
      {"record=80 key=1\nposition=1 length=3 type=integer\n", 2, "type="},
      {"record=80 key=1\nposition=1 length=3 type=float\n", 2, "type="},
      {"record=80 key=1\nposition=1 length=3 type=date\n", 2, "type="},
      {"record=80 key=1\nposition=1 length=3 duplicates=maybe\n", 2, "duplicates="},
      {"record=80 key=1\nposition=1 length=3 value=20\n", 2, "value="},
      {"record=80 key=1\nposition=1 length=3 nullkey=y value=zz\n", 2, "value="},
      {"record=80 key=1\nposition=1 length=3 nullkey=y null=y\n", 2, "null="},
      {"record=80 key=1\nposition=1 length=3 alternate=y\n", 2, "alternate="},
      {"record=80 key=1\nposition=1 length=3 length=4\n", 2, "length="},
      {"record=80 key=1\nposition=1 length=3 page=512\n", 2, "page="},
      {"record=80 key=1\nposition=1 length=3 duplicates=y segment=y\n"
       "position=4 length=3\n",
       3, "duplicates="},
      {"record=80 key=1\nposition=1 length=3 segment=y\n"
       "position=4 length=3 modifiable=y\n",
       3, "modifiable="},
      {"record=80 key=1\nposition=1 length=3 segment=y\n", 2, "segment="},
      {"record=80 key=2\nposition=1 length=3\n", 1, "key="},
      {"record=80 key=1\nposition=1 length=3\nposition=4 length=3\n", 3, "position="},
      {"record=80\n", 1, "key="},
      {"", 1, "record="},
  };
  for (const Case& c : cases) {
    Description d;
    DescriptionError e;
    EXPECT_FALSE(ParseDescription(c.text, &d, &e)) << c.text;
    EXPECT_EQ(e.line, c.line) << c.text << "\n" << e.ToString();
    EXPECT_EQ(e.element, c.element) << c.text << "\n" << e.ToString();
    EXPECT_FALSE(e.message.empty());
  }
}

}  // namespace
}  // namespace reclink::cli
