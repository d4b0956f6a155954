#include "service/http/dns_lookup.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace snipora::service {
namespace {

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

DnsServer SystemDnsServer() {
  std::ifstream in("/etc/resolv.conf");
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string word, address;
    if (words >> word >> address && word == "nameserver") return {address, 53};
  }
  return {"127.0.0.1", 53};
}

DnsAnswer LookUp(const DnsServer& server, const std::string& name, std::string* error,
                 std::chrono::milliseconds timeout) {
  sockaddr_storage to{};
  socklen_t toSize = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&to);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&to);
  if (inet_pton(AF_INET, server.address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(server.port);
    toSize = sizeof *v4;
  } else if (inet_pton(AF_INET6, server.address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(server.port);
    toSize = sizeof *v6;
  } else {
    if (error) *error = "the resolver " + server.address + " is no IP address";
    return {};
  }
  uint16_t id = 0;
  if (getrandom(&id, sizeof id, 0) != sizeof id) id = uint16_t(std::chrono::steady_clock::now().time_since_epoch().count());
  const std::optional<std::string> query = DnsQuery(id, name);
  if (!query) {
    if (error) *error = name + " is no name a query can carry";
    return {};
  }
  Socket socket(::socket(to.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (socket.get() < 0 || ::connect(socket.get(), reinterpret_cast<sockaddr*>(&to), toSize) != 0) {
    if (error) *error = std::string("no socket to the resolver: ") + std::strerror(errno);
    return {};
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (::send(socket.get(), query->data(), query->size(), 0) < 0) continue;
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd wait{socket.get(), POLLIN, 0};
      if (::poll(&wait, 1, int(left.count())) <= 0) break;
      char buffer[1500];
      const ssize_t got = ::recv(socket.get(), buffer, sizeof buffer, 0);
      if (got <= 0) break;
      DnsAnswer answer = ReadDnsAnswer(std::string_view(buffer, std::size_t(got)), id);
      if (answer.outcome != DnsAnswer::kFailed) return answer;
      // another id (a late answer), or one the resolver failed: wait on
    }
  }
  if (error) *error = "no answer from " + server.address + ":" + std::to_string(server.port);
  return {};
}

}  // namespace snipora::service
