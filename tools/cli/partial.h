#pragma once
// The utility's temporary outputs. A partial output is named
// BASE.reclink-PID.partial, where PID is the process that writes it; that
// process holds it (held_file.h) from creation to the end, then renames it to
// its final name or removes it. A partial left by a killed run is provably
// stale: its process no longer runs and nobody holds it.

#include <string>
#include <vector>

#include "cli/held_file.h"

namespace reclink::cli {

class PartialOutput {
 public:
  PartialOutput() = default;
  ~PartialOutput();  // removes the partial unless Commit renamed it
  PartialOutput(const PartialOutput&) = delete;
  PartialOutput& operator=(const PartialOutput&) = delete;

  // Creates the empty, held partial file of finalPath (of the file a link
  // there leads to). A device, FIFO, socket or pipe at finalPath is written
  // as it is instead: renaming a file over it would put a regular file in its
  // place. False with the system's reason in *error.
  bool CreateFile(const std::string& finalPath, std::string* error);
  // Creates the held partial directory of base, for scratch files that are
  // never renamed. False with the system's reason in *error.
  bool CreateDirectory(const std::string& base, std::string* error);
  // The partial's own path; empty before a Create succeeded.
  const std::string& path() const { return path_; }

  // Appends bytes to the partial file. False with the system's reason.
  bool Write(const std::string& bytes, std::string* error);
  // Flushes the partial file to the disk and renames it to its final path.
  // False with the system's reason; the partial is then removed.
  bool Commit(std::string* error);

 private:
  std::string path_;       // the partial itself; empty when there is none
  std::string finalPath_;  // what a committed file is renamed to
  HeldFile held_;          // the partial, held while it is written, or the device written
  bool direct_ = false;    // writing to a device, FIFO, socket or pipe itself
};

// Removes every partial in dir that is provably stale. Returns the paths
// removed. Never touches a partial whose process runs or that is held.
std::vector<std::string> RemoveStalePartials(const std::string& dir);

}  // namespace reclink::cli
