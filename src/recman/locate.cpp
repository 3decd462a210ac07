#include "recman/locate.h"

#include "recman/path.h"
#include "recman/sqlite/backend.h"
#include "reclink/btrieve.h"

namespace recman {

int Locate(const std::string& name, bool forCreate, FileId* out) {
  if (name.empty()) return B_FILENAME_BAD;
  out->backend = &sqlite::SqliteBackend();
  return forCreate ? CanonicalForCreate(name, &out->name) : CanonicalExisting(name, &out->name);
}

std::vector<Backend*> AllBackends() { return {&sqlite::SqliteBackend()}; }

}  // namespace recman
