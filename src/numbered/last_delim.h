#pragma once
// The trailing delimiter of a directory text, found by walking code page 932
// characters rather than bytes.

namespace reclink::numbered {

// Appends the directory delimiter to path unless its last character already
// is that delimiter. The delimiter is '\' unless a character after the first
// is '/'. path must have room for one more byte. Returns the new length.
int AppendLastDelim(char* path);

}  // namespace reclink::numbered
