// What Stat reports of a file, for Stat and for administrators' tools
// (BtrStatFile), which read it by path without an owner name.
#include "recman/format/stat_image.h"

#include <cstring>

#include "recman/storage/locate.h"
#include "recman/api/path.h"

namespace recman {

int StatImage(Table& table, bool withVersion, std::string* out) {
  const FileLayout& layout = table.layout();
  std::string image = layout.image;
  BtrFileSpec spec;
  std::memcpy(&spec, image.data(), sizeof spec);
  uint64_t records = 0;
  int status = table.CountRecords(&records);
  if (status != B_NO_ERROR) return status;
  spec.numberOfRecords = static_cast<uint32_t>(records);
  spec.fileVersion = withVersion ? table.fileVersion() : 0;
  spec.allocation = 0;  // pages are the storage's; none is reported unused
  std::memcpy(image.data(), &spec, sizeof spec);

  size_t at = sizeof spec;
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    uint64_t unique = 0;
    status = table.CountValues(k, &unique);
    if (status != B_NO_ERROR) return status;
    for (size_t s = 0; s < layout.keys[k].segments.size(); ++s, at += sizeof(BtrKeySpec)) {
      BtrKeySpec ks;
      std::memcpy(&ks, image.data() + at, sizeof ks);
      ks.uniqueValues = static_cast<uint32_t>(unique);
      std::memcpy(image.data() + at, &ks, sizeof ks);
    }
  }
  *out = std::move(image);
  return B_NO_ERROR;
}

}  // namespace recman

extern "C" int BtrStatFile(const char* path, void* data, uint32_t* dataLen) {
  using namespace recman;
  try {
    if (data == nullptr || dataLen == nullptr) return B_DATALENGTH_ERROR;
    const std::string name = NameFromKeyBuffer(path, path ? 4096 : 0);
    if (name.empty()) return B_FILENAME_BAD;
    FileId id;
    int status = Locate(name, false, &id);
    if (status != B_NO_ERROR) return status;
    // A session and a table of its own, as a client's first Open has: the
    // file's owner is not asked, and nothing is written.
    std::shared_ptr<Session> session = id.backend->NewSession();
    std::unique_ptr<Table> table;
    if ((status = id.backend->Open(*session, id.name, &table)) != B_NO_ERROR) return status;
    std::string image;
    {
      std::lock_guard<std::mutex> lock(table->mutex());
      status = StatImage(*table, true, &image);
      table->EndCall();
    }
    if (status != B_NO_ERROR) return status;
    if (*dataLen < image.size()) return B_DATALENGTH_ERROR;
    std::memcpy(data, image.data(), image.size());
    *dataLen = static_cast<uint32_t>(image.size());
    return B_NO_ERROR;
  } catch (...) {
    return B_IO_ERROR;
  }
}
