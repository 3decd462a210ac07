// Connection strings as people may see them: without the password.
#pragma once

#include <string>

namespace recman::pg {

// conninfo (key = value pairs or a postgresql:// URI) as it may be shown in
// a message or a log: every setting but the password. A string libpq cannot
// read is shown as "(unreadable connection string)", never as it stands.
std::string ShownConninfo(const std::string& conninfo);

}  // namespace recman::pg
