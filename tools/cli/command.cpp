#include "cli/command.h"

#include <algorithm>
#include <ostream>

#include "reclink/version.h"

namespace reclink::cli {

namespace {

void PrintOverview(std::ostream& out) {
  out << "usage: reclink <command> [<args>]\n"
         "       reclink --help | --version\n\n"
         "Administers the record files of a clinical imaging database.\n\n"
         "commands:\n";
  size_t width = 0;  // of the longest name, so that every summary stands apart from its name
  for (const Command& c : Commands()) width = std::max(width, std::string(c.name).size());
  for (const Command& c : Commands()) {
    std::string name = c.name;
    name.resize(width + 2, ' ');
    out << "  " << name << c.summary << "\n";
  }
  out << "\n'reclink <command> --help' describes a command.\n"
         "Exit status: 0 success, 1 failure, 2 bad usage.\n";
}

}  // namespace

void PrintCommandHelp(const Command& command, std::ostream& out) {
  out << "usage: reclink " << command.name << " " << command.synopsis << "\n\n"
      << command.summary << "\n";
  if (command.details[0] != '\0') out << "\n" << command.details;
}

int RunCommandLine(const std::vector<std::string>& argv, Io& io) {
  if (argv.empty()) {
    PrintOverview(io.err);
    return kExitUsage;
  }
  const std::string& name = argv[0];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintOverview(io.out);
    return kExitOk;
  }
  if (name == "--version") {
    io.out << "reclink " << reclink::Version() << "\n";
    return kExitOk;
  }
  for (const Command& c : Commands()) {
    if (name != c.name) continue;
    Args args;
    std::string error;
    std::vector<std::string> rest(argv.begin() + 1, argv.end());
    if (!ParseArgs(rest, c.spec, &args, &error)) {
      io.err << "reclink " << c.name << ": " << error << "\n"
             << "usage: reclink " << c.name << " " << c.synopsis << "\n";
      return kExitUsage;
    }
    if (args.help) {
      PrintCommandHelp(c, io.out);
      return kExitOk;
    }
    return c.run(args, io);
  }
  io.err << "reclink: unknown command '" << name << "' (reclink --help lists them)\n";
  return kExitUsage;
}

}  // namespace reclink::cli
