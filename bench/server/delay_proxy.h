// A PostgreSQL server's Unix socket seen through a slower network: a proxy
// that passes every byte on after a fixed delay each way, and counts the
// round trips the clients ask for (each simple query and each Sync of the
// extended protocol is one, answered by ReadyForQuery).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class DelayProxy {
 public:
  // Listens in directory dir as a server on port `port` would
  // (dir/.s.PGSQL.<port>) and passes connections on to the socket
  // `server`. Stops the program, saying why, when it cannot listen.
  DelayProxy(const std::string& dir, const std::string& port, std::string server);
  // Stops listening; connections still open go on until their ends close.
  ~DelayProxy();
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;

  // The delay each way from now on, for every connection.
  void SetDelay(std::chrono::microseconds each_way) { delay_us_ = each_way.count(); }
  // Round trips the clients asked for so far.
  uint64_t round_trips() const { return round_trips_; }

 private:
  struct Pipe;
  void Accept();

  std::string path_;    // the listening socket
  std::string server_;  // the server's socket
  int listener_ = -1;
  std::atomic<int64_t> delay_us_{0};
  std::atomic<uint64_t> round_trips_{0};
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
};

}  // namespace bench
