#pragma once
// The application's tools library, as far as the record-access library uses it:
// where the application's profile file is.

#include "reclink/cstring.h"
#include "reclink/reclink_export.h"

class RECLINK_EXPORT CTools {
 public:
  // The profile file: the path given to SetIniFileName, else the environment
  // variable RECLINK_INI, else "<executable's directory>/<executable's stem>.ini".
  static CString GetIniFileName();
  // Overrides the profile file for the whole process; nullptr or "" clears the override.
  static void SetIniFileName(const char* path);
};
