#include "recman/storage/pg/check.h"

#include <vector>

#include "recman/storage/pg/schema.h"
#include "recman/format/record_check.h"
#include "recman/format/stored_layout.h"
#include "reclink/btrieve.h"

namespace recman::pg {

int CheckServerFile(Connection& conn, const std::string& database, const std::string& file, BtrCheckSink sink,
                    void* ctx) {
  CheckReport report(sink, ctx);
  Params name;
  name.Bytes(database).Bytes(file);
  Result found = conn.Query(FindFileSql(), name);
  if (NoCatalogueYet(found.sqlstate()) || (found.ok() && found.rows() == 0)) {
    report.Problem("no such file on the server: " + file);
    return -1;
  }
  if (!found.ok()) {
    report.Problem("cannot read the catalogue of record files: " + found.message());
    return -1;
  }
  const int64_t id = found.int8(0, 0);
  FileLayout layout;
  if (!ReadStoredLayout(found.int8(0, 1), kFormatVersion, found.blob(0, 2), &layout)) {
    report.Problem("not a record file of this engine");
    return -1;
  }
  Result rows = conn.Query(CheckRowsSql(Dialect(id), layout), Params());
  if (!rows.ok()) {
    report.Problem("records: " + rows.message());
    return report.count();
  }
  std::vector<StoredKey> keys(layout.keys.size());
  for (int r = 0; r < rows.rows(); ++r) {
    for (size_t k = 0; k < layout.keys.size(); ++k) {
      const int col = 2 + 2 * static_cast<int>(k);
      keys[k].null = rows.null(r, col);
      keys[k].value = keys[k].null ? std::string() : rows.blob(r, col);
      keys[k].hasPlace = !rows.null(r, col + 1);
    }
    CheckStoredRecord(layout, rows.int8(r, 0), rows.bytes(r, 1), rows.length(r, 1), keys.data(), report);
  }
  // The server's unique indexes keep a unique key's values apart.
  return report.count();
}

}  // namespace recman::pg
