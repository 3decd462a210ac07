// LMDB, the memory-mapped B-tree: key 0 (as the engine encodes it) to the
// record, in one database; its own file, made from the same records. It has
// no second key and no order of positions.
#include <lmdb.h>
#include <sys/stat.h>

#include <cstring>

#include "side.h"

namespace bench {
namespace {

void Check(int rc, const char* what) {
  if (rc != MDB_SUCCESS) Fail(std::string(what) + ": " + mdb_strerror(rc));
}

// An environment in dir; durable commits unless told otherwise.
MDB_env* OpenEnv(const std::string& dir, unsigned flags) {
  ::mkdir(dir.c_str(), 0755);
  MDB_env* env = nullptr;
  Check(mdb_env_create(&env), "mdb_env_create");
  Check(mdb_env_set_mapsize(env, size_t{8} << 30), "mdb_env_set_mapsize");
  Check(mdb_env_open(env, dir.c_str(), flags, 0644), "mdb_env_open");
  return env;
}

void Fill(MDB_env* env, const Workload& w, const std::vector<uint32_t>& numbers, uint32_t batch) {
  MDB_txn* txn = nullptr;
  MDB_dbi dbi = 0;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i % batch == 0) {
      Check(mdb_txn_begin(env, nullptr, 0, &txn), "mdb_txn_begin");
      Check(mdb_dbi_open(txn, nullptr, 0, &dbi), "mdb_dbi_open");
    }
    std::vector<char> r = Record(w, numbers[i]);
    MDB_val key{kKey0Length, r.data()};
    MDB_val value{r.size(), r.data()};
    Check(mdb_put(txn, dbi, &key, &value, MDB_NOOVERWRITE), "mdb_put");
    if (i % batch == batch - 1 || i + 1 == numbers.size()) Check(mdb_txn_commit(txn), "mdb_txn_commit");
  }
}

class LmdbSide final : public Side {
 public:
  std::string name() const override { return "lmdb"; }

  void Open(const Workload& w, const std::string& dir) override {
    const std::string path = dir + "/lmdb";
    struct stat st;
    const bool fresh = ::stat(path.c_str(), &st) != 0;
    env_ = OpenEnv(path, fresh ? MDB_NOSYNC : 0);
    if (fresh) {
      Fill(env_, w, InsertOrder(w), w.records);
      Check(mdb_env_sync(env_, 1), "mdb_env_sync");
    }
    // One read transaction over the measurements, as SQLite's side has.
    Check(mdb_txn_begin(env_, nullptr, MDB_RDONLY, &txn_), "mdb_txn_begin");
    Check(mdb_dbi_open(txn_, nullptr, 0, &dbi_), "mdb_dbi_open");
    Check(mdb_cursor_open(txn_, dbi_, &cursor_), "mdb_cursor_open");
  }

  void Close() override {
    mdb_cursor_close(cursor_);
    mdb_txn_abort(txn_);
    mdb_env_close(env_);
  }

  void GetEqual(const std::string& key, char* out) override {
    MDB_val k{key.size(), const_cast<char*>(key.data())}, v;
    Check(mdb_get(txn_, dbi_, &k, &v), "mdb_get");
    Deliver(k, v, out);
  }

  bool GetGreaterOrEqual(const std::string& key, char* out) override {
    MDB_val k{key.size(), const_cast<char*>(key.data())}, v;
    const int rc = mdb_cursor_get(cursor_, &k, &v, MDB_SET_RANGE);
    if (rc == MDB_NOTFOUND) return false;
    Check(rc, "mdb_cursor_get");
    Deliver(k, v, out);
    return true;
  }

  uint64_t WalkKey(char* out) override {
    MDB_val k, v;
    uint64_t n = 0;
    for (int rc = mdb_cursor_get(cursor_, &k, &v, MDB_FIRST); rc == MDB_SUCCESS;
         rc = mdb_cursor_get(cursor_, &k, &v, MDB_NEXT), ++n) {
      Deliver(k, v, out);
    }
    return n;
  }

  uint64_t WalkPositions(char*) override { return 0; }

  void PrepareInsert(const Workload&, const std::string& dir) override {
    insertPath_ = dir + "/lmdb-insert";
    std::remove((insertPath_ + "/data.mdb").c_str());
    std::remove((insertPath_ + "/lock.mdb").c_str());
  }

  void Insert(const Workload& w, const std::vector<uint32_t>& numbers, uint32_t batch) override {
    MDB_env* env = OpenEnv(insertPath_, 0);
    Fill(env, w, numbers, batch);
    mdb_env_close(env);
  }

 private:
  // As the engine hands a record over: into the caller's buffer, the key
  // into a key buffer.
  void Deliver(const MDB_val& k, const MDB_val& v, char* out) {
    std::memcpy(out, v.mv_data, v.mv_size);
    std::memcpy(key_, k.mv_data, k.mv_size);
  }

  MDB_env* env_ = nullptr;        // owned
  MDB_txn* txn_ = nullptr;        // the read transaction
  MDB_dbi dbi_ = 0;               // the one database
  MDB_cursor* cursor_ = nullptr;  // for ranges and walks
  char key_[256] = {};            // the key buffer
  std::string insertPath_;        // the directory PrepareInsert emptied
};

}  // namespace

std::unique_ptr<Side> MakeLmdbSide() { return std::make_unique<LmdbSide>(); }

}  // namespace bench
