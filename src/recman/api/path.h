// File names as callers hand them over, turned into the names of files.
#pragma once

#include <string>

namespace recman {

// The text in the first length bytes of buffer, up to its first zero
// byte; empty when buffer is null.
std::string TextIn(const void* buffer, unsigned length);

// The name in the first keyLen bytes of key, up to its first zero, in the
// system's form (os::NativeName). Empty when key is null or the name is empty.
std::string NameFromKeyBuffer(const void* key, unsigned keyLen);

// The canonical path of an existing file. Returns 0, or the status for why
// the file cannot be named (12 missing, 11 bad name, 46 no access).
int CanonicalExisting(const std::string& name, std::string* out);

// The canonical path of a file that may not exist yet: its directory made
// canonical, its last component kept. Returns 0 or a status as above.
int CanonicalForCreate(const std::string& name, std::string* out);

}  // namespace recman
