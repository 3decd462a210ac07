#include "recman/server_config.h"

#include <fstream>

#include "recman/os.h"
#include "reclink/btrieve.h"

namespace recman {
namespace {

// Between the database's name and the file's in a server file name: a
// byte that neither can hold.
constexpr char kNameSeparator = '\0';

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

int ReadServerConfig(const std::string& dir, bool* found, ServerChoice* out, std::string* why) {
  const std::string path = os::Join(dir, kServerConfigName);
  *found = false;
  if (!os::Exists(path)) return B_NO_ERROR;
  *found = true;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = path + ": cannot be read";
    return B_COMMUNICATIONS_ERROR;
  }
  // Lines "name = value"; blank lines and lines starting with # or ; are
  // comments.
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#' || text[0] == ';') continue;
    const size_t eq = text.find('=');
    const std::string name = eq == std::string::npos ? text : Trim(text.substr(0, eq));
    const std::string value = eq == std::string::npos ? std::string() : Trim(text.substr(eq + 1));
    std::string* slot = name == "server" ? &out->conninfo : name == "database" ? &out->database : nullptr;
    if (slot == nullptr || eq == std::string::npos || value.find(kNameSeparator) != std::string::npos) {
      *why = path + ":" + std::to_string(number) + ": expected \"server = <connection string>\" or " +
             "\"database = <name>\"";
      return B_COMMUNICATIONS_ERROR;
    }
    *slot = value;
  }
  if (out->conninfo.empty() || out->database.empty()) {
    *why = path + ": names no " + (out->conninfo.empty() ? "server" : "database");
    return B_COMMUNICATIONS_ERROR;
  }
  return B_NO_ERROR;
}

std::string ServerFileName(const std::string& database, const std::string& file) {
  std::string name = database;
  name += kNameSeparator;
  return name + file;
}

void SplitServerFileName(const std::string& name, std::string* database, std::string* file) {
  const size_t at = name.rfind(kNameSeparator);
  *database = at == std::string::npos ? std::string() : name.substr(0, at);
  *file = at == std::string::npos ? name : name.substr(at + 1);
}

}  // namespace recman
