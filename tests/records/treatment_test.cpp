// Deleting the treatment items of one surgery.

#include <gtest/gtest.h>

#include "reclink/btrieve.h"
#include "reclink/records/surgery.h"
#include "record_db.h"

namespace reclink::test {
namespace {

TEST_F(RecordDbTest, TreatmentItemsOfOneSurgeryAreDeletedUpToTheFirstFailedDelete) {
  CreateFiles({"SURGERYTREATMENT.BTR"});
  CSurgeryTreatmentDB items(dir().c_str());
  OpenOk(items);
  const char* rows[][4] = {{"P1", "S1", "A", "0001"}, {"P1", "S1", "A", "0002"},
                           {"P1", "S1", "A", "0003"}, {"P1", "S1", "B", "0001"},
                           {"P1", "S2", "A", "0001"}, {"P2", "S1", "A", "0001"},
                           {"P0", "S1", "A", "0009"}};
  for (auto& row : rows) Store(items, {{0, row[0]}, {21, row[1]}, {32, row[2]}, {43, row[3]}});
  EXPECT_EQ(items.DeleteAllItemOf("P1", "S1", "C"), 0);  // no items
  EXPECT_EQ(CountRecords(items), 7);
  {
    ScriptedBtrieve script;
    script.ScriptAfter(B_DELETE, {0, 80});
    EXPECT_EQ(items.DeleteAllItemOf("P1", "S1", "A"), 80);
    EXPECT_EQ(script.CountOf(B_DELETE), 2u);
  }
  EXPECT_EQ(boxes_.count(), 1u);
  EXPECT_EQ(CountRecords(items), 5);  // both deletes reached the file; the third item stays
  EXPECT_EQ(items.GetSurgeryTreamentData("P1", "S1", "A", "0003"), 0);

  EXPECT_EQ(items.DeleteAllItemOf("P1", "S1", "A"), 0);
  EXPECT_EQ(CountRecords(items), 4);
  for (int r = 3; r < 7; ++r)
    EXPECT_EQ(items.GetSurgeryTreamentData(rows[r][0], rows[r][1], rows[r][2], rows[r][3]), 0) << r;
  EXPECT_EQ(boxes_.count(), 1u);
}

}  // namespace
}  // namespace reclink::test
