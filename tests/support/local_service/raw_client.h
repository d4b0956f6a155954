#pragma once
// A plain-socket client for the local service's own tests: sends exactly the
// bytes given and reads the answer as it arrives.
#include "tests/support/local_service/service_socket.h"

#include <string>
#include <string_view>

namespace snipora::test {

struct RawAnswer {
  std::string bytes;   // everything read, head and body
  bool reset = false;  // the connection ended with a reset
  int status() const;  // from the status line; 0 when there is none
  std::string head() const;
  std::string body() const;
  std::string header(std::string_view name) const;  // "" when absent
};

class RawClient {
 public:
  // Blocking socket; reads give up after `timeoutMs`.
  explicit RawClient(uint16_t port, uint32_t timeoutMs = 5000);
  bool connected() const { return static_cast<bool>(socket_); }
  bool Send(std::string_view bytes);
  void FinishSending();
  // Reads until the service closes, resets or the timeout passes.
  RawAnswer ReadAnswer();

 private:
  WinsockUser winsock_;
  Socket socket_;
};

// Connects, sends `request`, says it is done sending, reads the answer.
RawAnswer Exchange(uint16_t port, std::string_view request);

}  // namespace snipora::test
