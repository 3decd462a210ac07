#include "cli/collating_sequence.h"

#include <cctype>
#include <cstring>
#include <strings.h>

#include "reclink/btrieve.h"

namespace reclink::cli {

namespace {

constexpr size_t kTableSize = sizeof(BtrAltCollation::table);
constexpr size_t kNameSize = sizeof(BtrAltCollation::name);

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool FromHex(const std::string& value, std::string* table) {
  if (value.size() != 2 * kTableSize) return false;
  std::string out(kTableSize, '\0');
  for (size_t i = 0; i < kTableSize; ++i) {
    const int hi = HexDigit(value[2 * i]), lo = HexDigit(value[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<char>(hi * 16 + lo);
  }
  *table = out;
  return true;
}

}  // namespace

bool TableFromValue(const std::string& value, const TableReader& readTable, std::string* table,
                    std::string* why) {
  if (FromHex(value, table)) return true;
  std::string bytes;
  if (!readTable(value, &bytes, why)) return false;
  if (bytes.size() == kTableSize) {
    *table = bytes;
    return true;
  }
  if (bytes.size() == sizeof(BtrAltCollation) && static_cast<uint8_t>(bytes[0]) == B_ACS_SIGNATURE) {
    *table = bytes.substr(1 + kNameSize);
    return true;
  }
  *why = value + " holds " + std::to_string(bytes.size()) + " bytes; a table has " +
         std::to_string(kTableSize) + " (or " + std::to_string(sizeof(BtrAltCollation)) +
         " for a whole definition beginning with 0xac), or is written as " +
         std::to_string(2 * kTableSize) + " hexadecimal digits";
  return false;
}

bool WritableName(const std::string& name) {
  if (name.empty() || name.size() > kNameSize) return false;
  if (strcasecmp(name.c_str(), "n") == 0 || strcasecmp(name.c_str(), "no") == 0) return false;
  for (unsigned char c : name) {
    if (c <= ' ' || c >= 0x7f || c == ';' || c == '#' || c == '=') return false;
  }
  return true;
}

std::string Definition(const CollatingSequence& sequence) {
  BtrAltCollation def{};
  def.signature = B_ACS_SIGNATURE;
  std::memset(def.name, ' ', kNameSize);
  std::memcpy(def.name, sequence.name.data(), std::min(sequence.name.size(), kNameSize));
  std::memcpy(def.table, sequence.table.data(), std::min(sequence.table.size(), kTableSize));
  return std::string(reinterpret_cast<const char*>(&def), sizeof def);
}

bool ReadDefinitions(const std::string& bytes, std::vector<CollatingSequence>* sequences) {
  sequences->clear();
  if (bytes.size() % sizeof(BtrAltCollation) != 0) return false;
  for (size_t at = 0; at < bytes.size(); at += sizeof(BtrAltCollation)) {
    CollatingSequence s;
    s.name = bytes.substr(at + 1, kNameSize);
    s.name.erase(s.name.find_last_not_of(' ') + 1);
    s.table = bytes.substr(at + 1 + kNameSize, kTableSize);
    sequences->push_back(std::move(s));
  }
  return true;
}

std::string TableHex(const std::string& table) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : table) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

}  // namespace reclink::cli
