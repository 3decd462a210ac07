#include "recman_fixture.h"

namespace recman_test {

std::vector<uint8_t> MakeSpec(uint16_t recordLength, uint8_t keys, const std::vector<Seg>& segs,
                              uint16_t pageSize, uint16_t fileFlags) {
  BtrFileSpec fs{};
  fs.recordLength = recordLength;
  fs.pageSize = pageSize;
  fs.numberOfKeys = keys;
  fs.fileFlags = fileFlags;
  std::vector<uint8_t> out(sizeof fs + segs.size() * sizeof(BtrKeySpec));
  std::memcpy(out.data(), &fs, sizeof fs);
  for (size_t i = 0; i < segs.size(); ++i) {
    BtrKeySpec ks{};
    ks.position = segs[i].position;
    ks.length = segs[i].length;
    ks.flags = static_cast<uint16_t>(segs[i].flags | B_KEY_EXTENDED_TYPE);
    ks.extendedType = segs[i].type;
    ks.nullValue = segs[i].nullValue;
    std::memcpy(out.data() + sizeof fs + i * sizeof ks, &ks, sizeof ks);
  }
  return out;
}

int CreateFile(const std::string& path, const std::vector<uint8_t>& spec, int8_t mode) {
  char pos[B_POSITION_BLOCK_SIZE] = {};
  std::vector<uint8_t> buf = spec;
  uint32_t len = static_cast<uint32_t>(buf.size());
  char key[256] = {};
  std::strncpy(key, path.c_str(), sizeof key - 1);
  return BTRCALL(B_CREATE, pos, buf.data(), &len, key, 255, mode);
}

int BtrFile::Open(const std::string& path, int8_t mode) {
  std::memset(keyBuf, 0, sizeof keyBuf);
  std::strncpy(keyBuf, path.c_str(), sizeof keyBuf - 1);
  dataLen = 0;
  return BTRCALL(B_OPEN, pos, data.data(), &dataLen, keyBuf, 255, mode);
}

int BtrFile::Close() {
  dataLen = 0;
  return BTRCALL(B_CLOSE, pos, data.data(), &dataLen, keyBuf, keyLen, 0);
}

int BtrFile::Call(uint16_t op, int8_t keyNum) {
  dataLen = recordLength ? recordLength : static_cast<uint32_t>(data.size());
  return BTRCALL(op, pos, data.data(), &dataLen, keyBuf, keyLen, keyNum);
}

int BtrFile::Insert(const std::string& record, int8_t keyNum) {
  std::memcpy(data.data(), record.data(), record.size());
  dataLen = static_cast<uint32_t>(record.size());
  return BTRCALL(B_INSERT, pos, data.data(), &dataLen, keyBuf, keyLen, keyNum);
}

int BtrFile::Update(const std::string& record, int8_t keyNum) {
  std::memcpy(data.data(), record.data(), record.size());
  dataLen = static_cast<uint32_t>(record.size());
  return BTRCALL(B_UPDATE, pos, data.data(), &dataLen, keyBuf, keyLen, keyNum);
}

int BtrFile::Get(uint16_t op, int8_t keyNum, const std::string& key) {
  if (!key.empty()) {
    std::memset(keyBuf, 0, sizeof keyBuf);
    std::memcpy(keyBuf, key.data(), key.size());
  }
  return Call(op, keyNum);
}

uint32_t BtrFile::Position() {
  dataLen = 4;
  uint32_t p = 0;
  int st = BTRCALL(B_GET_POSITION, pos, &p, &dataLen, keyBuf, keyLen, 0);
  EXPECT_EQ(st, 0);
  return p;
}

std::string MakeRecord(size_t n, const std::vector<std::pair<size_t, std::string>>& fields) {
  std::string r(n, '\0');
  for (const auto& [offset, text] : fields) r.replace(offset, text.size(), text);
  return r;
}

}  // namespace recman_test
