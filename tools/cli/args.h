#pragma once
// Command-line arguments of one command: positional operands, options that
// take a value (--key N) and flags (--force), checked against what the command
// accepts.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace reclink::cli {

// What a command accepts on its command line.
struct ArgSpec {
  int minOperands = 0;                  // operands required
  int maxOperands = 0;                  // operands allowed
  std::set<std::string> valueOptions;   // "--key" etc.: take the next argument
  std::set<std::string> flagOptions;    // "--force" etc.: stand alone
};

// A command line after parsing.
struct Args {
  std::vector<std::string> operands;            // in the order given
  std::map<std::string, std::string> values;    // option -> its value (last one wins)
  std::set<std::string> flags;                  // flags given
  bool help = false;                            // --help or -h was given

  bool Has(const std::string& option) const {
    return values.count(option) != 0 || flags.count(option) != 0;
  }
  // The value of option, or fallback when it was not given.
  std::string Value(const std::string& option, const std::string& fallback = "") const;
};

// Parses argv (the command's own arguments, without the command name) against
// spec. Accepts "--opt value" and "--opt=value"; "--" ends the options.
// Returns false with a one-line reason in *error on bad usage; --help always
// parses, whatever else is wrong.
bool ParseArgs(const std::vector<std::string>& argv, const ArgSpec& spec, Args* args,
               std::string* error);

// Reads a non-negative decimal integer no greater than max; false otherwise.
bool ParseCount(const std::string& text, long max, long* value);

}  // namespace reclink::cli
