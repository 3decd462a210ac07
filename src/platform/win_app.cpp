// CWinApp: the host application's object and its profile.
#include "reclink/win_app.h"

#include <atomic>
#include <vector>

#include "platform/winapi.h"

namespace {

std::atomic<CWinApp*> g_app{nullptr};  // the registered application object

// The buffer that GetProfileString reads into, as the framework sizes it.
constexpr DWORD kProfileValueBytes = 4096;

}  // namespace

CWinApp::CWinApp(const char* profilePath)
    : profilePath_(profilePath != nullptr ? CString(profilePath)
                                          : CString(reclink::platform::DefaultProfilePath().c_str())),
      appName_(reclink::platform::ExecutableStem().c_str()) {
  g_app.store(this);
}

CWinApp::~CWinApp() {
  CWinApp* self = this;
  g_app.compare_exchange_strong(self, nullptr);
}

void CWinApp::SetAppName(const char* title) {
  appName_ = title != nullptr ? CString(title) : CString(reclink::platform::ExecutableStem().c_str());
}

CString CWinApp::GetProfileString(const char* section, const char* entry, const char* def) {
  std::vector<char> value(kProfileValueBytes, '\0');
  DWORD n = GetPrivateProfileStringA(section, entry, def != nullptr ? def : "", value.data(),
                                     kProfileValueBytes, profilePath_);
  return CString(value.data(), static_cast<int>(n));
}

CWinApp* AfxGetApp() { return g_app.load(); }

CString AppTitle() {
  if (CWinApp* app = AfxGetApp()) return CString(app->AppName());
  return CString(reclink::platform::ExecutableStem().c_str());
}
