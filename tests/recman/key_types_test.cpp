// Key types and flags: each orders and matches the way the classic
// interface does, and null keys stay off their path.
#include <gtest/gtest.h>

#include "support/btr_file.h"
#include "support/temp_dir.h"

namespace reclink::test {
namespace {

using Names = std::vector<std::string>;

TEST(KeyTypesTest, OrderOfEachType) {
  TempDir dir;
  const std::string path = dir.file("types.dat");
  // 0 name zstring; 1 unsigned binary 2 at 8; 2 descending zstring 8 at 0
  // (duplicates); 3 lstring 6 at 10; 4 case-insensitive string 4 at 16;
  // 5 integer 2 at 20 + zstring 4 at 22, segmented.
  ASSERT_EQ(CreateFile(path, MakeSpec(32, 6,
                                      {{1, 8, 0},
                                       {9, 2, B_KEY_DUPLICATES, B_TYPE_UNSIGNED_BINARY},
                                       {1, 8, B_KEY_DUPLICATES | B_KEY_DESCENDING},
                                       {11, 6, B_KEY_DUPLICATES, B_TYPE_LSTRING},
                                       {17, 4, B_KEY_CASE_INSENSITIVE, B_TYPE_STRING},
                                       {21, 2, B_KEY_SEGMENTED | B_KEY_DUPLICATES, B_TYPE_INTEGER},
                                       {23, 4, B_KEY_DUPLICATES}})),
            0);
  BtrFile f(32);
  ASSERT_EQ(f.Open(path), 0);
  struct Row {
    const char* name;
    uint16_t ubin;
    std::string lstr;  // with its length byte
    const char* ci;
    int16_t num;
    const char* tail;
  };
  const Row rows[] = {{"pear", 0x0100, std::string("\x02zz", 3), "abcd", -1, "b"},
                      {"apple", 0x00ff, std::string("\x03" "zza", 4), "ABCE", -1, "a"},
                      {"fig", 0x0001, std::string("\x01yq", 3), "abcc", 300, ""},
                      {"kiwi", 0xff00, std::string("\x00", 1), "xyz ", -300, "z"}};
  for (const Row& r : rows) {
    std::string rec = MakeRecord(32, {{0, r.name}, {10, r.lstr}, {16, r.ci}, {22, r.tail}});
    std::memcpy(rec.data() + 8, &r.ubin, 2);
    std::memcpy(rec.data() + 20, &r.num, 2);
    ASSERT_EQ(f.Insert(rec), 0) << r.name;
  }
  EXPECT_EQ(f.Walk(0), (Names{"apple", "fig", "kiwi", "pear"}));
  EXPECT_EQ(f.Walk(1), (Names{"fig", "apple", "pear", "kiwi"}));
  EXPECT_EQ(f.Walk(2), (Names{"pear", "kiwi", "fig", "apple"}));
  // lstring compares its counted bytes only: "" < "y" < "zz" < "zza".
  EXPECT_EQ(f.Walk(3), (Names{"kiwi", "fig", "pear", "apple"}));
  EXPECT_EQ(f.Walk(4), (Names{"fig", "pear", "apple", "kiwi"}));
  EXPECT_EQ(f.Walk(5), (Names{"kiwi", "apple", "pear", "fig"}));

  // Case-insensitive values match either case and collide as duplicates.
  ASSERT_EQ(f.Get(B_GET_EQUAL, 4, "ABCD"), 0);
  EXPECT_EQ(f.Field(0), "pear");
  EXPECT_EQ(f.Key(4), "abcd") << "the key buffer gets the stored bytes";
  EXPECT_EQ(f.Insert(MakeRecord(32, {{0, "other"}, {16, "XYZ "}})), B_DUPLICATE_KEY_VALUE);
  // A segmented key is sought with its segments one after another.
  std::string seek(6, '\0');
  int16_t num = -1;
  std::memcpy(seek.data(), &num, 2);
  std::memcpy(seek.data() + 2, "b", 1);
  ASSERT_EQ(f.Get(B_GET_EQUAL, 5, seek), 0);
  EXPECT_EQ(f.Field(0), "pear");
  ASSERT_EQ(f.Get(B_GET_LESS, 5, seek), 0);
  EXPECT_EQ(f.Field(0), "apple");
}

TEST(KeyTypesTest, NullManualAndAutoIncrementKeys) {
  TempDir dir;
  const std::string path = dir.file("null.dat");
  // 0 name; 1 null key (null byte ' ') over two segments; 2 manual key over
  // two segments; 3 autoincrement int32 at 28.
  ASSERT_EQ(CreateFile(path, MakeSpec(32, 4,
                                      {{1, 8, 0},
                                       {9, 4, B_KEY_NULL | B_KEY_DUPLICATES | B_KEY_SEGMENTED, B_TYPE_STRING, ' '},
                                       {13, 4, B_KEY_NULL | B_KEY_DUPLICATES, B_TYPE_STRING, ' '},
                                       {17, 4, B_KEY_MANUAL | B_KEY_SEGMENTED, B_TYPE_STRING, ' '},
                                       {21, 4, B_KEY_MANUAL, B_TYPE_STRING, ' '},
                                       {29, 4, 0, B_TYPE_AUTOINCREMENT}})),
            0);
  BtrFile f(32);
  ASSERT_EQ(f.Open(path), 0);
  auto rec = [](const char* name, const char* a, const char* b, int32_t n = 0) {
    std::string r = MakeRecord(32, {{0, name}, {8, a}, {12, b}, {16, a}, {20, b}});
    std::memcpy(r.data() + 28, &n, 4);
    return r;
  };
  auto number = [&] {
    int32_t v;
    std::memcpy(&v, f.data.data() + 28, 4);
    return v;
  };
  // Autoincrement fills a zero with the highest value plus one.
  ASSERT_EQ(f.Insert(rec("both", "    ", "    ")), 0);
  EXPECT_EQ(number(), 1);
  ASSERT_EQ(f.Insert(rec("first", "aaaa", "    ", 10)), 0);
  EXPECT_EQ(number(), 10);
  ASSERT_EQ(f.Insert(rec("second", "    ", "bbbb"), 3), 0);
  EXPECT_EQ(number(), 11);
  EXPECT_EQ(f.Key(4), std::string("\x0b\0\0\0", 4)) << "the key buffer gets the filled value";
  ASSERT_EQ(f.Insert(rec("full", "cccc", "dddd")), 0);
  // Manual keys may repeat a null value: they are not indexed.
  ASSERT_EQ(f.Insert(rec("again", "    ", "eeee")), 0);
  EXPECT_EQ(f.Insert(rec("dup", "xxxx", "    ", 10)), B_DUPLICATE_KEY_VALUE);
  EXPECT_EQ(f.Walk(1), (Names{"second", "again", "first", "full"}));
  EXPECT_EQ(f.Walk(2), (Names{"full"}));
  EXPECT_EQ(f.Walk(3), (Names{"both", "first", "second", "full", "again"}));
  EXPECT_EQ(f.Get(B_GET_EQUAL, 1, "        "), B_KEY_VALUE_NOT_FOUND);
  // A record reached on key 0 cannot change its null key: it is not modifiable.
  ASSERT_EQ(f.Get(B_GET_EQUAL, 0, "full"), 0);
  EXPECT_EQ(f.Update(rec("full", "    ", "    ", number())), B_MODIFIABLE_KEYVALUE_ERROR);
}

}  // namespace
}  // namespace reclink::test
