#include "service/tests/support/commit_cutter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string_view>

namespace snipora::service::test {
namespace {

// libpq's COMMIT as a simple query: 'Q', its length (4 + 7), the text.
constexpr std::string_view kCommit{"Q\0\0\0\x0b" "COMMIT\0", 12};

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= std::size_t(sent);
  }
  return true;
}

}  // namespace

CommitCutter::CommitCutter(uint16_t serverPort) : serverPort_(serverPort) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("the relay cannot listen");
  port_ = ntohs(address.sin_port);
  stop_ = eventfd(0, EFD_CLOEXEC);
  acceptor_ = std::thread([this] { Accept(); });
}

CommitCutter::~CommitCutter() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stop_, &one, sizeof one);
  acceptor_.join();
  for (std::thread& relay : relays_) relay.join();
  close(listener_);
  close(stop_);
}

std::string CommitCutter::Through(const std::string& address) const {
  const std::size_t host = address.find("127.0.0.1:");
  const std::size_t end = address.find('/', host);
  if (host == std::string::npos || end == std::string::npos) throw std::runtime_error("no loopback port in the address");
  return address.substr(0, host) + "127.0.0.1:" + std::to_string(port_) + address.substr(end);
}

void CommitCutter::Accept() {
  for (;;) {
    pollfd fds[2] = {{stop_, POLLIN, 0}, {listener_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 || (fds[0].revents & POLLIN)) return;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard lock(mutex_);
    relays_.emplace_back([this, client] { Relay(client); });
  }
}

void CommitCutter::Relay(int client) {
  const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(serverPort_);
  if (server >= 0 && connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    char buffer[65536];
    for (bool open = true; open;) {
      pollfd fds[3] = {{stop_, POLLIN, 0}, {client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(fds, 3, -1) < 0 || (fds[0].revents & POLLIN)) break;
      if (fds[1].revents) {
        const ssize_t got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        const bool commit = std::string_view(buffer, std::size_t(got)).find(kCommit) != std::string_view::npos;
        if (!SendAll(server, buffer, std::size_t(got))) break;
        if (commit && armed_.exchange(false)) {
          // the server's answer (the commit made) is read and dropped
          pollfd answer = {server, POLLIN, 0};
          if (poll(&answer, 1, 10000) > 0) recv(server, buffer, sizeof buffer, 0);
          ++cuts_;
          open = false;
        }
      }
      if (open && fds[2].revents) {
        const ssize_t got = recv(server, buffer, sizeof buffer, 0);
        if (got <= 0 || !SendAll(client, buffer, std::size_t(got))) break;
      }
    }
  }
  if (server >= 0) close(server);
  close(client);
}

}  // namespace snipora::service::test
