#pragma once
// Description files: the text form of a record file's specification that
// create reads and stat --description writes. Elements are name=value pairs
// separated by blanks or line ends; ';' or '#' starts a comment to the end of
// the line. File elements come first (record=, key=, page=, ...); then each
// key segment opens with position= and lists its own elements.

#include <string>

#include "cli/file_spec.h"

namespace reclink::cli {

// What is wrong with a description, and where.
struct DescriptionError {
  int line = 0;          // 1-based line of the element at fault
  std::string element;   // the element at fault, as "length="
  std::string message;   // what is wrong with it

  // "line 7: length=: the key is longer than 255 bytes"
  std::string ToString() const;
};

// The result of reading a description.
struct Description {
  FileSpec spec;         // the file to create
  bool replace = false;  // replace=y: an existing file may be overwritten
};

// Parses text into *out. Returns false with the first mistake in *error:
// the description's own (an element, its value, its place, the number of
// keys), else the record manager's verdict on the file specification, as
// Create would give it, pinned to the file element or key it concerns.
bool ParseDescription(const std::string& text, Description* out, DescriptionError* error);

// The description of spec, one line for the file and one per segment, in the
// form ParseDescription reads.
std::string FormatDescription(const FileSpec& spec);

}  // namespace reclink::cli
