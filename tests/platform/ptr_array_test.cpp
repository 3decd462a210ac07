// CPtrArray: growing, shrinking and slot access.
#include <gtest/gtest.h>

#include "reclink/ptr_array.h"

namespace {

TEST(PtrArray, GrowsWithNullSlotsAndShrinks) {
  int a = 1, b = 2, c = 3;
  CPtrArray array;
  EXPECT_EQ(array.Add(&a), 0);
  array.SetAtGrow(array.GetSize(), &b);
  array.SetAtGrow(4, &c);
  ASSERT_EQ(array.GetSize(), 5);
  EXPECT_EQ(array.GetAt(1), &b);
  EXPECT_EQ(array[2], nullptr);
  EXPECT_EQ(array[3], nullptr);
  EXPECT_EQ(array.GetAt(4), &c);
  EXPECT_EQ(array.GetUpperBound(), 4);

  array[2] = &c;
  array.ElementAt(3) = &a;
  array.SetAt(0, nullptr);
  EXPECT_EQ(array.GetAt(2), &c);
  EXPECT_EQ(array.GetAt(3), &a);
  EXPECT_EQ(array.GetAt(0), nullptr);

  array.SetSize(0, -1);
  EXPECT_EQ(array.GetSize(), 0);
  array.SetSize(3, 16);
  EXPECT_EQ(array.GetSize(), 3);
  EXPECT_EQ(array.GetAt(2), nullptr) << "regrown slots are null, not the old pointers";
  EXPECT_EQ(array.Add(&a), 3);
  array.RemoveAll();
  EXPECT_EQ(array.GetSize(), 0);
}

}  // namespace
