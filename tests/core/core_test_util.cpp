#include "core/core_test_util.h"

#include "reclink/btrieve.h"

namespace reclink::test {
namespace {
FakeManager* g_fake = nullptr;  // the one FakeManager alive

int FakeEntry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
              uint8_t keyLen, int8_t keyNum) {
  RawCall call{op, posBlock, static_cast<char*>(data), dataLen, static_cast<char*>(key),
               keyLen, keyNum};
  g_fake->calls.push_back(call);
  return g_fake->handler(call);
}
}  // namespace

FakeManager::FakeManager(std::function<int(const RawCall&)> handler)
    : handler(std::move(handler)), previous_(SetBtrieveEntry(&FakeEntry)) {
  g_fake = this;
}

FakeManager::~FakeManager() {
  SetBtrieveEntry(previous_);
  g_fake = nullptr;
}

std::vector<uint16_t> FakeManager::ops() const {
  std::vector<uint16_t> result;
  for (const RawCall& call : calls) result.push_back(call.op);
  return result;
}

int CreateRecordFile(const std::string& path, uint16_t recordLength,
                     const std::vector<std::vector<std::vector<uint16_t>>>& keys) {
  BtrFileSpec file{};
  file.recordLength = recordLength;
  file.pageSize = 4096;
  file.numberOfKeys = static_cast<uint8_t>(keys.size());
  std::string buffer(reinterpret_cast<const char*>(&file), sizeof file);
  for (const auto& key : keys) {
    for (size_t i = 0; i < key.size(); ++i) {
      BtrKeySpec spec{};
      spec.position = static_cast<uint16_t>(key[i][0] + 1);
      spec.length = key[i][1];
      spec.flags = static_cast<uint16_t>(key[i][2] | B_KEY_EXTENDED_TYPE |
                                         (i + 1 < key.size() ? B_KEY_SEGMENTED : 0));
      spec.extendedType = B_TYPE_ZSTRING;
      buffer.append(reinterpret_cast<const char*>(&spec), sizeof spec);
    }
  }
  char block[B_POSITION_BLOCK_SIZE] = {};
  std::string name = path;
  name.resize(255);
  auto length = static_cast<uint32_t>(buffer.size());
  return BTRCALL(B_CREATE, block, buffer.data(), &length, name.data(), 255, 0);
}

std::string BoxText(const std::string& ident, const std::string& label, int status) {
  return "RecLinkDLL ERROR:\n\n" + ident + " " + label + " Status = " + std::to_string(status) +
         "\n\n";
}

}  // namespace reclink::test
