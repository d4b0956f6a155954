#pragma once
// A loopback TCP relay in front of a PostgreSQL server that, when armed,
// passes the next COMMIT on and then drops the server's answer and the
// connection: the transaction is committed and the client never hears so,
// as when a network breaks at the worst moment.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace snipora::service::test {

class CommitCutter {
 public:
  explicit CommitCutter(uint16_t serverPort);
  ~CommitCutter();
  CommitCutter(const CommitCutter&) = delete;
  CommitCutter& operator=(const CommitCutter&) = delete;

  uint16_t port() const { return port_; }
  void Arm() { armed_ = true; }
  int cuts() const { return cuts_; }
  // `address` (postgresql://user@127.0.0.1:PORT/...) through this relay.
  std::string Through(const std::string& address) const;

 private:
  void Accept();
  void Relay(int client);

  const uint16_t serverPort_;
  int listener_ = -1;
  int stop_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> armed_{false};
  std::atomic<int> cuts_{0};
  std::mutex mutex_;
  std::vector<std::thread> relays_;
  std::thread acceptor_;
};

}  // namespace snipora::service::test
