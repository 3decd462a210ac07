#pragma once
// What the utility needs to know of a PostgreSQL connection string before it
// writes one into a directory's server configuration.

#include <string>

namespace reclink::cli {

// True when the connection string conninfo (keyword = value pairs, or a
// postgresql:// or postgres:// URI) holds a password.
bool ConninfoHasPassword(const std::string& conninfo);

}  // namespace reclink::cli
