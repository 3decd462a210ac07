#include "recman/engine/engine.h"

#include <cstring>

#include "recman/storage/locate.h"
#include "recman/os/os.h"

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

}  // namespace

Engine& Engine::Instance() {
  static Engine* engine = new Engine;  // never destroyed: usable until exit
  return *engine;
}

Engine::Engine() : process_(ClientFor(ClientKey{})) {
  os::AtFork(
      [] { Engine::Instance().mu_.lock(); }, [] { Engine::Instance().mu_.unlock(); },
      [] {
        Engine& engine = Engine::Instance();
        engine.ForgetInherited();
        engine.mu_.unlock();
      });
}

std::shared_ptr<Client> Engine::ClientFor(const ClientKey& key) {
  std::lock_guard<std::mutex> guard(mu_);
  std::shared_ptr<Client>& client = clients_[key];
  if (!client) client = std::make_shared<Client>(key);
  return client;
}

std::shared_ptr<Cursor> Engine::Find(const void* block) {
  if (block == nullptr) return nullptr;
  BlockHeader h;
  std::memcpy(&h, block, sizeof h);
  if (std::memcmp(h.magic, kBlockMagic, sizeof kBlockMagic) != 0) return nullptr;
  if (h.process != os::ProcessId()) return nullptr;
  std::lock_guard<std::mutex> guard(mu_);
  if (h.slot >= slots_.size()) return nullptr;
  Slot& slot = slots_[h.slot];
  if (slot.generation != h.generation || !slot.cursor || slot.cursor->block != block) return nullptr;
  return slot.cursor;
}

void Engine::Attach(void* block, std::shared_ptr<Cursor> cursor) {
  std::lock_guard<std::mutex> guard(mu_);
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

void Engine::Detach(Cursor& cursor) {
  std::lock_guard<std::mutex> guard(mu_);
  cursor.closed = true;
  for (uint32_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = slots_[i];
    if (slot.cursor.get() != &cursor) continue;
    slot.cursor.reset();
    slot.generation++;
    freeSlots_.push_back(i);
    return;
  }
}

std::vector<std::shared_ptr<Cursor>> Engine::CursorsOf(const Client& client) {
  std::lock_guard<std::mutex> guard(mu_);
  std::vector<std::shared_ptr<Cursor>> out;
  for (Slot& slot : slots_) {
    if (slot.cursor && slot.cursor->client.get() == &client) out.push_back(slot.cursor);
  }
  return out;
}

std::shared_ptr<SharedFile> Engine::SharedFileFor(const FileId& id) {
  std::lock_guard<std::mutex> guard(mu_);
  std::weak_ptr<SharedFile>& entry = files_[{id.backend, id.name}];
  std::shared_ptr<SharedFile> file = entry.lock();
  if (!file) {
    file = std::make_shared<SharedFile>(id);
    entry = file;
  }
  return file;
}

std::shared_ptr<SharedFile> Engine::FindSharedFile(const FileId& id) {
  std::lock_guard<std::mutex> guard(mu_);
  auto it = files_.find({id.backend, id.name});
  if (it == files_.end()) return nullptr;
  std::shared_ptr<SharedFile> file = it->second.lock();
  if (!file) {
    files_.erase(it);
    return nullptr;
  }
  std::lock_guard<std::mutex> counts(file->mu);
  return file->openCount > 0 ? file : nullptr;
}

bool Engine::Frozen(const FileId& id) {
  std::lock_guard<std::mutex> guard(mu_);
  return frozen_.count({id.backend, id.name}) > 0;
}

int Engine::AddFreeze(const FileId& id, const Client& client, std::unique_ptr<FileFreeze> freeze) {
  {
    std::lock_guard<std::mutex> guard(mu_);
    auto [it, added] = frozen_.try_emplace({id.backend, id.name}, &client, nullptr);
    if (added) {
      it->second.second = std::move(freeze);
      return B_NO_ERROR;
    }
  }
  return B_INCOMPATIBLE_MODE;  // freeze ends here, outside the mutex
}

int Engine::Thaw(const FileId& id, const Client& client) {
  std::unique_ptr<FileFreeze> ending;
  {
    std::lock_guard<std::mutex> guard(mu_);
    auto it = frozen_.find({id.backend, id.name});
    if (it == frozen_.end() || it->second.first != &client) return B_INCOMPATIBLE_MODE;
    ending = std::move(it->second.second);
    frozen_.erase(it);
  }
  return B_NO_ERROR;
}

void Engine::ThawAll(const Client& client) {
  std::vector<std::unique_ptr<FileFreeze>> ending;
  std::lock_guard<std::mutex> guard(mu_);
  for (auto it = frozen_.begin(); it != frozen_.end();) {
    if (it->second.first == &client) {
      ending.push_back(std::move(it->second.second));
      it = frozen_.erase(it);
    } else {
      ++it;
    }
  }
}

void Engine::ForgetInherited() {
  // Leak the parent's objects on purpose: destroying them here would close
  // the parent's connections and act on its locks and logs.
  for (Slot& slot : slots_) {
    if (slot.cursor) {
      new std::shared_ptr<Cursor>(std::move(slot.cursor));
      slot.generation++;
    }
  }
  freeSlots_.clear();
  for (uint32_t i = 0; i < slots_.size(); ++i) freeSlots_.push_back(i);
  for (auto& [key, client] : clients_) new std::shared_ptr<Client>(std::move(client));
  clients_.clear();
  process_ = std::make_shared<Client>(ClientKey{});
  clients_[ClientKey{}] = process_;
  files_.clear();
  for (auto& [file, frozen] : frozen_) frozen.second.release();
  frozen_.clear();
  for (Backend* backend : AllBackends()) backend->ForgetAfterFork();
}

}  // namespace recman
