#include "core/core_test_util.h"

#include <algorithm>

#include "reclink/btrieve.h"

namespace reclink::test {
namespace {
FakeManager* g_current = nullptr;  // the one FakeManager alive
}  // namespace

FakeManager::FakeManager(Handler handler) : handler_(std::move(handler)) {
  g_current = this;
  previous_ = SetBtrieveEntry(&FakeManager::Entry);
}

FakeManager::~FakeManager() {
  SetBtrieveEntry(previous_);
  g_current = nullptr;
}

std::vector<uint16_t> FakeManager::ops() const {
  std::vector<uint16_t> result;
  for (const RawCall& call : calls_) result.push_back(call.op);
  return result;
}

int FakeManager::Entry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                       uint8_t keyLen, int8_t keyNum) {
  RawCall call{op, posBlock, static_cast<char*>(data), dataLen, static_cast<char*>(key), keyLen,
               keyNum};
  g_current->calls_.push_back(call);
  return g_current->handler_(call);
}

int CreateRecordFile(const std::string& path, uint16_t recordLength,
                     const std::vector<std::vector<SegmentSpec>>& keys) {
  std::vector<unsigned char> buffer(sizeof(BtrFileSpec));
  BtrFileSpec file{};
  file.recordLength = recordLength;
  file.pageSize = 4096;
  file.numberOfKeys = static_cast<uint8_t>(keys.size());
  std::memcpy(buffer.data(), &file, sizeof file);
  for (const auto& key : keys) {
    for (size_t i = 0; i < key.size(); ++i) {
      BtrKeySpec spec{};
      spec.position = static_cast<uint16_t>(key[i].offset + 1);
      spec.length = key[i].length;
      spec.flags = static_cast<uint16_t>(key[i].flags | B_KEY_EXTENDED_TYPE |
                                         (i + 1 < key.size() ? B_KEY_SEGMENTED : 0));
      spec.extendedType = B_TYPE_ZSTRING;
      const auto* bytes = reinterpret_cast<const unsigned char*>(&spec);
      buffer.insert(buffer.end(), bytes, bytes + sizeof spec);
    }
  }
  char block[B_POSITION_BLOCK_SIZE] = {};
  char name[256] = {};
  std::memcpy(name, path.c_str(), std::min<size_t>(path.size(), 255));
  auto length = static_cast<uint32_t>(buffer.size());
  return BTRCALL(B_CREATE, block, buffer.data(), &length, name, 255, 0);
}

std::string BoxText(const std::string& ident, const std::string& label, int status) {
  return "RecLinkDLL ERROR:\n\n" + ident + " " + label + " Status = " + std::to_string(status) +
         "\n\n";
}

}  // namespace reclink::test
