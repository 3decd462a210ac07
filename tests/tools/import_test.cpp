// import: a database rebuilt from a folder of saved files, whole or not at all.
#include <gtest/gtest.h>

#include <filesystem>

#include "command_test_support.h"
#include "reclink/records/catalogue.h"

namespace fs = std::filesystem;

namespace reclink::cli::test {

namespace {

constexpr char kExtraDescription[] =
    "record=16 key=1\nposition=1 length=8 type=zstring\n";

TEST(ImportCommand, RebuildsASavedDatabaseAndRefusesWhatItCannotPlace) {
  TempDir tmp;
  const std::string db = tmp.file("old");
  const std::string folder = tmp.file("saved");
  SaveDemoDatabase(db, folder);
  // A file of the clinic's own, which the catalogue does not know.
  Spit(tmp.file("extra.des"), kExtraDescription);
  ASSERT_EQ(Reclink({"create", db + "/EXTRA.BTR", tmp.file("extra.des")}).status, 0);
  InsertAll(db + "/EXTRA.BTR", {std::string("b\0......b\0.....", 16), std::string("a\0......a\0.....", 16)});
  ASSERT_EQ(Reclink({"save", db + "/EXTRA.BTR", folder + "/Extra.seq"}).status, 0);

  // Nothing refused may leave a database behind.
  const std::string other = tmp.file("other");
  fs::create_directories(other);
  Spit(other + "/PATIENT1.SEQ", "");
  Spit(other + "/patient1.txt", "");
  Spit(other + "/PHOTO.des", kExtraDescription);
  ExpectEach(1, {
      {{"import", folder, tmp.file("new")}, "Extra.seq: the database has no record file EXTRA.BTR, and no "
                                            "description Extra.des beside it"},
      {{"import", other, tmp.file("new")}, "would be loaded into PATIENT1.BTR; keep one of them"},
      {{"import", other, tmp.file("new")}, "PHOTO.des describes PHOTO.BTR, which the database itself defines"},
      {{"import", tmp.file("saved/PHOTO.SEQ"), tmp.file("new")}, "is not a folder of saved files"},
  });
  EXPECT_FALSE(fs::exists(tmp.file("new")));

  // With a description beside it, the file is made as described. An empty
  // directory gives way to the database.
  fs::copy_file(tmp.file("extra.des"), folder + "/extra.DES");
  fs::create_directory(tmp.file("new"));
  Outcome o = Reclink({"import", folder, tmp.file("new")});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_THAT(o.err, HasSubstr("45 of 45: loading"));
  EXPECT_THAT(o.out, testing::ContainsRegex("\nEXTRA.BTR +2  Extra.seq\n"));
  EXPECT_THAT(o.out, HasSubstr(" records into 45 record files in " + tmp.file("new") + "\n"));
  for (const RecordFileRow& row : kRecordFiles) {
    EXPECT_EQ(ReadAll(tmp.file("new/") + row.fileName), ReadAll(db + "/" + row.fileName)) << row.fileName;
  }
  EXPECT_EQ(ReadAll(tmp.file("new/EXTRA.BTR")), ReadAll(db + "/EXTRA.BTR"));
  EXPECT_TRUE(LeftNoPartial(tmp.path()));

  o = Reclink({"import", folder, tmp.file("new")});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("exists and is not an empty directory"));

  // A damaged saved file, its last record cut short, leaves no database.
  const std::string photos = Slurp(folder + "/PHOTO.SEQ");
  Spit(folder + "/PHOTO.SEQ", photos.substr(0, photos.size() - 20));
  o = Reclink({"import", folder, tmp.file("newer")});
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("PHOTO.SEQ: record "));
  EXPECT_THAT(o.err, HasSubstr("nothing was imported; " + tmp.file("newer") + " was not made\n"));
  EXPECT_THAT(o.err, Not(HasSubstr(".partial")));  // messages name the database, not where it was built
  EXPECT_FALSE(fs::exists(tmp.file("newer")));
  EXPECT_TRUE(LeftNoPartial(tmp.path()));
}


}  // namespace
}  // namespace reclink::cli::test
