#include "recman/storage/server_config.h"

#include <algorithm>
#include <cctype>

#include "recman/os/os.h"
#include "reclink/btrieve.h"

namespace recman {
namespace {

// Between the database's name and the file's in a server file name: a
// byte that neither can hold.
constexpr char kNameSeparator = '\0';

// The largest configuration file read: a few lines are expected.
constexpr size_t kConfigMaxBytes = 64 * 1024;

// The longest answer wait a configuration may set, in seconds (a day).
constexpr uint32_t kAnswerSecondsMax = 86400;

// One setting of the configuration file.
struct Setting {
  const char* name;  // as written, in any case
  // Stores value into out; false when the value is not one it takes (*why
  // says what it takes).
  bool (*store)(const std::string& value, ServerChoice* out, std::string* why);
};

bool StoreServer(const std::string& value, ServerChoice* out, std::string*) {
  out->conninfo = value;
  return true;
}

bool StoreDatabase(const std::string& value, ServerChoice* out, std::string* why) {
  if (value.find(kNameSeparator) != std::string::npos) {
    *why = "a database name cannot hold a zero byte";
    return false;
  }
  out->database = value;
  return true;
}

bool StoreTimeout(const std::string& value, ServerChoice* out, std::string* why) {
  uint32_t seconds = 0;
  bool digits = !value.empty() && value.size() <= 5;
  for (char c : value) {
    digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (digits) seconds = seconds * 10 + static_cast<uint32_t>(c - '0');
  }
  if (!digits || seconds == 0 || seconds > kAnswerSecondsMax) {
    *why = "the timeout is a number of seconds from 1 to " + std::to_string(kAnswerSecondsMax);
    return false;
  }
  out->answerSeconds = seconds;
  return true;
}

bool StoreReadAhead(const std::string& value, ServerChoice* out, std::string* why) {
  std::string word = value;
  std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
  if (word != "on" && word != "off") {
    *why = "read-ahead is \"on\" or \"off\"";
    return false;
  }
  out->readAhead = word == "on";
  return true;
}

// Every setting there is; "server" and "database" must be given.
constexpr Setting kSettings[] = {
    {RECMAN_SETTING_SERVER, StoreServer},          // libpq connection string
    {RECMAN_SETTING_DATABASE, StoreDatabase},      // the name the directory's files are kept under
    {RECMAN_SETTING_TIMEOUT, StoreTimeout},        // seconds a call waits for an answer, beyond lock waits
    {RECMAN_SETTING_READ_AHEAD, StoreReadAhead},  // on/off: walks fetch rows ahead between calls
};
constexpr size_t kSettingCount = sizeof kSettings / sizeof *kSettings;

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string Names() {
  std::string names;
  for (size_t i = 0; i < kSettingCount; ++i) names += (i ? ", " : "") + std::string(kSettings[i].name);
  return names;
}

}  // namespace

int ParseServerConfig(const std::string& text, const std::string& path, ServerChoice* out, std::string* why) {
  // A byte order mark, as Windows editors write one, is no part of the text.
  const size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  int firstLine[kSettingCount] = {};  // where each setting was given (0: not yet)
  int number = 0;
  for (size_t at = start; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string line = Trim(text.substr(at, end - at));
    at = end + 1;
    ++number;
    // Comments are whole lines that start with # or ;.
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      *why = where + "expected \"name = value\" (the settings are " + Names() + ")";
      return B_COMMUNICATIONS_ERROR;
    }
    const std::string name = Lower(Trim(line.substr(0, eq)));
    const std::string value = Trim(line.substr(eq + 1));
    const auto known = std::find_if(std::begin(kSettings), std::end(kSettings),
                                    [&](const Setting& s) { return name == s.name; });
    if (known == std::end(kSettings)) {
      *why = where + "unknown setting \"" + Trim(line.substr(0, eq)) + "\" (the settings are " + Names() + ")";
      return B_COMMUNICATIONS_ERROR;
    }
    const size_t index = static_cast<size_t>(known - std::begin(kSettings));
    if (firstLine[index] != 0) {
      *why = where + "\"" + known->name + "\" is set a second time (first on line " +
             std::to_string(firstLine[index]) + ")";
      return B_COMMUNICATIONS_ERROR;
    }
    firstLine[index] = number;
    // A # or ; after blanks would be a comment in many formats; here it is
    // refused, so that it is never taken into a value unnoticed.
    for (const char* mark : {" #", "\t#", " ;", "\t;"}) {
      if (value.find(mark) != std::string::npos) {
        *why = where + "a comment must stand on a line of its own, starting with # or ;";
        return B_COMMUNICATIONS_ERROR;
      }
    }
    std::string wrong;
    if (value.empty() || !known->store(value, out, &wrong)) {
      *why = where + (value.empty() ? "\"" + std::string(known->name) + "\" has no value" : wrong);
      return B_COMMUNICATIONS_ERROR;
    }
  }
  if (out->conninfo.empty() || out->database.empty()) {
    *why = path + ": names no " + (out->conninfo.empty() ? "server (\"" RECMAN_SETTING_SERVER " = <connection string>\")"
                                                          : "database (\"" RECMAN_SETTING_DATABASE " = <name>\")");
    return B_COMMUNICATIONS_ERROR;
  }
  return B_NO_ERROR;
}

int ReadServerConfig(const std::string& dir, bool* found, ServerChoice* out, std::string* why) {
  const std::string path = os::Join(dir, kServerConfigName);
  *found = false;
  if (!os::Exists(path)) return B_NO_ERROR;
  *found = true;
  std::string text;
  if (os::ReadStart(path, kConfigMaxBytes + 1, &text) != os::Fail::kNone) {
    *why = os::CallerName(path) + ": cannot be read: " + os::LastErrorText();
    return B_COMMUNICATIONS_ERROR;
  }
  if (text.size() > kConfigMaxBytes) {
    *why = os::CallerName(path) + ": larger than a configuration file can be (" +
           std::to_string(kConfigMaxBytes / 1024) + " KiB)";
    return B_COMMUNICATIONS_ERROR;
  }
  return ParseServerConfig(text, os::CallerName(path), out, why);
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
