#include "cli/btr_file.h"

#include <algorithm>
#include <cstring>

#include "reclink/btrieve.h"
#include "reclink/recman_check.h"

namespace reclink::cli {

namespace {

// The first data buffer: every fixed-length record fits; a longer
// variable-length record grows it to the longest the record manager stores.
constexpr size_t kFirstBuffer = 65535;

// Every segment a file can have, and a collating sequence (265 bytes) for each.
constexpr size_t kStatBufferSize = 16 + 16 * 256 + 265 * 256;

// A key buffer of 255 bytes holding path, zero-terminated when it is shorter.
// A longer path would be cut short by the record manager: Open and CreateFile
// never pass one.
std::vector<char> PathKey(const std::string& path) {
  std::vector<char> key(B_MAX_KEY_LENGTH + 1, '\0');
  std::memcpy(key.data(), path.data(), std::min<size_t>(path.size(), B_MAX_KEY_LENGTH));
  return key;
}

int ClientCall(uint16_t op) {
  char block[128] = {};
  char key[255] = {};
  uint32_t len = 0;
  return BTRCALL(op, block, nullptr, &len, key, sizeof key, 0);
}

}  // namespace

bool PathFits(const std::string& path) { return path.size() <= B_MAX_KEY_LENGTH; }

BtrFile::BtrFile() : data_(kFirstBuffer) {
  std::memset(block_, 0, sizeof block_);
  std::memset(key_, 0, sizeof key_);
}

BtrFile::~BtrFile() { Close(); }

int BtrFile::Open(const std::string& path, int mode) {
  Close();
  if (!PathFits(path)) return B_FILENAME_BAD;
  std::vector<char> key = PathKey(path);
  uint32_t len = 0;
  int status = BTRCALL(B_OPEN, block_, nullptr, &len, key.data(), 255, static_cast<int8_t>(mode));
  open_ = status == B_NO_ERROR;
  return status;
}

int BtrFile::Close() {
  if (!open_) return B_NO_ERROR;
  uint32_t len = 0;
  int status = BTRCALL(B_CLOSE, block_, nullptr, &len, key_, sizeof key_, 0);
  open_ = false;
  return status;
}

int BtrFile::Stat(FileSpec* spec) {
  std::vector<char> buffer(kStatBufferSize, '\0');
  uint32_t len = static_cast<uint32_t>(buffer.size());
  int status = BTRCALL(B_STAT, block_, buffer.data(), &len, key_, sizeof key_, -1);
  return status != B_NO_ERROR ? status : recman::DecodeFileSpec(buffer.data(), len, spec);
}

int StatFile(const std::string& path, FileSpec* spec) {
  if (!PathFits(path)) return B_FILENAME_BAD;
  std::vector<char> buffer(kStatBufferSize, '\0');
  uint32_t len = static_cast<uint32_t>(buffer.size());
  int status = BtrStatFile(path.c_str(), buffer.data(), &len);
  return status != B_NO_ERROR ? status : recman::DecodeFileSpec(buffer.data(), len, spec);
}

int BtrFile::Call(uint16_t op, std::string* record, int8_t keyNum) {
  uint32_t len = static_cast<uint32_t>(data_.size());
  int status = BTRCALL(op, block_, data_.data(), &len, key_, sizeof key_, keyNum);
  // 22: a variable-length record longer than the buffer, which the read made
  // current all the same.
  if (status == B_DATALENGTH_ERROR && data_.size() < B_MAX_VARIABLE_RECORD) {
    const bool physical = op == B_STEP_FIRST || op == B_STEP_NEXT;
    status = ReadWhole(physical ? int8_t{-1} : keyNum, &len);
  }
  if (status == B_NO_ERROR) record->assign(data_.data(), std::min<size_t>(len, data_.size()));
  return status;
}

int BtrFile::ReadWhole(int8_t path, uint32_t* len) {
  char position[4];
  uint32_t n = sizeof position;
  int status = BTRCALL(B_GET_POSITION, block_, position, &n, key_, sizeof key_, 0);
  if (status != B_NO_ERROR) return status;
  data_.resize(B_MAX_VARIABLE_RECORD);
  std::memcpy(data_.data(), position, sizeof position);
  *len = static_cast<uint32_t>(data_.size());
  return BTRCALL(B_GET_DIRECT, block_, data_.data(), len, key_, sizeof key_, path);
}

int BtrFile::First(int key, std::string* record) {
  if (key < 0) return Call(B_STEP_FIRST, record, 0);
  return Call(B_GET_FIRST, record, static_cast<int8_t>(key));
}

int BtrFile::Next(int key, std::string* record) {
  if (key < 0) return Call(B_STEP_NEXT, record, 0);
  return Call(B_GET_NEXT, record, static_cast<int8_t>(key));
}

int BtrFile::Insert(const std::string& record) {
  std::vector<char> data(record.begin(), record.end());
  uint32_t len = static_cast<uint32_t>(data.size());
  return BTRCALL(B_INSERT, block_, data.data(), &len, key_, sizeof key_, -1);
}

int CreateFile(const std::string& path, const FileSpec& spec, bool overwrite) {
  if (!PathFits(path)) return B_FILENAME_BAD;
  // What Stat alone reports (the counts, the format version) is no part of
  // a new file's specification.
  FileSpec fresh = spec;
  fresh.records = 0;
  fresh.fileVersion = 0;
  for (KeySpec& key : fresh.keys) {
    for (SegmentSpec& segment : key.segments) segment.uniqueValues = 0;
  }
  std::vector<uint8_t> buffer = recman::EncodeFileSpec(fresh);
  std::vector<char> key = PathKey(path);
  uint32_t len = static_cast<uint32_t>(buffer.size());
  char block[128] = {};
  return BTRCALL(B_CREATE, block, buffer.data(), &len, key.data(), 255,
                 static_cast<int8_t>(overwrite ? 0 : -1));
}

int Freeze(const std::string& path) {
  std::vector<char> names = PathKey(path);
  uint32_t len = static_cast<uint32_t>(names.size());
  char block[128] = {};
  return BTRCALL(B_CONTINUOUS, block, names.data(), &len, nullptr, 0, 0);
}

int ThawAll() {
  uint32_t len = 0;
  char block[128] = {};
  return BTRCALL(B_CONTINUOUS, block, nullptr, &len, nullptr, 0, 1);
}

int BeginTransaction() { return ClientCall(B_BEGIN_TRAN); }
int EndTransaction() { return ClientCall(B_END_TRAN); }
int AbortTransaction() { return ClientCall(B_ABORT_TRAN); }

}  // namespace reclink::cli
