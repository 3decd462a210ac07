#pragma once
// Description files: the text form of a record file's specification that
// create reads and stat --description writes. Elements are name=value pairs
// separated by blanks or line ends; ';' or '#' starts a comment to the end of
// the line. File elements come first (record=, key=, page=, the file flags,
// and each collating sequence as sequence= with its table=); then each key
// segment opens with position= and lists its own elements.

#include <string>

#include "cli/collating_sequence.h"
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

// Parses text into *out; readTable reads the files that table= names.
// Returns false with the first mistake in *error: the description's own (an
// element, its value, its place, the number of keys, a table), else the
// record manager's verdict on the file specification, as Create would give
// it, pinned to the file element or key it concerns.
bool ParseDescription(const std::string& text, const TableReader& readTable, Description* out,
                      DescriptionError* error);

// The description of spec into *text, in the form ParseDescription reads:
// one line for the file, one per collating sequence (its table inline),
// one per segment. False with the reason in *why for what a description
// cannot hold (a sequence name that is no word of it, two sequences of one
// name).
bool FormatDescription(const FileSpec& spec, std::string* text, std::string* why);

}  // namespace reclink::cli
