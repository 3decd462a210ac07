// The reclink command: administers the record files of the database.
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  reclink::cli::Io io{std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
  int status = reclink::cli::RunCommandLine(args, io);
  std::cout.flush();
  return status;
}
