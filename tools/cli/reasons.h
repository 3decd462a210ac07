#pragma once
// Why something failed, in the words the utility's messages use: the record
// manager's statuses with their meaning, and the system's reasons.

#include <string>

namespace reclink::cli {

// "status 12 (file not found)": a record-manager status as every message
// names it; when the record manager said why the thread's last call failed,
// its words follow ("status 96 (...): the server refused the login ...").
// Call it right after the call that gave status.
std::string StatusText(int status);

// The system's reason for the error number error, lower case, as a message
// shows it after a colon: "no such file or directory".
std::string SystemReason(int error);

// Why the record file at path could not be opened with status: "it is a
// directory", the system's reason when path cannot be reached, else
// StatusText(status).
std::string OpenReason(const std::string& path, int status);

// Why path could not be written or created with status: the system's reason
// when the file (or, when it does not exist, its directory) may not be
// written, such as "read-only file system"; else StatusText(status).
std::string WriteReason(const std::string& path, int status);

}  // namespace reclink::cli
