#include "recman/engine.h"

#include "recman/os.h"

#include <cstring>
#include <thread>

namespace recman {
namespace {

// What the engine writes into a position block. Nothing else in the block
// is read back, and nothing in it is trusted until the handle table agrees.
struct BlockHeader {
  char magic[8];        // kBlockMagic
  uint32_t slot;        // index into the handle table
  uint32_t generation;  // the slot's generation when the block was opened
  uint32_t process;     // the process that opened it
};
constexpr char kBlockMagic[8] = {'r', 'e', 'c', 'm', 'a', 'n', 'p', 'b'};

void LockForFork() { Engine::Instance().mutex().lock(); }
void UnlockInParent() { Engine::Instance().mutex().unlock(); }
void ResetInChild() {
  Engine& engine = Engine::Instance();
  engine.ForgetInherited();
  engine.mutex().unlock();
}

}  // namespace

Engine& Engine::Instance() {
  static Engine* engine = new Engine;  // never destroyed: usable until exit
  return *engine;
}

Engine::Engine() { os::AtFork(LockForFork, UnlockInParent, ResetInChild); }

Cursor* Engine::Find(const void* block) {
  if (block == nullptr) return nullptr;
  BlockHeader h;
  std::memcpy(&h, block, sizeof h);
  if (std::memcmp(h.magic, kBlockMagic, sizeof kBlockMagic) != 0) return nullptr;
  if (h.process != os::ProcessId() || h.slot >= slots_.size()) return nullptr;
  Slot& slot = slots_[h.slot];
  if (slot.generation != h.generation || !slot.cursor || slot.cursor->block != block) return nullptr;
  return slot.cursor.get();
}

void Engine::Attach(void* block, std::unique_ptr<Cursor> cursor) {
  uint32_t index;
  if (!freeSlots_.empty()) {
    index = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    index = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  cursor->block = block;
  cursor->id = ++lastCursorId_;
  slots_[index].cursor = std::move(cursor);
  BlockHeader h;
  std::memcpy(h.magic, kBlockMagic, sizeof kBlockMagic);
  h.slot = index;
  h.generation = slots_[index].generation;
  h.process = os::ProcessId();
  std::memcpy(block, &h, sizeof h);
}

void Engine::Detach(Cursor* cursor) {
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = slots_[i];
    if (slot.cursor.get() != cursor) continue;
    std::shared_ptr<RecordFile> file = cursor->file;
    file->openCount--;
    if (cursor->exclusive && --file->exclusiveCount == 0 && file->openCount > 0) file->DropExclusive();
    if (cursor->accelerated) file->acceleratedCount--;
    if (file->openCount == 0) {
      files_.erase(file->path());
    } else {
      UpdateDurability(*file);
    }
    slot.cursor.reset();
    slot.generation++;
    freeSlots_.push_back(i);
    return;
  }
}

std::vector<Cursor*> Engine::Cursors() {
  std::vector<Cursor*> out;
  for (Slot& slot : slots_) {
    if (slot.cursor) out.push_back(slot.cursor.get());
  }
  return out;
}

std::shared_ptr<RecordFile> Engine::FindFile(const std::string& path) {
  auto it = files_.find(path);
  return it == files_.end() ? nullptr : it->second;
}

void Engine::AddFile(const std::shared_ptr<RecordFile>& file) { files_[file->path()] = file; }

void Engine::UpdateDurability(RecordFile& file) {
  file.SetDurable(file.acceleratedCount < file.openCount);
}

void Engine::EnsureReaper() {
  if (reaperProcess_ == os::ProcessId()) return;
  reaperProcess_ = os::ProcessId();
  std::thread([] {
    Engine& engine = Engine::Instance();
    for (;;) {
      std::this_thread::sleep_for(RecordFile::kSnapshotAge / 2);
      std::lock_guard<std::mutex> guard(engine.mu_);
      for (auto& [path, file] : engine.files_) file->EndSnapshotIfStale();
    }
  }).detach();
}

void Engine::ForgetInherited() {
  // Leak the parent's connections on purpose: closing them here would act
  // on the parent's locks and WAL.
  for (auto& [path, file] : files_) {
    file->DropClaimAfterFork();
    new std::shared_ptr<RecordFile>(file);
  }
  for (Slot& slot : slots_) {
    if (slot.cursor) {
      new std::shared_ptr<RecordFile>(slot.cursor->file);
      slot.cursor.reset();
      slot.generation++;
    }
  }
  files_.clear();
  freeSlots_.clear();
  for (uint32_t i = 0; i < slots_.size(); ++i) freeSlots_.push_back(i);
  for (auto& file : txn_.files) new std::shared_ptr<RecordFile>(file);
  txn_ = Transaction{};
}

}  // namespace recman
