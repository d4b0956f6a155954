// Not a benchmark of the table: how long a fetch waits on a service that
// sends its head and then nothing. Measures the platform's own default (a bare
// WinINet GET with no timeout set) and FetchUrl, each against a silence of the
// given length; prints seconds waited and bytes received.
//
//   fetch_stall.exe [silence seconds]     (default 300)
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/http/fetch_url.h"
#include "tests/support/local_service/local_service.h"

using namespace snipora;
using namespace snipora::test;

namespace {

// The platform's defaults alone: nothing but the calls a GET needs.
std::size_t BareFetch(uint16_t port, const char* path) {
  HINTERNET session = InternetOpenA("stall", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection = InternetConnectA(session, "127.0.0.1", port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connection, "GET", path, "HTTP/1.0", nullptr, nullptr,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  std::size_t total = 0;
  if (request && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    char buffer[4096];
    DWORD received = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &received) && received) total += received;
  }
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(session);
  return total;
}

double Seconds(ULONGLONG from) { return double(GetTickCount64() - from) / 1000.0; }

}  // namespace

int main(int argc, char** argv) {
  const uint32_t silence = argc > 1 ? uint32_t(std::atoi(argv[1])) : 300;
  SetEnvironmentVariableA("http_proxy", nullptr);
  LocalService service;
  if (!service.port()) return 1;
  const Behaviour stalled{.body = "after the silence", .silenceMs = silence * 1000};
  std::printf("a service that sends its head, then nothing for %u s, then a 17-byte body\n", silence);

  service.QueueBehaviour(stalled);
  ULONGLONG start = GetTickCount64();
  const std::size_t bare = BareFetch(service.port(), "/bare");
  std::printf("  bare WinINet GET, platform defaults: %8.1f s, %zu bytes\n", Seconds(start), bare);
  std::fflush(stdout);

  service.QueueBehaviour(stalled);
  start = GetTickCount64();
  const Bytes fetched = FetchUrl(service.Address("/fetch").c_str());
  std::printf("  FetchUrl:                            %8.1f s, %d bytes\n", Seconds(start), fetched.size());
  return 0;
}
