// One client of scripts/failover-drill.sh: asks over and over, a new
// connection each time, alternating between the instances, until the stop
// file appears, and writes one line per answer with its times (ms since
// 1970), so that the drill knows exactly which creations were answered 200
// and when.
//   drill_client create PORT,PORT STOP-FILE NAME    "start end status address code"
//   drill_client redirect PORT,PORT STOP-FILE CODES "start end status"
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// GET of `target` over HTTP/1.0: the status (0: no answer within 10 s) and body.
int Get(int port, const std::string& target, std::string* body) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(uint16_t(port));
  std::string answer;
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + target + " HTTP/1.0\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
      const long long until = NowMs() + 10000;
      char buffer[4096];
      for (;;) {
        pollfd wait = {fd, POLLIN, 0};
        if (poll(&wait, 1, int(std::max(0LL, until - NowMs()))) <= 0) break;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        answer.append(buffer, std::size_t(got));
      }
    }
  }
  if (fd >= 0) close(fd);
  const std::size_t end = answer.find("\r\n\r\n");
  if (answer.compare(0, 5, "HTTP/") != 0 || answer.size() < 12 || end == std::string::npos) return 0;
  *body = answer.substr(end + 4);
  while (!body->empty() && (body->back() == '\n' || body->back() == '\r')) body->pop_back();
  return std::atoi(answer.c_str() + 9);
}

bool Exists(const char* path) { return access(path, F_OK) == 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: drill_client create|redirect PORT,PORT STOP-FILE NAME|CODES-FILE\n");
    return 2;
  }
  const std::string mode = argv[1], ports = argv[2];
  const int port[2] = {std::atoi(ports.c_str()), std::atoi(ports.c_str() + ports.find(',') + 1)};
  std::vector<std::string> codes;
  if (mode == "redirect")
    for (std::ifstream in(argv[4]); in;) {
      std::string code;
      if (std::getline(in, code) && !code.empty()) codes.push_back(code);
    }
  else if (mode != "create")
    return 2;
  if (mode == "redirect" && codes.empty()) return 2;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  for (long i = 0; !Exists(argv[3]); ++i) {
    std::string body;
    const long long start = NowMs();
    if (mode == "create") {
      const std::string address = "https://example.org/drill/" + std::string(argv[4]) + "/" + std::to_string(i);
      const int status = Get(port[i % 2], "/api-create.php?format=simple&url=" + address, &body);
      const std::size_t slash = body.rfind('/');
      const std::string code = status == 200 && slash != std::string::npos ? body.substr(slash + 1) : "-";
      std::printf("%lld %lld %d %s %s\n", start, NowMs(), status, address.c_str(), code.c_str());
    } else {
      const int status = Get(port[i % 2], "/" + codes[std::size_t(i) % codes.size()], &body);
      std::printf("%lld %lld %d\n", start, NowMs(), status);
    }
  }
  return 0;
}
