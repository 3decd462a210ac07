// Helpers shared by the commands.
#include <ostream>

#include "commands/commands.h"

namespace reclink::cli {

std::string StatusText(int status) { return "status " + std::to_string(status); }

int Failure(Io& io, const char* command, const std::string& message) {
  io.err << "reclink " << command << ": " << message << "\n";
  return kExitFailure;
}

bool KeyOption(const Args& args, Io& io, const char* command, int fallback, int* key) {
  if (!args.Has("--key")) {
    *key = fallback;
    return true;
  }
  long n = 0;
  if (!ParseCount(args.Value("--key"), 118, &n)) {
    io.err << "reclink " << command << ": --key needs a key number from 0 to 118\n";
    return false;
  }
  *key = static_cast<int>(n);
  return true;
}

}  // namespace reclink::cli
