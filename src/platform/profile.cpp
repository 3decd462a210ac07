// GetPrivateProfileStringA: reads a profile ("ini") file the way Windows does.
//
// The file is read afresh on every call; nothing is cached. Lines are
// "[section]" headers, "entry = value" pairs and ';' comment lines; blank and
// unrecognised lines are passed over. Section and entry names match without
// regard to ASCII case, and blanks around names and values do not count. The
// first matching section is the one read, and in it the first matching entry.
// A ';' after a value is part of the value, as on Windows.
#include "platform/winapi.h"

#ifdef _WIN32
#include "platform/win32.h"
#else
#include <cctype>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>
#endif

#ifndef _WIN32
namespace {

struct Entry {
  std::string name;   // the entry's name, trimmed
  std::string value;  // the text after '=', trimmed; "" for a line without '='
};

struct Section {
  std::string name;            // between the brackets, trimmed
  std::vector<Entry> entries;  // in file order
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x < 0x80) x = static_cast<unsigned char>(std::tolower(x));
    if (y < 0x80) y = static_cast<unsigned char>(std::tolower(y));
    if (x != y) return false;
  }
  return true;
}

// The sections of the file at path, or nothing when it cannot be read.
std::optional<std::vector<Section>> LoadProfile(const char* path) {
  std::ifstream in(reclink::platform::NativePath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream whole;
  whole << in.rdbuf();
  std::string text = whole.str();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);  // UTF-8 mark

  std::vector<Section> sections;
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t eol = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, eol));
    rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.rfind(']');
      if (close == std::string_view::npos) continue;
      sections.push_back(Section{std::string(Trim(line.substr(1, close - 1))), {}});
      continue;
    }
    if (sections.empty()) continue;  // entries before the first section belong to none
    size_t equals = line.find('=');
    Entry entry;
    entry.name = std::string(Trim(line.substr(0, equals)));
    if (equals != std::string_view::npos) entry.value = std::string(Trim(line.substr(equals + 1)));
    sections.back().entries.push_back(std::move(entry));
  }
  return sections;
}

// Copies value to out as Windows does for a single string: at most size - 1
// bytes and a zero. Returns the bytes copied.
DWORD CopyString(std::string_view value, LPSTR out, DWORD size) {
  if (out == nullptr || size == 0) return 0;
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

// Copies names to out as a list: each name followed by a zero, one more zero
// at the end. When it does not fit, the list is cut, ends with two zeros and
// the result is size - 2.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR out, DWORD size) {
  if (out == nullptr || size == 0) return 0;
  std::string list;
  for (std::string_view name : names) {
    list.append(name);
    list.push_back('\0');
  }
  if (list.size() + 1 <= size) {
    std::memcpy(out, list.data(), list.size());
    out[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::memcpy(out, list.data(), size - 2);
  out[size - 2] = '\0';
  out[size - 1] = '\0';
  return size - 2;
}

// A value without one pair of matching surrounding quotes (" or ').
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace
#endif  // !_WIN32

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR entry, LPCSTR def, LPSTR out, DWORD size,
                               LPCSTR fileName) {
#ifdef _WIN32
  return reclink::platform::win32::ProfileString(section, entry, def, out, size, fileName);
#else
  // The default loses its trailing blanks, as on Windows.
  std::string_view fallback(def != nullptr ? def : "");
  while (!fallback.empty() && IsBlank(fallback.back())) fallback.remove_suffix(1);

  std::optional<std::vector<Section>> sections =
      fileName != nullptr ? LoadProfile(fileName) : std::nullopt;
  if (!sections) return CopyString(fallback, out, size);

  if (section == nullptr) {
    std::vector<std::string_view> names;
    for (const Section& s : *sections) names.push_back(s.name);
    return CopyList(names, out, size);
  }
  std::string_view wantedSection = Trim(section);
  const Section* found = nullptr;
  for (const Section& s : *sections) {
    if (SameName(s.name, wantedSection)) {
      found = &s;
      break;
    }
  }
  if (entry == nullptr) {
    std::vector<std::string_view> names;
    if (found != nullptr) {
      for (const Entry& e : found->entries) names.push_back(e.name);
    }
    return CopyList(names, out, size);
  }
  if (found != nullptr) {
    std::string_view wantedEntry = Trim(entry);
    for (const Entry& e : found->entries) {
      if (!wantedEntry.empty() && SameName(e.name, wantedEntry)) {
        return CopyString(Unquote(e.value), out, size);
      }
    }
  }
  return CopyString(fallback, out, size);
#endif
}
