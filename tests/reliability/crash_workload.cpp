#include "crash_workload.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "reclink/btrieve.h"

namespace reclink::crash {

std::string FileName(const std::string& dir, int f) {
  return dir + "/crash" + std::to_string(f) + ".dat";
}

std::string LogName(const std::string& dir) { return dir + "/side.log"; }

std::vector<uint8_t> MakeRecord(int file, uint32_t id, uint32_t gen) {
  std::vector<uint8_t> rec(kRecordLength, 0);
  for (int i = 0; i < 4; ++i) rec[i] = static_cast<uint8_t>(id >> (8 * i));
  std::snprintf(reinterpret_cast<char*>(&rec[kTagOffset]), kTagLength, "tag%u", gen % 7);
  for (int i = 0; i < 4; ++i) rec[kGenOffset + i] = static_cast<uint8_t>(gen >> (8 * i));
  // xorshift over (file, id, gen): a torn or mixed record cannot match.
  uint64_t x = (uint64_t(file + 1) << 56) ^ (uint64_t(id) << 32) ^ gen ^ 0x9E3779B97F4A7C15ull;
  for (size_t i = kFillOffset; i < rec.size(); ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    rec[i] = static_cast<uint8_t>(x);
  }
  return rec;
}

int CreateRecordFile(const std::string& dir, int f) {
  struct {
    BtrFileSpec file;
    BtrKeySpec keys[2];
  } spec{};
  spec.file.recordLength = kRecordLength;
  spec.file.pageSize = 4096;
  spec.file.numberOfKeys = 2;
  spec.keys[0].position = 1;
  spec.keys[0].length = 4;
  spec.keys[0].flags = B_KEY_EXTENDED_TYPE;
  spec.keys[0].extendedType = B_TYPE_UNSIGNED_BINARY;
  spec.keys[1].position = kTagOffset + 1;
  spec.keys[1].length = kTagLength;
  spec.keys[1].flags = B_KEY_EXTENDED_TYPE | B_KEY_DUPLICATES | B_KEY_MODIFIABLE;
  spec.keys[1].extendedType = B_TYPE_ZSTRING;
  uint8_t pos[B_POSITION_BLOCK_SIZE] = {};
  uint32_t len = sizeof spec;
  std::string path = FileName(dir, f);
  std::vector<char> key(path.begin(), path.end());
  key.resize(B_MAX_KEY_LENGTH + 1, '\0');
  return BTRCALL(B_CREATE, pos, &spec, &len, key.data(), B_MAX_KEY_LENGTH, 0);
}

std::string FormatEntry(const LogEntry& e) {
  char line[96];
  switch (e.kind) {
    case LogEntry::kInsert:
    case LogEntry::kUpdate:
    case LogEntry::kDelete:
      std::snprintf(line, sizeof line, "%c %" PRIu64 " %d %u %u\n", e.kind, e.seq, e.file, e.id,
                    e.gen);
      break;
    case LogEntry::kResult:
      std::snprintf(line, sizeof line, "R %" PRIu64 " %d\n", e.seq, e.status);
      break;
    default:
      std::snprintf(line, sizeof line, "%c %" PRIu64 "\n", e.kind, e.seq);
      break;
  }
  return line;
}

bool ParseEntry(const std::string& line, LogEntry* out) {
  if (line.size() < 3 || line[1] != ' ') return false;
  LogEntry e{};
  e.kind = static_cast<LogEntry::Kind>(line[0]);
  const char* rest = line.c_str() + 2;
  switch (e.kind) {
    case LogEntry::kInsert:
    case LogEntry::kUpdate:
    case LogEntry::kDelete:
      if (std::sscanf(rest, "%" SCNu64 " %d %u %u", &e.seq, &e.file, &e.id, &e.gen) != 4) {
        return false;
      }
      if (e.file < 0 || e.file >= kFileCount) return false;
      break;
    case LogEntry::kResult:
      if (std::sscanf(rest, "%" SCNu64 " %d", &e.seq, &e.status) != 2) return false;
      break;
    case LogEntry::kStart:
    case LogEntry::kBegin:
    case LogEntry::kEnd:
    case LogEntry::kAbort:
      if (std::sscanf(rest, "%" SCNu64, &e.seq) != 1) return false;
      break;
    default:
      return false;
  }
  *out = e;
  return true;
}

std::vector<LogEntry> ReadLog(const std::string& path, std::string* error, uint64_t offset) {
  std::vector<LogEntry> entries;
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    LogEntry e;
    if (ParseEntry(text.substr(start, nl - start), &e)) {
      entries.push_back(e);
    } else if (error->empty()) {
      *error = "malformed side log line: " + text.substr(start, nl - start);
    }
  }
  return entries;
}

}  // namespace reclink::crash
