#pragma once
// The I/O-error log "io_error.txt": one line "%s : %s\r\n" (local date as
// "%Y/%m/%d", record ident) per I/O error. A log of 521000 bytes or more is
// re-created empty before the line is written. Shared by the record objects
// and the numbered interface.

namespace reclink {

constexpr unsigned long kIoErrorLogLimit = 521000;  // bytes; decimal, not 512 KiB

// Appends the line for ident to the log file at logPath (a full path, with
// backslashes as the library writes them). Opens without sharing; when the
// file cannot be opened the line is skipped silently. Never throws.
void AppendIoErrorLine(const char* logPath, const char* ident);

}  // namespace reclink
