#pragma once
// The command framework: the table of commands, their usage texts and the
// dispatch from a command line to the function that does the work.

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/args.h"

namespace reclink::cli {

// Exit statuses of every command.
enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// Where a command writes: results to out, messages to err.
struct Io {
  std::ostream& out;  // results
  std::ostream& err;  // messages and progress
  bool terminal;      // err is a terminal: progress may be shown
};

using CommandFn = int (*)(const Args& args, Io& io);

// One command of the utility.
struct Command {
  const char* name;      // as typed: "stat"
  const char* synopsis;  // operands and options: "FILE [--description]"
  const char* summary;   // one line for the command list
  const char* details;   // the rest of its --help text; may be empty
  ArgSpec spec;          // what its command line may hold
  CommandFn run;         // does the work; returns an ExitStatus
};

// Every command, in the order the overview lists them.
const std::vector<Command>& Commands();

// Runs one command line (without the program name): "--help", "--version",
// or a command and its arguments. Returns the exit status.
int RunCommandLine(const std::vector<std::string>& argv, Io& io);

// Writes the usage line and help text of command to out.
void PrintCommandHelp(const Command& command, std::ostream& out);

}  // namespace reclink::cli
