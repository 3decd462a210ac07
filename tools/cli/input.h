#pragma once
// The files the utility reads as input (descriptions, sequential files): never
// a directory, and never read into memory past a limit, so that a device such
// as /dev/zero or an endless pipe ends in a message, not in exhausted memory.

#include <cstddef>
#include <fstream>
#include <string>

namespace reclink::cli {

// Opens path for reading into *in. False with a message naming path and the
// reason in *error ("cannot read x: no such file or directory", "x is a
// directory").
bool OpenInput(const std::string& path, std::ifstream* in, std::string* error);

// Reads the whole of path (what names the kind of input: "a description")
// into *text. False with a message in *error, also when the input holds more
// than limit bytes.
bool ReadInput(const std::string& path, const char* what, size_t limit, std::string* text,
               std::string* error);

}  // namespace reclink::cli
