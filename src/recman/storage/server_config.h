// Which server, if any, keeps a directory's record files: the directory's
// server configuration file, or RECMAN_SERVER for the whole process.
#pragma once

#include <cstdint>
#include <string>

#include "reclink/recman_check.h"

namespace recman {

// The file in a database directory that sends its record files to a server.
inline constexpr const char* kServerConfigName = RECMAN_SERVER_CONFIG_NAME;

// How long a call waits for the server's answer, beyond any lock wait,
// unless the configuration says otherwise (its setting "timeout").
inline constexpr uint32_t kDefaultAnswerSeconds = 30;

// A server and the database on it that holds a directory's files.
struct ServerChoice {
  std::string conninfo;  // libpq connection string (may hold a password: never shown)
  std::string database;  // the database's name on the server: every workstation's files meet under it
  uint32_t answerSeconds = kDefaultAnswerSeconds;  // the longest wait for an answer beyond lock waits
  bool readAhead = true;  // walks fetch rows ahead between calls, kept true by the server's notices
};

// Reads the server configuration of directory dir (canonical). Returns 0
// with *found false when dir has none, 0 with *found true and out filled,
// or 96 when the file is there but unusable (*why says what is wrong, with
// the file's path and the line).
int ReadServerConfig(const std::string& dir, bool* found, ServerChoice* out, std::string* why);

// Parses text, the configuration file at path (path only names it in
// *why). Returns 0 with out filled, or 96 with *why saying what is wrong.
int ParseServerConfig(const std::string& text, const std::string& path, ServerChoice* out, std::string* why);

// The server's name of a record file: the database it belongs to and the
// file's own name. Split gives the two back.
std::string ServerFileName(const std::string& database, const std::string& file);
void SplitServerFileName(const std::string& name, std::string* database, std::string* file);

}  // namespace recman
