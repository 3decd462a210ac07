// The error box of a failed record operation and the box for the system's
// last error.

#include "platform/winapi.h"
#include "reclink/base_rec_link.h"

void CBaseRecLink::DB_ErrMessage(char const* label) {
  if (m_recordIdent.IsEmpty() != 0) {
    // Named after the file from now on: later boxes and log lines use it too.
    const int lastDelim = m_filePath.ReverseFind('\\');
    m_recordIdent = lastDelim < 0 ? m_filePath : m_filePath.Mid(lastDelim + 1);
  }
  CString text;
  text.Format("RecLinkDLL ERROR:\n\n%s %s Status = %d\n\n%s", m_recordIdent.GetString(),
              label != nullptr ? label : "", m_status, "");
  AfxMessageBox(text, MB_OK);
}

int CBaseRecLink::Fail(int status, char const* label) {
  m_status = status;
  DB_ErrMessage(label);
  return status;
}

void CBaseRecLink::GetLastErrMessage() {
  // With no text for the error, the box is empty.
  const CString text = LastErrorText();
  AfxMessageBox(text, MB_OK | MB_ICONSTOP);
}
