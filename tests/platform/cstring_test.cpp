// CString: formatting, appending, comparison in byte order, slicing.
#include <gtest/gtest.h>

#include <string>

#include "reclink/cstring.h"

namespace {

TEST(CString, BuildsFormatsAndAppends) {
  CString s("PATIENT_DB");
  EXPECT_EQ(s.GetLength(), 10);
  EXPECT_FALSE(s.IsEmpty());
  s += " ";
  s += CString("BO_GETEQ");
  s += '!';
  EXPECT_STREQ(s, "PATIENT_DB BO_GETEQ!");

  CString f;
  f.Format("%s %s Status = %d", "PATIENT_DB", "BO_OPEN", -12);
  EXPECT_EQ(f, "PATIENT_DB BO_OPEN Status = -12");
  std::string big(5000, 'z');
  f.Format("%s|", big.c_str());
  EXPECT_EQ(f.GetLength(), 5001) << "no fixed-size buffer";

  CString bytes("a\0b", 3);
  EXPECT_EQ(bytes.GetLength(), 3);
  EXPECT_EQ(CString(nullptr).GetLength(), 0);
  EXPECT_EQ(std::string(CString("x") + "y" + CString("z")), "xyz");
  EXPECT_EQ(std::string("w" + CString("v")), "wv");
  f.Empty();
  EXPECT_TRUE(f.IsEmpty());
  EXPECT_STREQ(f, "");
}

TEST(CString, ComparesInByteOrderAndSlices) {
  EXPECT_LT(CString("Z").Compare("a"), 0);
  EXPECT_GT(CString("\x82\xA0").Compare("z"), 0) << "double-byte text sorts after ASCII";
  EXPECT_TRUE(CString("\x82\xA0") > CString("z"));
  EXPECT_GT(CString("abc").Compare(nullptr), 0);

  CString path("C:\\DATA\\PATIENT1.BTR");
  int slash = path.ReverseFind('\\');
  EXPECT_EQ(slash, 7);
  EXPECT_EQ(path.Mid(slash + 1), "PATIENT1.BTR");
  EXPECT_EQ(path.Left(2), "C:");
  EXPECT_EQ(path.Left(99), path);
  EXPECT_EQ(path.Mid(99), "");
  EXPECT_EQ(CString("x").ReverseFind('\\'), -1);
}

}  // namespace
