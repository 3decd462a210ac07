#pragma once
// Helpers shared by the test suites.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "reclink/hooks.h"
#include "support/temp_dir.h"

namespace reclink::test {

// Captures every message box while alive; restores the previous hook after.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  const std::vector<MessageBoxCall>& calls() const { return calls_; }
  size_t count() const { return calls_.size(); }
  void clear() { calls_.clear(); }

 private:
  std::vector<MessageBoxCall> calls_;
  MessageBoxHook previous_;
};

// One record-manager call as the library made it.
struct BtrieveCallRecord {
  uint16_t op;        // operation code
  int8_t keyNum;      // key number as sent
  uint32_t dataLen;   // the data length on entry (0 without one)
  std::string key;    // the key buffer on entry, up to its first zero
  void* posBlock;     // the position block passed
  char* data;         // the data buffer passed
  uint32_t* length;   // the data length's address
  char* keyBuffer;    // the key buffer passed
  uint8_t keyLen;     // the key length passed
};

// Answers a call in place of the record manager; may write the buffers.
using BtrieveAnswer = std::function<int(const BtrieveCallRecord&)>;

// Replaces the record-manager entry while alive. Every call is recorded; a
// call whose op has a scripted status left returns that status instead of
// reaching the record manager (statuses are consumed in order per op); all
// other calls go to answer when one is given, else to the record manager.
// One instance at a time.
class ScriptedBtrieve {
 public:
  explicit ScriptedBtrieve(BtrieveAnswer answer = nullptr);
  ~ScriptedBtrieve();
  ScriptedBtrieve(const ScriptedBtrieve&) = delete;
  ScriptedBtrieve& operator=(const ScriptedBtrieve&) = delete;

  // The next calls with op return these statuses, one each, without reaching
  // the record manager.
  void Script(uint16_t op, std::vector<int> statuses);
  // As Script, but the call does reach the record manager first and the
  // scripted status replaces what it returned.
  void ScriptAfter(uint16_t op, std::vector<int> statuses);
  const std::vector<BtrieveCallRecord>& calls() const;
  size_t CountOf(uint16_t op) const;
  void ClearCalls();
};

}  // namespace reclink::test
