#include "numbered/last_delim.h"

#include "platform/winapi.h"

namespace reclink::numbered {

int AppendLastDelim(char* path) {
  const char* delim = "\\";
  char* last = path;
  // The first character is never examined for '/'.
  for (char* c = CharNextA(path); *c != '\0'; c = CharNextA(c)) {
    if (*c == '/') delim = "/";
    last = c;
  }
  // The last character whole: one byte, or both bytes of a double-byte one.
  char lastChar[3] = {};
  char* end = CharNextA(last);
  for (int i = 0; last + i < end && i < 2; ++i) lastChar[i] = last[i];
  if (lstrcmpA(lastChar, delim) != 0) lstrcatA(path, delim);
  return lstrlenA(path);
}

}  // namespace reclink::numbered
