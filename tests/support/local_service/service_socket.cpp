#include "tests/support/local_service/service_socket.h"

#include <windows.h>

#include <algorithm>

namespace snipora::test {
namespace {

constexpr uint64_t kSlice = 20;           // ms between looks at the stop flag
constexpr uint64_t kCloseWait = 2000;     // ms a closing peer gets to finish
constexpr std::size_t kCloseDrain = 1 << 20;

}  // namespace

Wait WaitFor(SOCKET socket, bool forWriting, uint64_t deadline, const std::atomic<bool>& stopping) {
  while (true) {
    if (stopping.load()) return Wait::Stopped;
    const uint64_t now = GetTickCount64();
    if (now >= deadline) return Wait::TimedOut;
    const uint64_t slice = std::min(kSlice, deadline - now);
    // One set only: Wine 8's server asserts (and dies) when one socket stands
    // in two sets of a select. A failed socket shows as ready; the call that
    // follows reports the failure.
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{0, static_cast<long>(slice * 1000)};
    const int n = select(0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, nullptr, &timeout);
    if (n == SOCKET_ERROR) return Wait::Failed;
    if (n > 0) return Wait::Ready;
  }
}

bool SendAll(SOCKET socket, std::string_view bytes, uint64_t deadline, const std::atomic<bool>& stopping) {
  while (!bytes.empty()) {
    if (stopping.load()) return false;
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
    const int sent = send(socket, bytes.data(), chunk, 0);
    if (sent != SOCKET_ERROR) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    // wait only when the peer is not keeping up: every wait costs a round trip
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    if (WaitFor(socket, true, deadline, stopping) != Wait::Ready) return false;
  }
  return true;
}

void Pause(uint32_t ms, const std::atomic<bool>& stopping) {
  const uint64_t end = GetTickCount64() + ms;
  for (uint64_t now = GetTickCount64(); now < end && !stopping.load(); now = GetTickCount64())
    Sleep(static_cast<DWORD>(std::min(kSlice, end - now)));
}

void Reset(Socket& socket) {
  const linger abortive{1, 0};
  setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
  socket.reset();
}

void CloseGently(Socket& socket, const std::atomic<bool>& stopping) {
  shutdown(socket.get(), SD_SEND);
  const uint64_t deadline = GetTickCount64() + kCloseWait;
  std::size_t dropped = 0;
  char sink[4096];
  while (dropped < kCloseDrain && WaitFor(socket.get(), false, deadline, stopping) == Wait::Ready) {
    const int n = recv(socket.get(), sink, sizeof sink, 0);
    if (n == 0) break;
    if (n == SOCKET_ERROR) {
      if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
      break;
    }
    dropped += static_cast<std::size_t>(n);
  }
  socket.reset();
}

}  // namespace snipora::test
