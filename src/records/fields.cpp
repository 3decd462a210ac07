#include "records/fields.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace reclink::records {

void CopyToField(char* field, int width, const char* text) {
  if (width <= 0) return;
  size_t length = text == nullptr ? 0 : strnlen(text, static_cast<size_t>(width - 1));
  if (length > 0) std::memcpy(field, text, length);
  field[length] = '\0';
}

int CompareField(const char* field, int width, const char* text) {
  if (text == nullptr) text = "";
  const auto* a = reinterpret_cast<const unsigned char*>(field);
  const auto* b = reinterpret_cast<const unsigned char*>(text);
  for (int i = 0;; ++i) {
    unsigned char ca = i < width ? a[i] : 0;
    if (ca != b[i]) return ca < b[i] ? -1 : 1;
    if (ca == 0) return 0;
  }
}

long FieldValue(const char* field, int width) {
  char text[64];
  int length = width < static_cast<int>(sizeof text) ? width : static_cast<int>(sizeof text) - 1;
  length = static_cast<int>(strnlen(field, static_cast<size_t>(length)));
  std::memcpy(text, field, static_cast<size_t>(length));
  text[length] = '\0';
  errno = 0;
  return std::strtol(text, nullptr, 10);
}

}  // namespace reclink::records
