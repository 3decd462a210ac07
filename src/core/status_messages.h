#pragma once
// The status-message table: one Japanese line per record-manager status,
// code page 932 bytes, each beginning with its code and a colon.

#include <span>

#include "reclink/cstring.h"

namespace reclink {

struct StatusMessage {
  int code;          // the status
  const char* text;  // code page 932, zero-terminated, "<code>:..."
};

// Every row, in ascending code order. Static storage.
std::span<const StatusMessage> StatusMessageTable();

// The table's text for status, or nullptr when the table has none.
const char* FindStatusMessage(int status);

// The table's text for status, or "エラーコード:<status>" (code page 932) for
// any other value.
CString FormatStatusMessage(int status);

}  // namespace reclink
