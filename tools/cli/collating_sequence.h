#pragma once
// Alternate collating sequences as descriptions name them: a name of up to
// 8 characters and a table of 256 weights, one per byte value. In a Create
// or Stat buffer each is a 265-byte definition (0xAC, the name padded with
// blanks, the table) after the key specifications.

#include <functional>
#include <string>
#include <vector>

namespace reclink::cli {

struct CollatingSequence {
  std::string name;   // without the padding blanks
  std::string table;  // 256 bytes: the weight of every byte value
};

// Reads a table file that a description names: its bytes into *bytes, or
// false with the reason in *why.
using TableReader = std::function<bool(const std::string& name, std::string* bytes, std::string* why)>;

// The table that a description's table= value gives: 512 hexadecimal
// digits, or else the name of a file (read by readTable) that holds the
// 256 weights or a whole 265-byte definition, whose table is taken. False
// with the reason in *why.
bool TableFromValue(const std::string& value, const TableReader& readTable, std::string* table,
                    std::string* why);

// Whether name can stand in a description: 1 to 8 printable characters, no
// blank and none of ; # =, and not a word that means "none" (n, no).
bool WritableName(const std::string& name);

// The 265-byte definition of sequence, as Create takes it.
std::string Definition(const CollatingSequence& sequence);

// The definitions that follow the key specifications of a Stat buffer, each
// with its name and table. False when bytes is not a whole number of them.
bool ReadDefinitions(const std::string& bytes, std::vector<CollatingSequence>* sequences);

// The table as 512 lower-case hexadecimal digits.
std::string TableHex(const std::string& table);

}  // namespace reclink::cli
