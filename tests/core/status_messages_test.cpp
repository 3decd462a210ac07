// The status-message table, walked row by row: every text is code page 932
// as this system reads it (iconv on Linux; Windows' own conversion).

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/status_messages.h"
#include "support/system_text.h"

namespace reclink::test {
namespace {

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
  for (const StatusMessage& row : StatusMessageTable()) {
    const std::string text = row.text, prefix = std::to_string(row.code) + ":";
    seen.insert(row.code);
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << row.code;
    EXPECT_TRUE(Cp932ToUtf8(text).has_value()) << row.code;  // as this system reads code page 932
    EXPECT_EQ(std::string(FormatStatusMessage(row.code)), text);
  }
  EXPECT_EQ(seen, expected);
}

TEST(StatusMessages, QuotedMessagesAndTheFallbackAreExactBytes) {
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
    EXPECT_EQ(std::string(FormatStatusMessage(code)), Utf8ToCp932(utf8)) << code;
  }
  const std::string prefix = "\x83\x47\x83\x89\x81\x5b\x83\x52\x81\x5b\x83\x68:";  // エラーコード:
  for (int status : {0, -1, 70, 1014, 3007, 9000, -2147483647 - 1}) {
    EXPECT_EQ(std::string(FormatStatusMessage(status)), prefix + std::to_string(status));
  }
}

}  // namespace
}  // namespace reclink::test
