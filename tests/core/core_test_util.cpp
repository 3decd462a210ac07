#include "core/core_test_util.h"

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

std::string BoxText(const std::string& ident, const std::string& label, int status) {
  return "RecLinkDLL ERROR:\n\n" + ident + " " + label + " Status = " + std::to_string(status) +
         "\n\n";
}

}  // namespace reclink::test
