// The status-message table, walked row by row.

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>

#include "core/status_messages.h"

namespace reclink::test {
namespace {

std::string ToCp932(std::string utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  std::string out(utf8.size() * 2, '\0');
  char *src = utf8.data(), *dst = out.data();
  size_t srcLeft = utf8.size(), dstLeft = out.size();
  EXPECT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1)) << utf8;
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return out;
}

// Printable ASCII, line breaks, half-width katakana, or lead + trail byte.
bool IsCp932(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '\n' || (b >= 0x20 && b < 0x7F) || (b >= 0xA1 && b <= 0xDF)) continue;
    if (!((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) || ++i == text.size()) return false;
    const auto t = static_cast<unsigned char>(text[i]);
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

TEST(StatusMessages, EveryRowIsItsCodeAndACodePage932Line) {
  std::set<int> expected;
  for (auto [first, last] : std::initializer_list<std::pair<int, int>>{
           {1, 69}, {71, 107}, {109, 116}, {130, 130}, {132, 136}, {138, 140}, {143, 143},
           {147, 148}, {151, 151}, {161, 163}, {1001, 1013}, {1015, 1022}, {2000, 2001},
           {2003, 2012}, {2300, 2309}, {2312, 2314}, {2316, 2316}, {2324, 2326}, {2329, 2343},
           {2900, 2913}, {2915, 2922}, {3000, 3006}, {3008, 3023}, {3025, 3030}, {3103, 3108},
           {3110, 3110}, {3112, 3112}, {3114, 3115}, {3119, 3119}, {3125, 3128}, {8001, 8003},
           {8005, 8010}, {8012, 8013}, {8016, 8020}, {8022, 8024}, {8027, 8027}, {8030, 8030},
           {8032, 8032}, {8035, 8035}, {8039, 8040}, {8500, 8500}, {8502, 8518}, {8590, 8594}}) {
    for (int code = first; code <= last; ++code) expected.insert(code);
  }
  ASSERT_EQ(expected.size(), 309u);

  std::set<int> seen;
  int previous = 0;
  for (const StatusMessage& row : StatusMessageTable()) {
    const std::string text = row.text, prefix = std::to_string(row.code) + ":";
    EXPECT_GT(row.code, previous) << "rows out of order";  // the lookup searches it
    previous = row.code;
    seen.insert(row.code);
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << row.code;
    EXPECT_GT(text.size(), prefix.size()) << row.code;
    EXPECT_TRUE(IsCp932(text)) << row.code;
    EXPECT_EQ(std::string(FormatStatusMessage(row.code)), text);
  }
  EXPECT_EQ(seen, expected);
}

TEST(StatusMessages, QuotedMessagesAreExactBytes) {
  const std::pair<int, const char*> quoted[] = {
      {1, "1:オペレーションパラメータが不正です。"},
      {2, "2:I/Oエラーが発生しました。\nファイルが破損している可能性があります。"},
      {3, "3:ファイルがオープンされていません。"},
      {4, "4:指定したキー値が見つかりません。"},
      {5, "5:レコードのキーフィールドに重複キー値があります。\nすでに登録されているものをインサートしようとしました。"},
      {6, "6:キー番号パラメータが不正です。"},
      {8, "8:カレントポジションが不正です。"},
      {9, "9:ファイルの終わりに対して操作が行われました。"},
      {11, "11:指定されたファイル名は不正です。"},
      {12, "12:指定されたファイルがありません。"},
      {18, "18:データベースを保存するドライブが一杯です。"},
      {20, "20:MKDEまたはBtrieveリクエスタが実行されていません。\nネットワークシステムの場合は接続を確認してください。"},
      {22, "22:データバッファパラメータが短すぎます。"},
      {46, "46:要求されたファイルへのアクセスが拒否されました。"},
      {80, "80:レコードレベルの矛盾が生じました。"},
      {84, "84:レコードまたはページがロックされています。"},
      {85, "85:ファイルがロックされています。"},
      {88, "88:不一致モードエラーが発生しました。"},
  };
  for (const auto& [code, utf8] : quoted) {
    ASSERT_NE(FindStatusMessage(code), nullptr) << code;
    EXPECT_EQ(std::string(FindStatusMessage(code)), ToCp932(utf8)) << code;
  }
  // The bytes themselves, independent of any converter.
  EXPECT_EQ(std::string(FindStatusMessage(4)),
            "4:\x8e\x77\x92\xe8\x82\xb5\x82\xbd\x83\x4c\x81\x5b\x92\x6c\x82\xaa\x8c\xa9"
            "\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42");
}

TEST(StatusMessages, OtherValuesGetTheErrorCodeText) {
  const std::string prefix = "\x83\x47\x83\x89\x81\x5b\x83\x52\x81\x5b\x83\x68:";  // エラーコード:
  for (int status : {0, -1, 70, 108, 1014, 2002, 3007, 9000, -2147483647 - 1}) {
    EXPECT_EQ(FindStatusMessage(status), nullptr) << status;
    EXPECT_EQ(std::string(FormatStatusMessage(status)), prefix + std::to_string(status));
  }
}

}  // namespace
}  // namespace reclink::test
