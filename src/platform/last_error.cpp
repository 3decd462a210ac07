// The system's text for the last error of the calling thread.
#include <cerrno>
#include <system_error>

#include "platform/winapi.h"

#ifdef _WIN32
#include "platform/win32.h"
#endif

CString LastErrorText() {
#ifdef _WIN32
  return CString(reclink::platform::win32::LastErrorMessage().c_str());
#else
  // errno is the thread's last error on Linux.
  int code = errno;
  if (code == 0) return CString();
  return CString(std::generic_category().message(code).c_str());
#endif
}
