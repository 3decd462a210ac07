// The record manager through BTRCALL, as a program written against the
// classic interface calls it.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "reclink/btrieve.h"
#include "side.h"

namespace bench {
namespace {

// One position block and its buffers.
struct Block {
  char pos[B_POSITION_BLOCK_SIZE] = {};
  char key[B_MAX_KEY_LENGTH + 1] = {};
  uint32_t len = 0;

  int Call(uint16_t op, void* data, uint32_t n, int8_t keyNum) {
    len = n;
    return BTRCALL(op, pos, data, &len, key, B_MAX_KEY_LENGTH, keyNum);
  }
  void Must(uint16_t op, void* data, uint32_t n, int8_t keyNum, const char* what) {
    if (const int st = Call(op, data, n, keyNum)) Fail(std::string(what) + ": status " + std::to_string(st));
  }
  void Name(const std::string& path) { std::snprintf(key, sizeof key, "%s", path.c_str()); }
};

void CreateFile(const Workload& w, const std::string& path) {
  Block b;
  b.Name(path);
  std::vector<uint8_t> spec = CreateSpec(w.recordLength);
  b.Must(B_CREATE, spec.data(), static_cast<uint32_t>(spec.size()), 0, "Create");
}

void Fill(const Workload& w, const std::string& path, const std::vector<uint32_t>& numbers, uint32_t batch,
          int8_t mode) {
  Block b;
  b.Name(path);
  b.Must(B_OPEN, nullptr, 0, mode, "Open");
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (batch > 1 && i % batch == 0) BTRCALL(B_BEGIN_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0);
    std::vector<char> r = Record(w, numbers[i]);
    b.Must(B_INSERT, r.data(), w.recordLength, 0, "Insert");
    if (batch > 1 && (i % batch == batch - 1 || i + 1 == numbers.size())) {
      if (BTRCALL(B_END_TRAN, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) Fail("End");
    }
  }
  b.Must(B_CLOSE, nullptr, 0, 0, "Close");
}

class EngineSide final : public Side {
 public:
  std::string name() const override { return "engine"; }

  void Open(const Workload& w, const std::string& dir) override {
    length_ = w.recordLength;
    const std::string path = dir + "/engine.btr";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
      CreateFile(w, path);
      // Built in one accelerated transaction: building is not measured.
      Fill(w, path, InsertOrder(w), w.records, B_MODE_ACCELERATED);
    }
    block_ = Block{};
    block_.Name(path);
    block_.Must(B_OPEN, nullptr, 0, B_MODE_NORMAL, "Open");
  }

  void Close() override { block_.Must(B_CLOSE, nullptr, 0, 0, "Close"); }

  void GetEqual(const std::string& key, char* out) override {
    std::memcpy(block_.key, key.data(), key.size());
    block_.Must(B_GET_EQUAL, out, length_, 0, "Get Equal");
  }

  bool GetGreaterOrEqual(const std::string& key, char* out) override {
    std::memcpy(block_.key, key.data(), key.size());
    const int st = block_.Call(B_GET_GE, out, length_, 0);
    if (st != 0 && st != B_END_OF_FILE) Fail("Get Greater or Equal: status " + std::to_string(st));
    return st == 0;
  }

  uint64_t WalkKey(char* out) override { return Walk(B_GET_FIRST, B_GET_NEXT, out); }
  uint64_t WalkPositions(char* out) override { return Walk(B_STEP_FIRST, B_STEP_NEXT, out); }

  void PrepareInsert(const Workload& w, const std::string& dir) override {
    insertPath_ = dir + "/engine-insert.btr";
    RemoveRecordFile(insertPath_);
    CreateFile(w, insertPath_);
  }

  void Insert(const Workload& w, const std::vector<uint32_t>& numbers, uint32_t batch) override {
    Fill(w, insertPath_, numbers, batch, B_MODE_NORMAL);
  }

 private:
  uint64_t Walk(uint16_t first, uint16_t next, char* out) {
    uint64_t n = 0;
    int st = block_.Call(first, out, length_, 0);
    for (; st == 0; st = block_.Call(next, out, length_, 0)) ++n;
    if (st != B_END_OF_FILE) Fail("walk: status " + std::to_string(st));
    return n;
  }

  Block block_;             // the open file
  uint32_t length_ = 0;     // record length
  std::string insertPath_;  // the file PrepareInsert made
};

}  // namespace

std::unique_ptr<Side> MakeEngineSide() { return std::make_unique<EngineSide>(); }

}  // namespace bench
