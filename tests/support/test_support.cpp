#include "support/test_support.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "reclink/btrieve.h"

namespace reclink::test {

MessageBoxRecorder::MessageBoxRecorder() {
  previous_ = SetMessageBoxHook([this](const MessageBoxCall& call) { calls_.push_back(call); });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHook(previous_); }

namespace {

struct Script {
  std::deque<int> before;  // returned without calling the record manager
  std::deque<int> after;   // replace the record manager's status
};

struct ScriptState {
  std::map<uint16_t, Script> scripts;
  std::vector<BtrieveCallRecord> calls;
  BtrieveAnswer answer;
  BtrieveEntry previous = nullptr;
};

ScriptState* g_state = nullptr;

// The first status of q, taken from it; nothing when q is empty.
std::optional<int> Take(std::deque<int>& q) {
  if (q.empty()) return std::nullopt;
  const int status = q.front();
  q.pop_front();
  return status;
}

int ScriptedEntry(uint16_t op, void* posBlock, void* data, uint32_t* dataLen, void* key,
                  uint8_t keyLen, int8_t keyNum) {
  BtrieveCallRecord record{op,      keyNum,          dataLen ? *dataLen : 0, {},   posBlock,
                           static_cast<char*>(data), dataLen, static_cast<char*>(key), keyLen};
  if (key != nullptr) {
    const char* k = static_cast<const char*>(key);
    record.key.assign(k, strnlen(k, keyLen));
  }
  g_state->calls.push_back(record);
  Script& script = g_state->scripts[op];
  if (const std::optional<int> status = Take(script.before)) return *status;
  const int status = g_state->answer ? g_state->answer(g_state->calls.back())
                                     : BTRCALL(op, posBlock, data, dataLen, key, keyLen, keyNum);
  return Take(script.after).value_or(status);
}

}  // namespace

ScriptedBtrieve::ScriptedBtrieve(BtrieveAnswer answer) {
  g_state = new ScriptState;
  g_state->answer = std::move(answer);
  g_state->previous = SetBtrieveEntry(&ScriptedEntry);
}

ScriptedBtrieve::~ScriptedBtrieve() {
  SetBtrieveEntry(g_state->previous);
  delete g_state;
  g_state = nullptr;
}

void ScriptedBtrieve::Script(uint16_t op, std::vector<int> statuses) {
  auto& q = g_state->scripts[op].before;
  q.insert(q.end(), statuses.begin(), statuses.end());
}

void ScriptedBtrieve::ScriptAfter(uint16_t op, std::vector<int> statuses) {
  auto& q = g_state->scripts[op].after;
  q.insert(q.end(), statuses.begin(), statuses.end());
}

const std::vector<BtrieveCallRecord>& ScriptedBtrieve::calls() const { return g_state->calls; }

size_t ScriptedBtrieve::CountOf(uint16_t op) const {
  return std::count_if(g_state->calls.begin(), g_state->calls.end(),
                       [op](const BtrieveCallRecord& c) { return c.op == op; });
}

void ScriptedBtrieve::ClearCalls() { g_state->calls.clear(); }

}  // namespace reclink::test
