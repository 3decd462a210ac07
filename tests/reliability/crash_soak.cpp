// The long crash run: as many kill cycles as asked, on a directory that is
// kept for inspection when something is found.
//
//   crash_soak WORKER DIR [CYCLES] [SEED] [STORAGE_KILL_PERMILLE]

#include <cstdio>
#include <cstdlib>

#include "crash_harness.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s WORKER DIR [CYCLES] [SEED] [STORAGE_KILL_PERMILLE]\n", argv[0]);
    return 2;
  }
  reclink::crash::CrashRunOptions o;
  o.worker = argv[1];
  o.dir = argv[2];
  if (argc > 3) o.cycles = std::atoi(argv[3]);
  if (argc > 4) o.seed = std::strtoull(argv[4], nullptr, 10);
  if (argc > 5) o.storageKillPermille = static_cast<unsigned>(std::atoi(argv[5]));
  if (o.storageKillPermille != 0) o.maxDelayMs = 400;
  reclink::crash::CrashRunReport r = reclink::crash::RunCrashCycles(o);
  for (const std::string& p : r.problems) std::printf("PROBLEM %s\n", p.c_str());
  std::printf("%s\n", reclink::crash::Summarize(r).c_str());
  return r.problems.empty() ? 0 : 1;
}
