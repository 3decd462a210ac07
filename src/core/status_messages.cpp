// The status-message table and its lookup. The rows come from
// status_messages.tbl, converted to code page 932 when the library is built.

#include "core/status_messages.h"

#include <algorithm>
#include <cstdio>

#include "reclink/base_rec_link.h"

namespace reclink {
namespace {

#define STATUS_ROW(code, text) {code, text},
#define STATUS_DEFAULT(text)
constexpr StatusMessage kStatusMessages[] = {
#include "status_messages_cp932.inc"
};
#undef STATUS_ROW
#undef STATUS_DEFAULT

#define STATUS_ROW(code, text)
#define STATUS_DEFAULT(text) text
constexpr char kUnknownStatus[] =  // "エラーコード:%d"
#include "status_messages_cp932.inc"
    ;
#undef STATUS_ROW
#undef STATUS_DEFAULT

constexpr int kMessageBuffer = 1001;  // every message fits, zero included

}  // namespace

std::span<const StatusMessage> StatusMessageTable() { return kStatusMessages; }

const char* FindStatusMessage(int status) {
  const auto* row = std::lower_bound(
      std::begin(kStatusMessages), std::end(kStatusMessages), status,
      [](const StatusMessage& message, int code) { return message.code < code; });
  return row != std::end(kStatusMessages) && row->code == status ? row->text : nullptr;
}

CString FormatStatusMessage(int status) {
  char text[kMessageBuffer] = {};
  if (const char* message = FindStatusMessage(status)) {
    std::snprintf(text, sizeof text, "%s", message);
  } else {
    std::snprintf(text, sizeof text, kUnknownStatus, status);
  }
  return CString(text);
}

}  // namespace reclink

CString CBaseRecLink::GetErrorMessage(int status) { return reclink::FormatStatusMessage(status); }
