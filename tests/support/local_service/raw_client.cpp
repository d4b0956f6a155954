#include "tests/support/local_service/raw_client.h"

#include <cstdlib>

namespace snipora::test {

int RawAnswer::status() const {
  if (!bytes.starts_with("HTTP/1.0 ") || bytes.size() < 12) return 0;
  return std::atoi(bytes.substr(9, 3).c_str());
}

std::string RawAnswer::head() const { return bytes.substr(0, bytes.find("\r\n\r\n") + 4); }

std::string RawAnswer::body() const {
  const auto end = bytes.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : bytes.substr(end + 4);
}

std::string RawAnswer::header(std::string_view name) const {
  const std::string h = head();
  const std::string key = "\r\n" + std::string(name) + ": ";
  const auto at = h.find(key);
  if (at == std::string::npos) return {};
  const auto start = at + key.size();
  return h.substr(start, h.find("\r\n", start) - start);
}

RawClient::RawClient(uint16_t port, uint32_t timeoutMs) {
  socket_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket_) return;
  const DWORD timeout = timeoutMs;
  setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) socket_.reset();
}

bool RawClient::Send(std::string_view bytes) {
  while (connected() && !bytes.empty()) {
    const int sent = send(socket_.get(), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return connected();
}

void RawClient::FinishSending() { shutdown(socket_.get(), SD_SEND); }

RawAnswer RawClient::ReadAnswer() {
  RawAnswer answer;
  char buffer[65536];
  while (connected()) {
    const int n = recv(socket_.get(), buffer, sizeof buffer, 0);
    if (n > 0) {
      answer.bytes.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    answer.reset = n == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET;
    break;
  }
  return answer;
}

RawAnswer Exchange(uint16_t port, std::string_view request) {
  RawClient client(port);
  client.Send(request);
  client.FinishSending();
  return client.ReadAnswer();
}

}  // namespace snipora::test
