#include "recman/pg/conninfo.h"

#include <libpq-fe.h>

#include <cstring>

namespace recman::pg {

std::string ShownConninfo(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  PQfreemem(error);
  if (options == nullptr) return "(unreadable connection string)";
  std::string shown;
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (o->val == nullptr || std::strcmp(o->keyword, "password") == 0) continue;
    if (!shown.empty()) shown += ' ';
    shown += std::string(o->keyword) + "=";
    // Quoted as libpq reads it back: single quotes, with \ and ' escaped.
    std::string value;
    for (const char* c = o->val; *c; ++c) {
      if (*c == '\\' || *c == '\'') value += '\\';
      value += *c;
    }
    shown += value.empty() || value.find_first_of(" \t\\'") != std::string::npos ? "'" + value + "'" : value;
  }
  PQconninfoFree(options);
  return shown;
}

}  // namespace recman::pg
