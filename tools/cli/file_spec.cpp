#include "cli/file_spec.h"

#include <strings.h>

#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

// Key types the record manager stores, with the names the utility uses.
struct KeyTypeRow {
  uint8_t type;      // B_TYPE_*
  const char* name;  // in descriptions and listings
};
constexpr KeyTypeRow kKeyTypes[] = {
    {B_TYPE_STRING, "string"},
    {B_TYPE_INTEGER, "integer"},
    {B_TYPE_FLOAT, "float"},
    {B_TYPE_LSTRING, "lstring"},
    {B_TYPE_ZSTRING, "zstring"},
    {B_TYPE_UNSIGNED_BINARY, "unsigned_binary"},
    {B_TYPE_AUTOINCREMENT, "autoincrement"},
};

}  // namespace

const char* KeyTypeName(uint8_t type) {
  for (const KeyTypeRow& row : kKeyTypes) {
    if (row.type == type) return row.name;
  }
  return nullptr;
}

bool KeyTypeFromName(const std::string& name, uint8_t* type) {
  for (const KeyTypeRow& row : kKeyTypes) {
    if (strcasecmp(row.name, name.c_str()) == 0) {
      *type = row.type;
      return true;
    }
  }
  if (strcasecmp(name.c_str(), "unsigned") == 0) {
    *type = B_TYPE_UNSIGNED_BINARY;
    return true;
  }
  return false;
}

}  // namespace reclink::cli
