#include "delay_proxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "delay proxy: %s: %s\n", what.c_str(), std::strerror(errno));
  std::abort();
}

sockaddr_un Address(const std::string& path) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.size() >= sizeof a.sun_path) {
    errno = ENAMETOOLONG;
    Fail("socket path " + path);
  }
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  return a;
}

// Counts the messages of the client's side that each ask for a round trip:
// 'Q' (a simple query) and 'S' (Sync). The first message (startup) has no
// type byte; every later one is a type byte and a length that counts
// itself.
class ClientMessages {
 public:
  explicit ClientMessages(std::atomic<uint64_t>* counter) : counter_(counter) {}
  void Feed(const char* p, size_t n) {
    while (n > 0) {
      if (skip_ > 0) {
        const size_t s = std::min<size_t>(skip_, n);
        skip_ -= s, p += s, n -= s;
        continue;
      }
      header_ += *p++, --n;
      const size_t want = started_ ? 5 : 4;
      if (header_.size() < want) continue;
      const char* len = header_.data() + (started_ ? 1 : 0);
      const uint32_t length = (uint32_t{static_cast<uint8_t>(len[0])} << 24) |
                              (uint32_t{static_cast<uint8_t>(len[1])} << 16) |
                              (uint32_t{static_cast<uint8_t>(len[2])} << 8) | static_cast<uint8_t>(len[3]);
      if (started_ && (header_[0] == 'Q' || header_[0] == 'S')) ++*counter_;
      skip_ = length - 4;
      started_ = true;
      header_.clear();
    }
  }

 private:
  std::atomic<uint64_t>* counter_;
  std::string header_;  // the message's type and length as far as read
  size_t skip_ = 0;     // bytes of the message's body still to pass
  bool started_ = false;
};

}  // namespace

// One direction of one connection: a reader that stamps what arrives with
// when it may leave, and a writer that sends it then.
struct DelayProxy::Pipe {
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
  };
  int from = -1, to = -1;
  const std::atomic<int64_t>* delay_us = nullptr;
  ClientMessages* counter = nullptr;  // on the client's side only
  std::mutex mu;
  std::condition_variable ready;
  std::deque<Chunk> queue;
  bool ended = false;

  void Read() {
    char buf[65536];
    for (ssize_t n; (n = read(from, buf, sizeof buf)) > 0;) {
      if (counter != nullptr) counter->Feed(buf, static_cast<size_t>(n));
      std::lock_guard<std::mutex> guard(mu);
      queue.push_back({Clock::now() + std::chrono::microseconds(*delay_us), std::string(buf, static_cast<size_t>(n))});
      ready.notify_one();
    }
    std::lock_guard<std::mutex> guard(mu);
    ended = true;
    ready.notify_one();
  }
  void Write() {
    for (;;) {
      Chunk c;
      {
        std::unique_lock<std::mutex> lock(mu);
        ready.wait(lock, [&] { return ended || !queue.empty(); });
        if (queue.empty()) break;
        c = std::move(queue.front());
        queue.pop_front();
      }
      std::this_thread::sleep_until(c.due);
      for (size_t sent = 0; sent < c.bytes.size();) {
        const ssize_t n = write(to, c.bytes.data() + sent, c.bytes.size() - sent);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
      }
    }
    shutdown(to, SHUT_WR);
  }
};

DelayProxy::DelayProxy(const std::string& dir, const std::string& port, std::string server)
    : path_(dir + "/.s.PGSQL." + port), server_(std::move(server)) {
  unlink(path_.c_str());
  listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
  const sockaddr_un a = Address(path_);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
      listen(listener_, 16) != 0) {
    Fail("listening on " + path_);
  }
  acceptor_ = std::thread([this] { Accept(); });
}

DelayProxy::~DelayProxy() {
  stopping_ = true;
  acceptor_.join();
  close(listener_);
  unlink(path_.c_str());
}

void DelayProxy::Accept() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un a = Address(server_);
    if (server < 0 || connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
      Fail("connecting to " + server_);
    }
    // Each connection lives until both its ends have closed: its four
    // threads own it.
    struct Connection {
      int client, server;
      ClientMessages counter;
      Pipe up, down;
      ~Connection() {
        close(client);
        close(server);
      }
    };
    auto c = std::shared_ptr<Connection>(new Connection{client, server, ClientMessages(&round_trips_), {}, {}});
    c->up.from = c->down.to = client;
    c->up.to = c->down.from = server;
    c->up.delay_us = c->down.delay_us = &delay_us_;
    c->up.counter = &c->counter;
    for (Pipe* pipe : {&c->up, &c->down}) {
      std::thread([c, pipe] { pipe->Read(); }).detach();
      std::thread([c, pipe] { pipe->Write(); }).detach();
    }
  }
}

}  // namespace bench
