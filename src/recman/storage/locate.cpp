#include "recman/storage/locate.h"

#include <cstdlib>

#include "recman/os/os.h"
#include "recman/api/path.h"
#include "recman/storage/placeholder.h"
#include "recman/api/reason.h"
#include "recman/storage/sqlite/backend.h"
#include "reclink/btrieve.h"
#ifdef RECMAN_SERVER_BACKEND
#include "recman/storage/pg/backend.h"
#endif

namespace recman {
int ServerOf(const std::string& dir, bool* found, ServerChoice* server, std::string* why) {
  const char* everything = std::getenv(RECMAN_SERVER_VARIABLE);
  if (everything != nullptr && *everything != '\0') {
    *found = true;
    server->conninfo = everything;
    server->database = dir;
    return B_NO_ERROR;
  }
  return ReadServerConfig(dir, found, server, why);
}

int Locate(const std::string& name, bool forCreate, FileId* out, std::string* placeholder) {
  if (placeholder != nullptr) placeholder->clear();
  if (name.empty()) return B_FILENAME_BAD;
  // The directory decides; the file itself need not exist here.
  std::string path;
  if (os::CanonicalPathForCreate(name, &path) == os::Fail::kNone) {
    bool found = false;
    ServerChoice server;
    std::string why;
    const int status = ServerOf(os::DirectoryOf(path), &found, &server, &why);
    if (status != B_NO_ERROR) {
      SetReason(why);
      return status;
    }
    if (found) {
#ifdef RECMAN_SERVER_BACKEND
      // A placeholder is known by its canonical name: a short (8.3) name,
      // as the library passes on Windows, names the same file on the
      // server as its long one.
      std::string existing;
      if (os::IsRegularFile(path) && os::CanonicalPath(path, &existing) == os::Fail::kNone) path = existing;
      // The server's name comes from the database and the file's own name,
      // never from where this workstation mounts the directory.
      out->backend = &pg::ServerBackend(server);
      out->name = ServerFileName(server.database, os::LeafOf(path));
      if (placeholder != nullptr) *placeholder = path;
      return B_NO_ERROR;
#else
      SetReason(os::CallerName(path) + ": the directory sends its files to a server, and this record manager " +
                "was built without the server backend");
      return B_COMMUNICATIONS_ERROR;
#endif
    }
    // Records that are on a server the directory no longer names: neither
    // read as a record file nor replaced by a new one.
    if (IsPlaceholder(path)) {
      SetReason(os::CallerName(path) + " stands for a record file kept on a server, but " +
                os::CallerName(os::Join(os::DirectoryOf(path), kServerConfigName)) +
                ", which names that server, is missing");
      return B_COMMUNICATIONS_ERROR;
    }
  }
  out->backend = &sqlite::SqliteBackend();
  const int status = forCreate ? CanonicalForCreate(name, &out->name) : CanonicalExisting(name, &out->name);
  // SQLite's write-ahead log needs memory that every process using the file
  // shares: processes on other machines that reach the file through a
  // network file system do not share it, and the file gets damaged. Both
  // names are asked: a share's name may resolve to a local-looking path
  // (Wine), a local name may lead through a link into a share.
  if (status != B_NO_ERROR) return status;
  if (!os::OnNetworkFileSystem(name) && !os::OnNetworkFileSystem(out->name)) return B_NO_ERROR;
  SetReason(os::CallerName(os::DirectoryOf(out->name)) +
            " is on a network file system, where record files kept locally get damaged when several "
            "machines use them: keep the directory on a local disk, or its files on a server (see docs/server.md)");
  return B_LOCAL_ACCESS_NOT_ALLOWED;
}

std::vector<Backend*> AllBackends() {
  std::vector<Backend*> out{&sqlite::SqliteBackend()};
#ifdef RECMAN_SERVER_BACKEND
  for (Backend* server : pg::ServerBackends()) out.push_back(server);
#endif
  return out;
}

}  // namespace recman
