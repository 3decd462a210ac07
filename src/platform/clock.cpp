// The local date as the I/O-error log writes it.
#include <ctime>

#include "platform/winapi.h"

CString LocalDateString() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32] = {};
  size_t n = std::strftime(text, sizeof text, "%Y/%m/%d", &local);
  return CString(text, static_cast<int>(n));
}
