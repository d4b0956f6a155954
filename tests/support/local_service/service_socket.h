#pragma once
// Winsock pieces of the local service: an owned socket and reads and writes
// that give up when a deadline passes or the service is stopping, so no
// client can hold a worker (or the service's destructor) for long.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace snipora::test {

// WSAStartup for as long as it lives.
class WinsockUser {
 public:
  WinsockUser() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  WinsockUser(const WinsockUser&) = delete;
  WinsockUser& operator=(const WinsockUser&) = delete;
  ~WinsockUser() {
    if (started_) WSACleanup();
  }
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

class Socket {
 public:
  Socket() = default;
  explicit Socket(SOCKET socket) : socket_(socket) {}
  Socket(Socket&& other) noexcept : socket_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { reset(); }

  SOCKET get() const { return socket_; }
  explicit operator bool() const { return socket_ != INVALID_SOCKET; }
  SOCKET release() {
    const SOCKET s = socket_;
    socket_ = INVALID_SOCKET;
    return s;
  }
  void reset(SOCKET socket = INVALID_SOCKET) {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = socket;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

enum class Wait { Ready, TimedOut, Stopped, Failed };

// Waits until `socket` can be read (or written) or `deadline` (GetTickCount64)
// passes; looks at `stopping` every few milliseconds.
Wait WaitFor(SOCKET socket, bool forWriting, uint64_t deadline, const std::atomic<bool>& stopping);

// Sends all of `bytes` unless the peer goes, the deadline passes or the
// service stops.
bool SendAll(SOCKET socket, std::string_view bytes, uint64_t deadline, const std::atomic<bool>& stopping);

// Sleeps `ms`, or less when the service stops.
void Pause(uint32_t ms, const std::atomic<bool>& stopping);

// Ends the connection with a reset instead of an orderly close.
void Reset(Socket& socket);

// Orderly close: no more sending, then what the peer still sends is read and
// dropped (bounded in bytes and time) so that closing does not turn into a
// reset that could destroy the answer in flight.
void CloseGently(Socket& socket, const std::atomic<bool>& stopping);

}  // namespace snipora::test
