#pragma once
// The host application's object, as an application built on the framework has
// one: it names the application and its profile file. Built with the host
// framework (RECLINK_USE_HOST_FRAMEWORK), it is the framework's own class and
// AfxGetApp, and the profile is the application's.

#include "reclink/reclink_export.h"

#if RECLINK_HOST_FRAMEWORK
#include <afxwin.h>
#else

#include "reclink/cstring.h"

class RECLINK_EXPORT CWinApp {
 public:
  // Registers this object as the application (AfxGetApp). profilePath names the
  // profile file; nullptr means "<executable's directory>/<executable's stem>.ini".
  // At most one CWinApp exists at a time; the host keeps it alive while the
  // library is used.
  explicit CWinApp(const char* profilePath = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The profile's value of entry in section, read as GetPrivateProfileString
  // reads it; def (nullptr = "") when the file, section or entry is missing.
  CString GetProfileString(const char* section, const char* entry, const char* def = nullptr);

  const char* ProfilePath() const { return profilePath_; }
  // The application's title: shown as the caption of record-object error boxes.
  const char* AppName() const { return appName_; }
  // Sets the title (copied); nullptr restores the default, the executable's stem.
  void SetAppName(const char* title);

 private:
  CString profilePath_;  // the profile file read by GetProfileString
  CString appName_;      // the title; by default the executable's stem
};

// The one constructed CWinApp, or nullptr.
RECLINK_EXPORT CWinApp* AfxGetApp();

#endif  // RECLINK_HOST_FRAMEWORK
