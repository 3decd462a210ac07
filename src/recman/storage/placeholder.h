// The local stand-in of a record file kept on a server: a small text file
// under the record file's own name in the database directory, so that what
// looks at the directory before the record manager does (a short-path
// conversion, a listing, an administrator) finds the file there. Only the
// record manager reads it; its records are on the server that the
// directory's configuration names.
#pragma once

#include <string>

namespace recman {

// What a placeholder holds: a first line that tells it from a record file,
// and words for a person who opens it.
extern const char* const kPlaceholderText;

// True when the file at path (canonical) is a placeholder.
bool IsPlaceholder(const std::string& path);

// Makes the placeholder of the server-kept file at path (canonical), unless
// something is there already: a placeholder, or an old local copy of the
// file that the directory's configuration now overrides (kept, never
// overwritten). Returns 0 or the status of the failure to write it (46 no
// access, 18 disk full, 2 otherwise).
int MakePlaceholder(const std::string& path);

}  // namespace recman
