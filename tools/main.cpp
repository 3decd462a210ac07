// The reclink command.
#include <cstdio>
#include <cstring>

#include "reclink/version.h"

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--version") == 0)) {
    std::printf("reclink %s\n", reclink::Version());
    return 0;
  }
  std::printf("usage: reclink [--help] [--version] <command> [<args>]\n");
  return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
}
