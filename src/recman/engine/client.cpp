#include "recman/engine/client.h"

#include "recman/os/os.h"

namespace recman {

std::shared_ptr<Session> Client::SessionFor(Backend& backend) {
  std::lock_guard<std::mutex> guard(mu_);
  std::shared_ptr<Session>& session = sessions_[&backend];
  if (!session) session = backend.NewSession();
  return session;
}

std::shared_ptr<Table> Client::FindTable(const FileId& id) {
  std::lock_guard<std::mutex> guard(mu_);
  auto it = tables_.find({id.backend, id.name});
  return it == tables_.end() ? nullptr : it->second.table;
}

std::shared_ptr<Table> Client::AddBlock(const FileId& id, std::shared_ptr<Table> table, bool accelerated,
                                        bool* durable) {
  std::lock_guard<std::mutex> guard(mu_);
  OpenTable& entry = tables_[{id.backend, id.name}];
  if (!entry.table) entry.table = std::move(table);
  entry.blocks++;
  if (accelerated) entry.accelerated++;
  *durable = entry.accelerated < entry.blocks;
  return entry.table;
}

bool Client::RemoveBlock(const FileId& id, bool accelerated, bool* durable) {
  std::lock_guard<std::mutex> guard(mu_);
  auto it = tables_.find({id.backend, id.name});
  if (it == tables_.end()) return false;
  OpenTable& entry = it->second;
  entry.blocks--;
  if (accelerated) entry.accelerated--;
  *durable = entry.accelerated < entry.blocks;
  if (entry.blocks > 0) return true;
  tables_.erase(it);
  return false;
}

std::string Client::Directory() {
  std::lock_guard<std::mutex> guard(mu_);
  return directory_;
}

void Client::SetDirectory(std::string dir) {
  std::lock_guard<std::mutex> guard(mu_);
  directory_ = std::move(dir);
}

std::string Client::Within(const std::string& name) {
  std::lock_guard<std::mutex> guard(mu_);
  return directory_.empty() || name.empty() ? name : os::Join(directory_, name);
}

}  // namespace recman
