// CTools: where the application's profile file is.
#include "reclink/tools.h"

#include <cstdlib>
#include <mutex>

#include "platform/winapi.h"

namespace {

std::mutex g_mutex;     // guards g_override
CString* g_override =  // the path set with SetIniFileName, "" when none; never
    new CString;       // destroyed, so calls during exit still work

}  // namespace

CString CTools::GetIniFileName() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_override->IsEmpty()) return *g_override;
  }
  const char* fromEnvironment = std::getenv("RECLINK_INI");
  if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') return CString(fromEnvironment);
  return CString(reclink::platform::DefaultProfilePath().c_str());
}

void CTools::SetIniFileName(const char* path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  *g_override = path;
}
