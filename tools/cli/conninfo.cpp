#include "cli/conninfo.h"

#include <cctype>

namespace reclink::cli {
namespace {

bool StartsWithUri(const std::string& s) {
  return s.starts_with("postgresql://") || s.starts_with("postgres://");
}

// The URI form: a password after the user ("user:secret@host"), or the
// parameter password= among those after "?".
bool UriHasPassword(const std::string& uri) {
  const size_t scheme = uri.find("://") + 3;
  const size_t hostEnd = uri.find_first_of("/?", scheme);
  const std::string authority = uri.substr(scheme, hostEnd == std::string::npos ? std::string::npos : hostEnd - scheme);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos && authority.substr(0, at).find(':') != std::string::npos) return true;
  const size_t query = uri.find('?');
  if (query == std::string::npos) return false;
  for (size_t p = query + 1; p < uri.size();) {
    const size_t amp = uri.find('&', p);
    if (uri.compare(p, 9, "password=") == 0) return true;
    if (amp == std::string::npos) break;
    p = amp + 1;
  }
  return false;
}

}  // namespace

bool ConninfoHasPassword(const std::string& conninfo) {
  size_t start = 0;
  while (start < conninfo.size() && std::isspace(static_cast<unsigned char>(conninfo[start]))) ++start;
  if (StartsWithUri(conninfo.substr(start))) return UriHasPassword(conninfo.substr(start));
  // keyword = value pairs; a value may be quoted with ' and hold \' and \\.
  for (size_t p = start; p < conninfo.size();) {
    while (p < conninfo.size() && std::isspace(static_cast<unsigned char>(conninfo[p]))) ++p;
    const size_t keyStart = p;
    while (p < conninfo.size() && conninfo[p] != '=' && !std::isspace(static_cast<unsigned char>(conninfo[p]))) ++p;
    const std::string keyword = conninfo.substr(keyStart, p - keyStart);
    while (p < conninfo.size() && std::isspace(static_cast<unsigned char>(conninfo[p]))) ++p;
    if (p >= conninfo.size() || conninfo[p] != '=') return false;  // not a connection string libpq takes
    ++p;
    while (p < conninfo.size() && std::isspace(static_cast<unsigned char>(conninfo[p]))) ++p;
    if (p < conninfo.size() && conninfo[p] == '\'') {
      for (++p; p < conninfo.size() && conninfo[p] != '\''; ++p) {
        if (conninfo[p] == '\\') ++p;
      }
      ++p;
    } else {
      while (p < conninfo.size() && !std::isspace(static_cast<unsigned char>(conninfo[p]))) {
        if (conninfo[p] == '\\') ++p;
        ++p;
      }
    }
    if (keyword == "password") return true;
  }
  return false;
}

}  // namespace reclink::cli
